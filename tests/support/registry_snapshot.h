// A copy of every key and value below some roots, read through the registry
// seam without following registry links, so that two copies taken before and
// after an operation show exactly what it changed.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "base/text.h"
#include "platform/registry.h"

namespace tavik::testing {

struct SnapshotValue {
  std::u16string name;
  uint32_t type = 0;
  std::vector<uint8_t> data;
  bool operator==(const SnapshotValue&) const = default;
};

struct SnapshotKey {
  std::u16string path;  // as stored, "HKLM\Software\..."
  std::map<std::u16string, SnapshotValue> values;  // lower-cased names
  bool operator==(const SnapshotKey&) const = default;
};

// Keys by their lower-cased full paths.
using RegistrySnapshot = std::map<std::u16string, SnapshotKey>;

inline void SnapshotTree(Registry& registry, RegKey key,
                         const std::u16string& path, RegistrySnapshot& out,
                         int depth = 0) {
  SnapshotKey& entry = out[ToLowerAscii(path)];
  entry.path = path;
  std::vector<char16_t> name(16384);
  std::vector<uint8_t> data(1 << 16);
  for (uint32_t index = 0;; ++index) {
    uint32_t chars = static_cast<uint32_t>(name.size());
    uint32_t bytes = static_cast<uint32_t>(data.size());
    uint32_t type = 0;
    int32_t rc = registry.RegEnumValueW(key, index, name.data(), &chars, &type,
                                        data.data(), &bytes);
    if (rc == kErrorMoreData) {
      data.resize(bytes);
      chars = static_cast<uint32_t>(name.size());
      rc = registry.RegEnumValueW(key, index, name.data(), &chars, &type,
                                  data.data(), &bytes);
    }
    if (rc != kErrorSuccess) break;
    const std::u16string valueName(name.data(), chars);
    entry.values[ToLowerAscii(valueName)] = SnapshotValue{
        valueName, type, std::vector<uint8_t>(data.begin(), data.begin() + bytes)};
  }
  if (depth > 512) return;
  for (uint32_t index = 0;; ++index) {
    uint32_t chars = static_cast<uint32_t>(name.size());
    if (registry.RegEnumKeyExW(key, index, name.data(), &chars) != kErrorSuccess) {
      break;
    }
    const std::u16string child(name.data(), chars);
    RegKey opened = 0;
    // Links are recorded as keys with their link value, never followed.
    if (registry.RegOpenKeyLinkW(key, child.c_str(), kKeyRead, &opened) !=
        kErrorSuccess) {
      out[ToLowerAscii(path + u"\\" + child)].path = path + u"\\" + child + u" <unreadable>";
      continue;
    }
    SnapshotTree(registry, opened, path + u"\\" + child, out, depth + 1);
    registry.RegCloseKey(opened);
  }
}

// Every key below HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER and HKEY_USERS.
inline RegistrySnapshot TakeSnapshot(Registry& registry) {
  RegistrySnapshot out;
  const std::pair<RegKey, const char16_t*> roots[] = {
      {kHkeyLocalMachine, u"HKLM"}, {kHkeyCurrentUser, u"HKCU"}, {kHkeyUsers, u"HKU"}};
  for (const auto& [root, name] : roots) SnapshotTree(registry, root, name, out);
  return out;
}

// A snapshot as text, for a copy taken by one process and compared by
// another: one line per key ("K path") and per value ("V name type data"),
// each field hex-encoded after an "x" so that any name survives.
inline std::string HexField(const uint8_t* bytes, size_t size) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string out = "x";
  for (size_t i = 0; i < size; ++i) {
    out += kDigits[bytes[i] >> 4];
    out += kDigits[bytes[i] & 15];
  }
  return out;
}
inline std::string HexField(const std::u16string& text) {
  return HexField(reinterpret_cast<const uint8_t*>(text.data()), text.size() * 2);
}
inline std::vector<uint8_t> UnhexField(const std::string& field) {
  std::vector<uint8_t> out;
  auto digit = [](char c) { return c <= '9' ? c - '0' : c - 'a' + 10; };
  for (size_t i = 1; i + 1 < field.size(); i += 2) {
    out.push_back(static_cast<uint8_t>(digit(field[i]) * 16 + digit(field[i + 1])));
  }
  return out;
}
inline std::u16string UnhexText(const std::string& field) {
  const std::vector<uint8_t> bytes = UnhexField(field);
  std::u16string out(bytes.size() / 2, u'\0');
  for (size_t i = 0; i < out.size(); ++i) {
    out[i] = static_cast<char16_t>(bytes[2 * i] | bytes[2 * i + 1] << 8);
  }
  return out;
}

inline std::string SnapshotText(const RegistrySnapshot& snapshot) {
  std::string out;
  for (const auto& [folded, key] : snapshot) {
    out += "K " + HexField(key.path) + "\n";
    for (const auto& [name, value] : key.values) {
      out += "V " + HexField(value.name) + " " + std::to_string(value.type) + " " +
             HexField(value.data.data(), value.data.size()) + "\n";
    }
  }
  return out;
}

// Reads SnapshotText's lines (others are left to the caller) into `out`.
inline void ReadSnapshotLine(const std::string& line, RegistrySnapshot& out,
                             SnapshotKey*& current) {
  std::vector<std::string> fields;
  size_t start = 0;
  while (start <= line.size()) {
    size_t end = line.find(' ', start);
    if (end == std::string::npos) end = line.size();
    fields.push_back(line.substr(start, end - start));
    start = end + 1;
  }
  if (fields.size() == 2 && fields[0] == "K") {
    const std::u16string path = UnhexText(fields[1]);
    current = &out[ToLowerAscii(path)];
    current->path = path;
  } else if (fields.size() == 4 && fields[0] == "V" && current != nullptr) {
    SnapshotValue value{UnhexText(fields[1]),
                        static_cast<uint32_t>(std::stoul(fields[2])),
                        UnhexField(fields[3])};
    current->values[ToLowerAscii(value.name)] = std::move(value);
  }
}

// What `after` lacks or holds differently from `before`, one line each:
// "-key PATH", "-value PATH\NAME", "+key PATH", "+value PATH\NAME",
// "~value PATH\NAME".
inline std::vector<std::u16string> SnapshotChanges(const RegistrySnapshot& before,
                                                   const RegistrySnapshot& after) {
  std::vector<std::u16string> changes;
  for (const auto& [folded, key] : before) {
    auto it = after.find(folded);
    if (it == after.end()) {
      changes.push_back(u"-key " + key.path);
      continue;
    }
    for (const auto& [name, value] : key.values) {
      auto v = it->second.values.find(name);
      if (v == it->second.values.end()) {
        changes.push_back(u"-value " + key.path + u"\\" + value.name);
      } else if (!(v->second == value)) {
        changes.push_back(u"~value " + key.path + u"\\" + value.name);
      }
    }
    for (const auto& [name, value] : it->second.values) {
      if (!key.values.count(name)) {
        changes.push_back(u"+value " + key.path + u"\\" + value.name);
      }
    }
  }
  for (const auto& [folded, key] : after) {
    if (!before.count(folded)) changes.push_back(u"+key " + key.path);
  }
  return changes;
}

}  // namespace tavik::testing
