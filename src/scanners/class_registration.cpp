#include "scanners/class_registration.h"

#include <array>
#include <string>

#include "base/text.h"
#include "engine/registry_key.h"

namespace tavik {

namespace {

struct ClassLocation {
  RegKey root;
  std::u16string_view prefix;
};

// The class-identifier containers, in the order they are tried: merged
// classes, machine classes, user classes, then the same in the 32-bit view.
constexpr std::array<ClassLocation, 6> kClassIdContainers = {{
    {kHkeyClassesRoot, u"CLSID"},
    {kHkeyLocalMachine, u"Software\\Classes\\CLSID"},
    {kHkeyCurrentUser, u"Software\\Classes\\CLSID"},
    {kHkeyClassesRoot, u"Wow6432Node\\CLSID"},
    {kHkeyLocalMachine, u"Software\\Wow6432Node\\Classes\\CLSID"},
    {kHkeyCurrentUser, u"Software\\Wow6432Node\\Classes\\CLSID"},
}};

// 1 when prefix\name opens for reading below one of the locations.
template <size_t N>
int32_t IsRegisteredBelow(const ScanContext& context,
                          const std::array<ClassLocation, N>& locations,
                          std::u16string_view name) {
  if (name.empty()) return 1;
  std::u16string path;
  for (const auto& location : locations) {
    // The joined path and its terminator must fit a work buffer; a name
    // that does not fit cannot be looked up, so it is not judged at all.
    if (location.prefix.size() + 1 + name.size() >= kTextBufferChars) return 1;
    path.assign(location.prefix);
    path.push_back(u'\\');
    path.append(name);
    RegistryKey key;
    if (RegistryKey::Open(context.registry, location.root, path.c_str(),
                          kKeyRead, key) == kErrorSuccess) {
      return 1;
    }
  }
  return 0;
}

}  // namespace

int32_t ClassIsRegistered(const ScanContext& context,
                          std::u16string_view clsidText) {
  return IsRegisteredBelow(context, kClassIdContainers, clsidText);
}

}  // namespace tavik
