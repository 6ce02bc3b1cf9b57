#include "repair/registry_links.h"

#include <vector>

#include "engine/registry_key.h"

namespace tavik {

namespace {

// The registry nests keys at most this deep; a deeper tree is not examined.
constexpr int kMaxTreeDepth = 512;
// Key names are at most 255 characters.
constexpr uint32_t kKeyNameChars = 256;

LinkCheck CheckOpenedTree(Registry& registry, RegKey key, int depth) {
  if (IsLinkHandle(registry, key)) return LinkCheck::kLink;
  if (depth >= kMaxTreeDepth) return LinkCheck::kUnknown;
  std::vector<char16_t> name(kKeyNameChars);
  for (uint32_t index = 0;; ++index) {
    uint32_t chars = kKeyNameChars;
    const int32_t result =
        registry.RegEnumKeyExW(key, index, name.data(), &chars);
    if (result == kErrorNoMoreItems) return LinkCheck::kNoLink;
    if (result != kErrorSuccess) return LinkCheck::kUnknown;
    RegKey child = 0;
    if (registry.RegOpenKeyLinkW(key, name.data(), kKeyRead, &child) !=
        kErrorSuccess) {
      return LinkCheck::kUnknown;
    }
    const RegistryKey closer(registry, child);
    const LinkCheck below = CheckOpenedTree(registry, child, depth + 1);
    if (below != LinkCheck::kNoLink) return below;
  }
}

}  // namespace

LinkCheck CheckTreeForLinks(Registry& registry, RegKey root,
                            const char16_t* path) {
  RegKey key = 0;
  const int32_t result = registry.RegOpenKeyLinkW(root, path, kKeyRead, &key);
  if (result == kErrorFileNotFound) return LinkCheck::kAbsent;
  if (result != kErrorSuccess) return LinkCheck::kUnknown;
  const RegistryKey closer(registry, key);
  return CheckOpenedTree(registry, key, 0);
}

}  // namespace tavik
