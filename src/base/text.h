// Small UTF-16 text helpers shared by the engine, the scanners and the tools.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace tavik {

// Size of every work buffer for key paths, value names and value data, in
// UTF-16 code units including the terminator.
inline constexpr size_t kTextBufferChars = 33000;

std::u16string Utf8ToUtf16(std::string_view text);
std::string Utf16ToUtf8(std::u16string_view text);

// The C library's wide white-space class (`iswspace`). The Windows build asks
// the C runtime it links (msvcrt.dll) itself; other builds use
// IsWideSpaceByTable, which answers as that runtime does.
bool IsWideSpace(char16_t c);
// The white-space class as a fixed table: the ASCII blanks 0x09 to 0x0D and
// 0x20, U+00A0, U+1680, U+2000 to U+200A, U+2028, U+2029, U+202F, U+205F and
// U+3000. A test under Wine compares it with the C runtime over every unit.
bool IsWideSpaceByTable(char16_t c);
// Removes white space at the end, then at the start.
std::u16string_view TrimWideSpace(std::u16string_view text);

char16_t ToLowerAscii(char16_t c);
char16_t ToUpperAscii(char16_t c);
std::u16string ToLowerAscii(std::u16string_view text);
bool EqualsIgnoreAsciiCase(std::u16string_view a, std::u16string_view b);
bool StartsWithIgnoreAsciiCase(std::u16string_view text,
                               std::u16string_view prefix);

// The text of a buffer up to its first zero or `length` units, whichever
// comes first: registry data need not carry a terminator.
std::u16string_view TextUpToZero(const char16_t* text, size_t length);

// Value data of `bytes` bytes read as text, up to its first zero or its end.
// Bytes beyond the returned length count as zero, so an odd last byte is a
// character whose high byte is zero.
std::u16string TextOfData(const char16_t* data, size_t bytes);

}  // namespace tavik
