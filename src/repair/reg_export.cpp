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
constexpr uint32_t kMaxTreeDepth = 512;
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

int32_t QueryKeyState(Registry& registry, RegKey key, KeyState* state) {
  return registry.RegQueryInfoKeyW(key, &state->subKeys, &state->values,
                                   &state->lastWrite);
}

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

bool RegExporter::ExportKeyLines(RegKey key, const std::u16string& keyName,
                                 std::u16string& out, KeyState* state,
                                 std::vector<std::u16string>& children) {
  const size_t start = out.size();
  for (int attempt = 0; attempt < kMaxReadAttempts; ++attempt) {
    out.resize(start);
    children.clear();
    // The counts first: one call instead of the two that find each list's
    // end; the same call afterwards shows whether the key changed meanwhile.
    KeyState before;
    if (QueryKeyState(registry_, key, &before) != kErrorSuccess) return false;
    out += u"[";
    out += keyName;
    out += u"]";
    out += kLineEnd;
    bool complete = true;
    for (uint32_t index = 0; index < before.values && complete; ++index) {
      uint32_t chars = 0;
      uint32_t type = kRegNone;
      uint32_t bytes = 0;
      const int32_t result = ReadValueAt(registry_, key, index, name_, &chars,
                                         &type, data_, &bytes);
      if (result != kErrorSuccess) {
        complete = false;
        break;
      }
      if (!AppendRegValueLine(out, std::u16string_view(name_.data(), chars),
                              type, data_.data(), bytes)) {
        return false;
      }
    }
    out += kLineEnd;
    for (uint32_t index = 0; index < before.subKeys && complete; ++index) {
      uint32_t chars = kKeyNameChars;
      if (registry_.RegEnumKeyExW(key, index, keyName_.data(), &chars) !=
          kErrorSuccess) {
        complete = false;
        break;
      }
      children.emplace_back(keyName_.data(), chars);
    }
    KeyState after;
    if (QueryKeyState(registry_, key, &after) != kErrorSuccess) return false;
    if (after == before) {
      // A read that failed on a key that stayed the same is a real failure.
      if (!complete) return false;
      *state = after;
      return true;
    }
    // A value or subkey came or went while the key was read: a record made
    // from that reading could miss it, so the key is read again.
  }
  return false;
}

bool RegExporter::ExportOpened(RegistryKey key, const std::u16string& keyName,
                               std::u16string& out, uint32_t depth) {
  if (depth > kMaxTreeDepth || IsLinkHandle(registry_, key.get())) return false;
  KeyState state;
  std::vector<std::u16string> children;
  if (!ExportKeyLines(key.get(), keyName, out, &state, children)) return false;
  const RegKey opened = key.get();
  exported_.push_back(ExportedKey{keyName.substr(keyNameSkip_), depth, state,
                                  std::move(key)});
  for (const std::u16string& child : children) {
    if (HasUnwritable(child)) return false;
    RegKey childKey = 0;
    // A child that vanished since it was listed fails the export too: the
    // tree is changing under the fix.
    if (registry_.RegOpenKeyLinkW(opened, child.c_str(), kKeyRead, &childKey) !=
        kErrorSuccess) {
      return false;
    }
    if (!ExportOpened(RegistryKey(registry_, childKey), keyName + u"\\" + child,
                      out, depth + 1)) {
      return false;
    }
  }
  return true;
}

RegExport RegExporter::KeyTree(RegKey root, std::u16string_view path,
                               std::u16string& out,
                               std::vector<ExportedKey>* keys) {
  if (keys != nullptr) keys->clear();
  const std::u16string keyName = KeyLineName(root, path);
  if (keyName.empty()) return RegExport::kFailed;
  RegKey key = 0;
  const int32_t opened = registry_.RegOpenKeyLinkW(
      root, std::u16string(path).c_str(), kKeyRead, &key);
  if (opened == kErrorFileNotFound) return RegExport::kAbsent;
  if (opened != kErrorSuccess) return RegExport::kFailed;
  const size_t start = out.size();
  exported_.clear();
  keyNameSkip_ = keyName.size() - path.size();
  const bool exported =
      ExportOpened(RegistryKey(registry_, key), keyName, out, 0);
  if (!exported) {
    out.resize(start);
    exported_.clear();
    return RegExport::kFailed;
  }
  if (keys != nullptr) keys->swap(exported_);
  exported_.clear();
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
