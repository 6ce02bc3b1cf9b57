#include "repair/reg_export.h"

#include "engine/registry_key.h"
#include "repair/registry_links.h"

namespace tavik {

namespace {

// Hex data is continued before a line would pass this many characters.
constexpr size_t kHexLineWidth = 80;
// Value names are at most 16383 characters; key names at most 255, with
// room to spare for back ends that allow longer ones.
constexpr uint32_t kValueNameChars = 16384;
constexpr uint32_t kKeyNameChars = 512;
// The registry nests keys at most this deep.
constexpr int kMaxTreeDepth = 512;
// A value that keeps growing between the size query and the read.
constexpr int kMaxReadAttempts = 8;
constexpr size_t kFirstDataBytes = 4096;

constexpr char16_t kLineEnd[] = u"\r\n";

// CR and LF end a line for regedit and NUL ends a name: none can be quoted.
bool HasUnwritable(std::u16string_view text) {
  return text.find_first_of(std::u16string_view(u"\r\n\0", 3)) !=
         std::u16string_view::npos;
}

void AppendQuoted(std::u16string& out, std::u16string_view text) {
  out.push_back(u'"');
  for (char16_t c : text) {
    if (c == u'\\' || c == u'"') out.push_back(u'\\');
    out.push_back(c);
  }
  out.push_back(u'"');
}

char16_t UnitAt(const uint8_t* data, size_t index) {
  return static_cast<char16_t>(data[2 * index] | (data[2 * index + 1] << 8));
}

bool IsHighSurrogate(char16_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool IsLowSurrogate(char16_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

// REG_SZ data that a quoted text gives back byte for byte: whole UTF-16
// units ending in exactly one terminator, no other zero, no control
// character (a line break would end the line) and no lone surrogate.
bool IsPlainText(const uint8_t* data, size_t bytes) {
  if (bytes < 2 || bytes % 2 != 0) return false;
  const size_t units = bytes / 2;
  if (UnitAt(data, units - 1) != 0) return false;
  for (size_t i = 0; i + 1 < units; ++i) {
    const char16_t c = UnitAt(data, i);
    if (c < 0x20) return false;
    if (IsHighSurrogate(c)) {
      if (i + 2 >= units || !IsLowSurrogate(UnitAt(data, i + 1))) return false;
      ++i;
    } else if (IsLowSurrogate(c)) {
      return false;
    }
  }
  return true;
}

void AppendHexNumber(std::u16string& out, uint32_t number, int minDigits) {
  static constexpr char16_t kDigits[] = u"0123456789abcdef";
  char16_t digits[8];
  int count = 0;
  do {
    digits[count++] = kDigits[number & 15];
    number >>= 4;
  } while (number != 0 || count < minDigits);
  while (count > 0) out.push_back(digits[--count]);
}

// "hex:" or "hex(N):" and the bytes, two digits each, comma separated; a
// line about to pass the width ends with "\" and the next starts with two
// blanks, as regedit writes them.
void AppendHexData(std::u16string& out, size_t lineStart, uint32_t type,
                   const uint8_t* data, size_t bytes) {
  static constexpr char16_t kDigits[] = u"0123456789abcdef";
  if (type == kRegBinary) {
    out += u"hex:";
  } else {
    out += u"hex(";
    AppendHexNumber(out, type, 1);
    out += u"):";
  }
  out.reserve(out.size() + bytes * 3 + bytes / 24 * 5 + 2);
  size_t column = out.size() - lineStart;
  for (size_t i = 0; i < bytes; ++i) {
    out.push_back(kDigits[data[i] >> 4]);
    out.push_back(kDigits[data[i] & 15]);
    column += 2;
    if (i + 1 == bytes) break;
    out.push_back(u',');
    ++column;
    if (column + 3 >= kHexLineWidth) {
      out += u"\\\r\n  ";
      column = 2;
    }
  }
  out += kLineEnd;
}

// Reads value `index` of `key` into `name` and `data`, growing `data` as the
// registry asks. The registry's result code.
int32_t ReadValueAt(Registry& registry, RegKey key, uint32_t index,
                    std::vector<char16_t>& name, uint32_t* nameChars,
                    uint32_t* type, std::vector<uint8_t>& data,
                    uint32_t* bytes) {
  for (int attempt = 0; attempt < kMaxReadAttempts; ++attempt) {
    *nameChars = static_cast<uint32_t>(name.size());
    *bytes = static_cast<uint32_t>(data.size());
    const int32_t result = registry.RegEnumValueW(
        key, index, name.data(), nameChars, type, data.data(), bytes);
    if (result != kErrorMoreData) return result;
    // Only the data can grow: a longer name than the limit is an error.
    if (*bytes <= data.size()) return result;
    data.resize(*bytes);
  }
  return kErrorMoreData;
}

// "ROOT\path", or empty when the root has no name or the path cannot be
// written in a key line.
std::u16string KeyLineName(RegKey root, std::u16string_view path) {
  const std::u16string_view rootName = RegFileRootName(root);
  if (rootName.empty() || path.empty() || HasUnwritable(path)) return {};
  std::u16string name(rootName);
  name += u"\\";
  name += path;
  return name;
}

}  // namespace

std::u16string_view RegFileRootName(RegKey root) {
  switch (root) {
    case kHkeyClassesRoot:
      return u"HKEY_CLASSES_ROOT";
    case kHkeyCurrentUser:
      return u"HKEY_CURRENT_USER";
    case kHkeyLocalMachine:
      return u"HKEY_LOCAL_MACHINE";
    case kHkeyUsers:
      return u"HKEY_USERS";
    default:
      return {};
  }
}

bool AppendRegValueLine(std::u16string& out, std::u16string_view name,
                        uint32_t type, const uint8_t* data, size_t bytes) {
  if (HasUnwritable(name)) return false;
  const size_t lineStart = out.size();
  if (name.empty()) {
    out.push_back(u'@');
  } else {
    AppendQuoted(out, name);
  }
  out.push_back(u'=');
  if (type == kRegSz && IsPlainText(data, bytes)) {
    out.push_back(u'"');
    for (size_t i = 0; i + 1 < bytes / 2; ++i) {
      const char16_t c = UnitAt(data, i);
      if (c == u'\\' || c == u'"') out.push_back(u'\\');
      out.push_back(c);
    }
    out.push_back(u'"');
    out += kLineEnd;
    return true;
  }
  if (type == kRegDword && bytes == 4) {
    out += u"dword:";
    AppendHexNumber(out, static_cast<uint32_t>(data[0]) | (data[1] << 8) |
                             (data[2] << 16) |
                             (static_cast<uint32_t>(data[3]) << 24),
                    8);
    out += kLineEnd;
    return true;
  }
  AppendHexData(out, lineStart, type, data, bytes);
  return true;
}

RegExporter::RegExporter(Registry& registry)
    : registry_(registry),
      name_(kValueNameChars),
      keyName_(kKeyNameChars),
      data_(kFirstDataBytes) {}

bool RegExporter::ExportOpened(RegKey key, const std::u16string& keyName,
                               std::u16string& out, int depth) {
  if (depth > kMaxTreeDepth || IsLinkHandle(registry_, key)) return false;
  out += u"[";
  out += keyName;
  out += u"]";
  out += kLineEnd;
  if (keys_ != nullptr) keys_->push_back(keyName.substr(keyNameSkip_));
  // The counts first: one call instead of the two that find each list's end.
  uint32_t subKeyCount = 0;
  uint32_t valueCount = 0;
  if (registry_.RegQueryInfoKeyW(key, &subKeyCount, &valueCount) !=
      kErrorSuccess) {
    return false;
  }
  for (uint32_t index = 0; index < valueCount; ++index) {
    uint32_t chars = 0;
    uint32_t type = kRegNone;
    uint32_t bytes = 0;
    const int32_t result =
        ReadValueAt(registry_, key, index, name_, &chars, &type, data_, &bytes);
    // An end before the count is a key changing under the fix.
    if (result != kErrorSuccess) return false;
    if (!AppendRegValueLine(out, std::u16string_view(name_.data(), chars), type,
                            data_.data(), bytes)) {
      return false;
    }
  }
  out += kLineEnd;

  std::vector<std::u16string> children;
  children.reserve(subKeyCount);
  for (uint32_t index = 0; index < subKeyCount; ++index) {
    uint32_t chars = kKeyNameChars;
    if (registry_.RegEnumKeyExW(key, index, keyName_.data(), &chars) !=
        kErrorSuccess) {
      return false;
    }
    children.emplace_back(keyName_.data(), chars);
  }
  for (const std::u16string& child : children) {
    if (HasUnwritable(child)) return false;
    RegKey opened = 0;
    // A child that vanished since it was listed fails the export too: the
    // tree is changing under the fix.
    if (registry_.RegOpenKeyLinkW(key, child.c_str(), kKeyRead, &opened) !=
        kErrorSuccess) {
      return false;
    }
    const RegistryKey closer(registry_, opened);
    if (!ExportOpened(opened, keyName + u"\\" + child, out, depth + 1)) {
      return false;
    }
  }
  return true;
}

RegExport RegExporter::KeyTree(RegKey root, std::u16string_view path,
                               std::u16string& out,
                               std::vector<std::u16string>* keys) {
  if (keys != nullptr) keys->clear();
  const std::u16string keyName = KeyLineName(root, path);
  if (keyName.empty()) return RegExport::kFailed;
  RegKey key = 0;
  const int32_t opened = registry_.RegOpenKeyLinkW(
      root, std::u16string(path).c_str(), kKeyRead, &key);
  if (opened == kErrorFileNotFound) return RegExport::kAbsent;
  if (opened != kErrorSuccess) return RegExport::kFailed;
  const RegistryKey closer(registry_, key);
  const size_t start = out.size();
  keys_ = keys;
  keyNameSkip_ = keyName.size() - path.size();
  const bool exported = ExportOpened(key, keyName, out, 0);
  keys_ = nullptr;
  if (!exported) {
    out.resize(start);
    if (keys != nullptr) keys->clear();
    return RegExport::kFailed;
  }
  return RegExport::kWritten;
}

RegExport RegExporter::Value(RegKey root, std::u16string_view path,
                             std::u16string_view valueName,
                             std::u16string& out) {
  if (KeyLineName(root, path).empty() || HasUnwritable(valueName)) {
    return RegExport::kFailed;
  }
  RegistryKey key;
  const int32_t opened = RegistryKey::Open(
      registry_, root, std::u16string(path).c_str(), kKeyRead, key);
  if (opened == kErrorFileNotFound || opened == kErrorPathNotFound) {
    return RegExport::kAbsent;
  }
  if (opened != kErrorSuccess) return RegExport::kFailed;
  return OpenedValue(key.get(), root, path, valueName, out);
}

RegExport RegExporter::OpenedValue(RegKey key, RegKey root,
                                   std::u16string_view path,
                                   std::u16string_view valueName,
                                   std::u16string& out) {
  const std::u16string keyName = KeyLineName(root, path);
  if (keyName.empty() || HasUnwritable(valueName)) return RegExport::kFailed;
  const std::u16string name(valueName);
  uint32_t type = kRegNone;
  uint32_t bytes = 0;
  int32_t result = kErrorMoreData;
  for (int attempt = 0; attempt < kMaxReadAttempts && result == kErrorMoreData;
       ++attempt) {
    bytes = static_cast<uint32_t>(data_.size());
    result = registry_.RegQueryValueExW(key, name.c_str(), &type,
                                        data_.data(), &bytes);
    if (result == kErrorMoreData) {
      if (bytes <= data_.size()) return RegExport::kFailed;
      data_.resize(bytes);
    }
  }
  if (result == kErrorFileNotFound) return RegExport::kAbsent;
  if (result != kErrorSuccess) return RegExport::kFailed;
  const size_t start = out.size();
  out += u"[";
  out += keyName;
  out += u"]";
  out += kLineEnd;
  if (!AppendRegValueLine(out, valueName, type, data_.data(), bytes)) {
    out.resize(start);
    return RegExport::kFailed;
  }
  out += kLineEnd;
  return RegExport::kWritten;
}

RegExport ExportKeyTree(Registry& registry, RegKey root, std::u16string_view path,
                        std::u16string& out) {
  return RegExporter(registry).KeyTree(root, path, out);
}

RegExport ExportValue(Registry& registry, RegKey root, std::u16string_view path,
                      std::u16string_view valueName, std::u16string& out) {
  return RegExporter(registry).Value(root, path, valueName, out);
}

std::vector<uint8_t> EncodeRegText(std::u16string_view text, bool withBom) {
  std::vector<uint8_t> bytes;
  EncodeRegText(text, withBom, bytes);
  return bytes;
}

void EncodeRegText(std::u16string_view text, bool withBom,
                   std::vector<uint8_t>& bytes) {
  const size_t start = withBom ? 2 : 0;
  bytes.resize(start + text.size() * 2);
  if (withBom) {
    bytes[0] = 0xFF;
    bytes[1] = 0xFE;
  }
  uint8_t* out = bytes.data() + start;
  for (char16_t c : text) {
    *out++ = static_cast<uint8_t>(c & 0xFF);
    *out++ = static_cast<uint8_t>(c >> 8);
  }
}

}  // namespace tavik
