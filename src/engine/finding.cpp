#include "engine/finding.h"

#include "engine/exclude_list.h"
#include "engine/registry_key.h"
#include "base/text.h"

namespace tavik {

namespace {
// Subkey names are read into buffers of this many characters, so a name of
// 512 characters or more ends an enumeration as an error.
constexpr uint32_t kSubkeyNameChars = 512;
}  // namespace

std::u16string RootDisplayName(RegKey root) {
  switch (root) {
    case kHkeyClassesRoot: return u"HKEY_CLASSES_ROOT";
    case kHkeyCurrentUser: return u"HKEY_CURRENT_USER";
    case kHkeyLocalMachine: return u"HKEY_LOCAL_MACHINE";
    default: return u"";
  }
}

std::u16string JoinKeyPath(std::u16string_view keyPath,
                           std::u16string_view subName) {
  std::u16string path(keyPath);
  if (!keyPath.empty() && !subName.empty() && keyPath.back() != u'\\') {
    path.push_back(u'\\');
  }
  path.append(subName);
  return path;
}

int32_t AddFinding(const ScanContext& context, FindingList* list, int32_t kind,
                   RegKey root, std::u16string_view keyPath,
                   std::u16string_view subName,
                   std::u16string_view valueName, FindingReason reason) {
  if (list == nullptr) return -1;
  std::u16string path = JoinKeyPath(keyPath, subName);
  // A path that would not fit a work buffer cannot name a real key; it is
  // never reported rather than reported cut.
  if (path.size() >= kTextBufferChars) return -1;
  if (IsExcluded(context.excludeList, root, path) == 1) return 1;
  {
    // Only entries that the running user could delete are reported.
    RegistryKey key;
    if (RegistryKey::Open(context.registry, root, path.c_str(), kKeyAllAccess,
                          key) != kErrorSuccess) {
      return -1;
    }
  }
  list->findings.push_back(
      Finding{kind, root, std::move(path), std::u16string(valueName)});
  list->reasons.push_back(std::move(reason));
  return 0;
}

int32_t ListSubkeys(const ScanContext& context, RegKey root,
                    std::u16string_view keyPath,
                    std::vector<std::u16string>& names) {
  RegistryKey key;
  if (RegistryKey::Open(context.registry, root,
                        std::u16string(keyPath).c_str(), kKeyRead,
                        key) != kErrorSuccess) {
    return -1;
  }
  names.clear();
  std::u16string buffer(kSubkeyNameChars, u'\0');
  int32_t result = kErrorSuccess;
  for (uint32_t index = 0;; ++index) {
    uint32_t length = kSubkeyNameChars;
    result = context.registry.RegEnumKeyExW(key.get(), index, buffer.data(),
                                            &length);
    if (result != kErrorSuccess) break;
    names.emplace_back(TextUpToZero(buffer.data(),
                                    std::min(length, kSubkeyNameChars - 1)));
  }
  if (names.empty()) return -1;
  if (result != kErrorNoMoreItems) {
    names.clear();
    return -1;
  }
  return 0;
}

}  // namespace tavik
