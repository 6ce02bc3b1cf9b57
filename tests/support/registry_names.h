// Reads back the subkey and value names of an open key, in enumeration order.
#pragma once

#include <string>
#include <vector>

#include "platform/registry.h"

namespace tavik::testing {

inline std::vector<std::u16string> SubkeyNames(Registry& registry, RegKey key) {
  std::vector<std::u16string> names;
  for (uint32_t index = 0;; ++index) {
    char16_t name[512] = {};
    uint32_t chars = 512;
    if (registry.RegEnumKeyExW(key, index, name, &chars) != kErrorSuccess) {
      break;
    }
    names.emplace_back(name, chars);
  }
  return names;
}

inline std::vector<std::u16string> ValueNames(Registry& registry, RegKey key) {
  std::vector<std::u16string> names;
  for (uint32_t index = 0;; ++index) {
    char16_t name[512] = {};
    uint32_t chars = 512;
    if (registry.RegEnumValueW(key, index, name, &chars, nullptr, nullptr,
                               nullptr) != kErrorSuccess) {
      break;
    }
    names.emplace_back(name, chars);
  }
  return names;
}

}  // namespace tavik::testing
