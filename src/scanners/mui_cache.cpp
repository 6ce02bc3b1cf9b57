// The shell's MUI cache: its value names are the paths of programs the user
// ran (possibly followed by a suffix such as ".FriendlyAppName"), its data
// their display names.
#include <algorithm>
#include <vector>

#include "base/text.h"
#include "engine/file_reference.h"
#include "engine/registry_key.h"
#include "scanners/user_traces.h"

namespace tavik {

namespace {

constexpr uint32_t kNameChars = 33000;

// The cache's language marker, compared with case; other spellings are
// judged like any path.
constexpr std::u16string_view kLanguageValueName = u"LangID";

// Names such as "@shell32.dll,-21787" are resource references, not paths.
bool IsResourceReference(std::u16string_view name) {
  return !name.empty() && name.front() == u'@';
}

}  // namespace

int32_t ScanMuiCacheKey(const ScanContext& context, FindingList* list,
                        std::u16string_view keyPath) {
  const std::u16string path(keyPath);
  RegistryKey key;
  if (RegistryKey::Open(context.registry, kHkeyCurrentUser, path.c_str(),
                        kKeyRead, key) != kErrorSuccess) {
    return -1;
  }
  std::vector<char16_t> name(kNameChars);
  for (uint32_t index = 0;; ++index) {
    if (context.StopRequested()) return -1;
    uint32_t nameLength = kNameChars;
    const int32_t result = context.registry.RegEnumValueW(
        key.get(), index, name.data(), &nameLength, nullptr, nullptr, nullptr);
    if (result == kErrorNoMoreItems) return 0;
    if (result != kErrorSuccess) return -1;
    const std::u16string valueName(
        TextUpToZero(name.data(), std::min(nameLength, kNameChars - 1)));
    if (valueName == kLanguageValueName || IsResourceReference(valueName)) {
      continue;
    }
    if (CheckFileReference(context.files, valueName, 0) == 0) {
      AddFinding(context, list, kFindingInvalidValue, kHkeyCurrentUser,
                 keyPath, u"", valueName,
                 {ReasonKind::kFileMissing,
                  DescribeMissingFile(context.files, valueName, 0)});
    }
  }
}

}  // namespace tavik
