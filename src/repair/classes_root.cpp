#include "repair/classes_root.h"

#include <vector>

#include "base/text.h"
#include "engine/registry_key.h"

namespace tavik {

namespace {

constexpr char16_t kClasses[] = u"Software\\Classes";
// Kernel names are key paths below "\REGISTRY\USER\<identifier>".
constexpr uint32_t kKernelNameChars = 33000;

bool KernelName(Registry& registry, RegKey key, std::u16string* name) {
  std::vector<char16_t> buffer(kKernelNameChars);
  uint32_t chars = kKernelNameChars;
  if (registry.NtQueryKeyNameW(key, buffer.data(), &chars) != kErrorSuccess) {
    return false;
  }
  name->assign(buffer.data(), chars);
  return !name->empty();
}

}  // namespace

bool FindConcreteClassesKey(Registry& registry, RegKey key, ConcreteKey* out) {
  std::u16string name;
  if (!KernelName(registry, key, &name)) return false;
  for (const RegKey root : {kHkeyCurrentUser, kHkeyLocalMachine}) {
    RegistryKey classes;
    std::u16string base;
    if (RegistryKey::Open(registry, root, kClasses, kKeyRead, classes) !=
            kErrorSuccess ||
        !KernelName(registry, classes.get(), &base)) {
      continue;
    }
    if (name.size() > base.size() && name[base.size()] == u'\\' &&
        EqualsIgnoreAsciiCase(std::u16string_view(name).substr(0, base.size()),
                              base)) {
      out->root = root;
      out->path = kClasses + name.substr(base.size());
      return true;
    }
  }
  return false;
}

}  // namespace tavik
