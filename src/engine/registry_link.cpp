#include "engine/registry_link.h"

namespace tavik {

bool IsLinkHandle(Registry& registry, RegKey key) {
  uint32_t type = kRegNone;
  uint32_t bytes = 0;
  const int32_t result = registry.RegQueryValueExW(
      key, kSymbolicLinkValueName, &type, nullptr, &bytes);
  return (result == kErrorSuccess || result == kErrorMoreData) &&
         type == kRegLink;
}

}  // namespace tavik
