// Recent documents: each value of the RecentDocs key and its subkeys begins
// with a document's file name; the document is still there when its shortcut
// in the user's Recent folder exists, loads, and points at an existing file.
#include <algorithm>
#include <optional>
#include <vector>

#include "base/text.h"
#include "engine/file_reference.h"
#include "engine/registry_key.h"
#include "scanners/user_traces.h"

namespace tavik {

namespace {

constexpr uint32_t kNameChars = 33000;
// The datum buffer holds 33000 characters (it also receives the shortcut's
// target), but only 33000 bytes are offered to the registry.
constexpr uint32_t kDatumBytes = 33000;

// The value holding the order of the list, not a document.
constexpr std::u16string_view kOrderValueName = u"MRUListEx";

bool Missing(const ScanContext& context, const std::u16string& text) {
  return CheckFileReference(context.files, text, 0) == 0;
}

// Why a recent document is invalid, tested in this order: its shortcut is
// gone, does not load, or points at a document that is gone. None when it
// is valid. One shortcut resolution at most, none when the shortcut is gone;
// `datum` receives the shortcut's target.
std::optional<FindingReason> InvalidDocument(const ScanContext& context,
                                             const std::u16string& shortcut,
                                             std::span<char16_t> datum) {
  if (Missing(context, shortcut)) {
    return FindingReason{
        ReasonKind::kShortcutMissing,
        DescribeMissingFile(context.files, shortcut, 0)};
  }
  if (ResolveShortcut(context.files, shortcut.c_str(), datum) != 0) {
    return FindingReason{
        ReasonKind::kShortcutUnreadable,
        ReasonDetail({shortcut, u" does not load as a shortcut"})};
  }
  const std::u16string target(TextUpToZero(datum.data(), datum.size()));
  if (Missing(context, target)) {
    return FindingReason{
        ReasonKind::kShortcutTargetMissing,
        ReasonDetail({u"Target of ", shortcut, u": ",
                      DescribeMissingFile(context.files, target, 0)})};
  }
  return std::nullopt;
}

}  // namespace

int32_t ResolveShortcut(FileSystem& files, const char16_t* linkPath,
                        std::span<char16_t> target) {
  if (linkPath == nullptr || target.empty()) return -1;
  // The buffer still holds what it held before (for the scanner, the value's
  // datum): a link without a file-system path must leave it empty, so that
  // the link is never judged on the old contents.
  target[0] = u'\0';
  const uint32_t chars = static_cast<uint32_t>(
      std::min<size_t>(target.size(), kTextBufferChars));
  return files.LoadShellLinkTarget(linkPath, target.data(), chars);
}

int32_t ScanRecentDocsKey(const ScanContext& context, FindingList* list,
                          std::u16string_view parentPath,
                          std::u16string_view subName) {
  std::u16string keyPath(parentPath);
  keyPath.push_back(u'\\');
  keyPath.append(subName);
  // A key path too long for its work buffer names no key that can be judged.
  if (keyPath.size() >= kTextBufferChars) return -1;
  RegistryKey key;
  if (RegistryKey::Open(context.registry, kHkeyCurrentUser, keyPath.c_str(),
                        kKeyRead, key) != kErrorSuccess) {
    return -1;
  }
  std::vector<char16_t> name(kNameChars);
  std::vector<char16_t> datum(kTextBufferChars);
  for (uint32_t index = 0;; ++index) {
    if (context.StopRequested()) return -1;
    uint32_t nameLength = kNameChars;
    uint32_t datumBytes = kDatumBytes;
    const int32_t result = context.registry.RegEnumValueW(
        key.get(), index, name.data(), &nameLength, nullptr,
        reinterpret_cast<uint8_t*>(datum.data()), &datumBytes);
    if (result == kErrorNoMoreItems) return 0;
    if (result != kErrorSuccess) return -1;
    const std::u16string valueName(
        TextUpToZero(name.data(), std::min(nameLength, kNameChars - 1)));
    if (EqualsIgnoreAsciiCase(valueName, kOrderValueName)) continue;

    char16_t folder[kMaxPath + 1] = {};
    if (context.files.SHGetFolderPathW(kCsidlRecent, kShgfpTypeCurrent,
                                       folder) != 0) {
      return -1;
    }
    // The document's name is the datum's leading text: it ends at its first
    // zero, or with the returned data when no zero comes first.
    const std::u16string document =
        TextOfData(datum.data(), std::min(datumBytes, kDatumBytes));
    // A datum that names no document cannot be judged.
    if (document.empty()) continue;
    std::u16string shortcut(TextUpToZero(folder, kMaxPath));
    shortcut.push_back(u'\\');
    shortcut.append(document);
    shortcut.append(u".lnk");
    if (shortcut.size() >= kTextBufferChars) continue;

    if (std::optional<FindingReason> reason =
            InvalidDocument(context, shortcut, datum)) {
      AddFinding(context, list, kFindingInvalidValue, kHkeyCurrentUser,
                 keyPath, u"", valueName, std::move(*reason));
    }
  }
}

int32_t ScanRecentDocuments(const ScanContext& context, FindingList* list) {
  std::vector<std::u16string> names;
  if (ListSubkeys(context, kHkeyCurrentUser, kRecentDocsPath, names) != 0) {
    return -1;
  }
  RegistryKey top;
  if (RegistryKey::Open(context.registry, kHkeyCurrentUser,
                        std::u16string(kRecentDocsPath).c_str(), kKeyRead,
                        top) != kErrorSuccess) {
    return -1;
  }
  ScanRecentDocsKey(context, list, kRecentDocsPath, u"");
  for (const auto& name : names) {
    if (context.StopRequested()) return -1;
    RegistryKey sub;
    if (RegistryKey::Open(context.registry, top.get(), name.c_str(), kKeyRead,
                          sub) != kErrorSuccess) {
      continue;
    }
    sub.Close();
    ScanRecentDocsKey(context, list, kRecentDocsPath, name);
  }
  return 0;
}

}  // namespace tavik
