#include "engine/finding_reason.h"

#include <cstring>

#include "base/text.h"

namespace tavik {

namespace {

// The code point at `text[i]`, a surrogate pair read as one (then `i`
// moves to its second half) and a lone surrogate as itself.
uint32_t CodeAt(std::u16string_view text, size_t& i) {
  const uint32_t code = text[i];
  if (code >= 0xD800 && code <= 0xDBFF && i + 1 < text.size() &&
      text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
    ++i;
    return 0x10000 + ((code - 0xD800) << 10) + (text[i] - 0xDC00);
  }
  return code;
}

// UTF-8 bytes of `text` as EncodeKeepingSurrogates writes them.
size_t EncodedSize(std::u16string_view text) {
  size_t size = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] < 0x80) {
      ++size;
      continue;
    }
    const uint32_t code = CodeAt(text, i);
    size += code < 0x800 ? 2 : code < 0x10000 ? 3 : 4;
  }
  return size;
}

// UTF-16 to UTF-8, a lone surrogate written as the three bytes of its own
// code point, so that any registry name comes back unchanged; a zero unit,
// which would end the stored text early, as "?". Returns the end of what
// it wrote.
char* EncodeKeepingSurrogates(std::u16string_view text, char* out) {
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] < 0x80) {
      *out++ = text[i] == 0 ? '?' : static_cast<char>(text[i]);
      continue;
    }
    const uint32_t code = CodeAt(text, i);
    if (code < 0x800) {
      *out++ = static_cast<char>(0xC0 | (code >> 6));
    } else if (code < 0x10000) {
      *out++ = static_cast<char>(0xE0 | (code >> 12));
      *out++ = static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    } else {
      *out++ = static_cast<char>(0xF0 | (code >> 18));
      *out++ = static_cast<char>(0x80 | ((code >> 12) & 0x3F));
      *out++ = static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    }
    *out++ = static_cast<char>(0x80 | (code & 0x3F));
  }
  return out;
}

// The reverse of EncodeKeepingSurrogates, for text it wrote.
void AppendDecoded(const char* text, std::u16string& out) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(text);
  while (*bytes != 0) {
    uint32_t code = *bytes;
    int more = 0;
    if (code >= 0xF0) {
      code &= 0x07;
      more = 3;
    } else if (code >= 0xE0) {
      code &= 0x0F;
      more = 2;
    } else if (code >= 0xC0) {
      code &= 0x1F;
      more = 1;
    }
    ++bytes;
    for (; more > 0 && *bytes != 0; --more, ++bytes) {
      code = (code << 6) | (*bytes & 0x3F);
    }
    if (code >= 0x10000) {
      code -= 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (code >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (code & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(code));
    }
  }
}

std::unique_ptr<char[]> CopyOf(const char* text) {
  if (text == nullptr) return nullptr;
  const size_t size = std::strlen(text) + 1;
  auto copy = std::make_unique_for_overwrite<char[]>(size);
  std::memcpy(copy.get(), text, size);
  return copy;
}

}  // namespace

ReasonDetail::ReasonDetail(std::u16string_view text)
    : ReasonDetail({text}, nullptr) {}

ReasonDetail::ReasonDetail(std::u16string_view text,
                           const char16_t* staticEnding)
    : ReasonDetail({text}, staticEnding) {}

ReasonDetail::ReasonDetail(std::initializer_list<std::u16string_view> parts,
                           const char16_t* staticEnding)
    : ending_(staticEnding != nullptr && staticEnding[0] != 0 ? staticEnding
                                                              : nullptr) {
  size_t size = 0;
  for (const std::u16string_view part : parts) size += EncodedSize(part);
  if (size == 0) return;
  text_ = std::make_unique_for_overwrite<char[]>(size + 1);
  char* out = text_.get();
  for (const std::u16string_view part : parts) {
    out = EncodeKeepingSurrogates(part, out);
  }
  *out = '\0';
}

ReasonDetail::ReasonDetail(const ReasonDetail& other)
    : text_(CopyOf(other.text_.get())), ending_(other.ending_) {}

ReasonDetail& ReasonDetail::operator=(const ReasonDetail& other) {
  if (this != &other) {
    text_ = CopyOf(other.text_.get());
    ending_ = other.ending_;
  }
  return *this;
}

std::u16string ReasonDetail::Text() const {
  std::u16string text;
  if (text_ != nullptr) AppendDecoded(text_.get(), text);
  if (ending_ != nullptr) text.append(ending_);
  return text;
}

std::string ReasonDetail::Utf8() const { return Utf16ToUtf8(Text()); }

std::string_view ReasonKindName(ReasonKind kind) {
  switch (kind) {
    case ReasonKind::kFileMissing: return "file-missing";
    case ReasonKind::kFolderMissing: return "folder-missing";
    case ReasonKind::kShortcutMissing: return "shortcut-missing";
    case ReasonKind::kShortcutUnreadable: return "shortcut-unreadable";
    case ReasonKind::kShortcutTargetMissing: return "shortcut-target-missing";
    case ReasonKind::kClassNotRegistered: return "class-not-registered";
    case ReasonKind::kProgIdNotRegistered: return "progid-not-registered";
    case ReasonKind::kAppIdNotRegistered: return "appid-not-registered";
    case ReasonKind::kKeyEmpty: return "key-empty";
    case ReasonKind::kUninstallEntryWithoutValues:
      return "uninstall-entry-without-values";
    case ReasonKind::kUninstallEntryWithoutStrings:
      return "uninstall-entry-without-strings";
    case ReasonKind::kCacheEntryWithoutUninstallEntry:
      return "cache-entry-without-uninstall-entry";
    case ReasonKind::kExtensionNotInUse: return "extension-not-in-use";
    case ReasonKind::kEmptyClassExtension: return "empty-class-extension";
    case ReasonKind::kAppPathWithoutProgram: return "app-path-without-program";
  }
  return "";
}

}  // namespace tavik
