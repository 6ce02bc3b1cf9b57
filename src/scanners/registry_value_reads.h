// Reading single values the way the program scanners do: without asking for
// the type, through buffers of fixed size.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "engine/scan_context.h"

namespace tavik {

// A 32-bit number read through a 4-byte buffer. Absent, unreadable or longer
// values read as 0; a shorter datum counts its missing bytes as zero, so a
// REG_SZ "1" (two units with the terminator) reads as 0x31.
uint32_t ReadNumberValue(const ScanContext& context, RegKey key,
                         const char16_t* valueName);

// A text value read through `buffer` (its size in bytes is the most that is
// offered), taken up to its first zero or its returned length, an odd last
// byte a character of its own. None when the read fails: absent, or over the
// buffer.
std::optional<std::u16string> ReadTextValue(const ScanContext& context,
                                            RegKey key,
                                            const char16_t* valueName,
                                            std::vector<char16_t>& buffer);

}  // namespace tavik
