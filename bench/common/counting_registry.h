// A Registry that passes every call to another one and counts them: how many
// opens a scan makes, and how many distinct keys it opened, so that the opens
// per examined key show how often a scan comes back to the same key.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>
#include <unordered_set>

#include "base/text.h"
#include "platform/forwarding_registry.h"

namespace tavik::bench {

class CountingRegistry final : public ForwardingRegistry {
 public:
  explicit CountingRegistry(Registry& inner) : ForwardingRegistry(inner) {}

  struct Counts {
    uint64_t opens = 0;        // RegOpenKeyExW calls
    uint64_t failedOpens = 0;  // of them, the ones that opened nothing
    uint64_t enumKeys = 0;
    uint64_t enumValues = 0;
    uint64_t queries = 0;      // RegQueryValueExW and RegQueryInfoKeyW
  };
  const Counts& counts() const { return counts_; }
  // Distinct keys opened (by root and case-folded path).
  size_t DistinctKeysOpened() const { return opened_.size(); }
  void Reset() {
    counts_ = {};
    opened_.clear();
  }

  int32_t RegOpenKeyExW(RegKey parent, const char16_t* subKey, uint32_t access,
                        RegKey* result) override {
    ++counts_.opens;
    const int32_t error = inner().RegOpenKeyExW(parent, subKey, access, result);
    if (error != kErrorSuccess) {
      ++counts_.failedOpens;
      return error;
    }
    std::u16string path = PathOf(parent);
    if (subKey != nullptr && subKey[0] != 0) {
      path += u'\\';
      path += ToLowerAscii(subKey);
    }
    opened_.insert(path);
    paths_[*result] = std::move(path);
    return error;
  }
  int32_t RegCloseKey(RegKey key) override {
    paths_.erase(key);
    return inner().RegCloseKey(key);
  }
  int32_t RegEnumKeyExW(RegKey key, uint32_t index, char16_t* name,
                        uint32_t* nameChars) override {
    ++counts_.enumKeys;
    return inner().RegEnumKeyExW(key, index, name, nameChars);
  }
  int32_t RegEnumValueW(RegKey key, uint32_t index, char16_t* name,
                        uint32_t* nameChars, uint32_t* type, uint8_t* data,
                        uint32_t* dataBytes) override {
    ++counts_.enumValues;
    return inner().RegEnumValueW(key, index, name, nameChars, type, data,
                                dataBytes);
  }
  int32_t RegQueryValueExW(RegKey key, const char16_t* valueName,
                           uint32_t* type, uint8_t* data,
                           uint32_t* dataBytes) override {
    ++counts_.queries;
    return inner().RegQueryValueExW(key, valueName, type, data, dataBytes);
  }
  int32_t RegQueryInfoKeyW(RegKey key, uint32_t* subKeys, uint32_t* values,
                           uint64_t* lastWriteTime = nullptr) override {
    ++counts_.queries;
    return inner().RegQueryInfoKeyW(key, subKeys, values, lastWriteTime);
  }

 private:
  // The case-folded path of an open handle or a predefined root. Keys under
  // HKEY_CLASSES_ROOT count apart from their HKLM twins: each is an open of
  // its own.
  std::u16string PathOf(RegKey key) const {
    const auto found = paths_.find(key);
    if (found != paths_.end()) return found->second;
    return u"#" + Utf8ToUtf16(std::to_string(key));
  }

  Counts counts_;
  std::unordered_map<RegKey, std::u16string> paths_;
  std::unordered_set<std::u16string> opened_;
};

}  // namespace tavik::bench
