// ScanUninstallEntries: uninstall entries and their ARPCache records.
#include "scanners/installed_programs.h"

#include <algorithm>
#include <string>
#include <vector>

#include "base/text.h"
#include "engine/file_reference.h"
#include "engine/registry_key.h"
#include "scanners/registry_value_reads.h"
#include "scanners/slow_info_cache.h"

namespace tavik {

namespace {

// An ARPCache key path (the ARPCache path and an entry name) is built in a
// buffer of this many characters, its terminator included.
constexpr size_t kArpCacheKeyChars = 512;

enum class EntryEnd { kNext, kAbort };

// The work buffers of one call, reused for every entry.
struct UninstallBuffers {
  std::vector<char16_t> text0 = std::vector<char16_t>(kTextBufferChars);
  std::vector<char16_t> text1 = std::vector<char16_t>(kTextBufferChars);
  std::vector<char16_t> text2 = std::vector<char16_t>(kTextBufferChars);
  std::vector<uint8_t> record = std::vector<uint8_t>(kSlowInfoCacheBytes);
};

bool IsEmpty(const std::optional<std::u16string>& text) {
  return !text || text->empty();
}

// Judges the ARPCache record of entry `name`: the key under HKCU, else under
// HKLM, is invalid when its record names a program file that is missing.
void CheckArpCacheRecord(const ScanContext& context, FindingList* list,
                         std::u16string_view arpCachePath,
                         std::u16string_view name, UninstallBuffers& buffers) {
  const std::u16string path = std::u16string(arpCachePath) + std::u16string(name);
  // A key path that would not fit its buffer is not examined.
  if (path.size() >= kArpCacheKeyChars) return;
  RegistryKey key;
  RegKey root = kHkeyCurrentUser;
  if (RegistryKey::Open(context.registry, root, path.c_str(), kKeyRead, key) !=
      kErrorSuccess) {
    root = kHkeyLocalMachine;
    if (RegistryKey::Open(context.registry, root, path.c_str(), kKeyRead,
                          key) != kErrorSuccess) {
      return;
    }
  }
  std::fill(buffers.record.begin(), buffers.record.end(), uint8_t{0});
  uint32_t length = kSlowInfoCacheBytes;
  if (context.registry.RegQueryValueExW(key.get(), u"SlowInfoCache", nullptr,
                                        buffers.record.data(),
                                        &length) != kErrorSuccess) {
    return;
  }
  const std::optional<std::u16string> program = SlowInfoCacheProgramPath(
      buffers.record.data(), std::min(length, kSlowInfoCacheBytes));
  const FileView view = FileViewOfKey(path);
  if (program && CheckFileReference(context.files, *program, 0, view) == 0) {
    AddFinding(context, list, kFindingInvalidKey, root, path, u"", u"",
               {ReasonKind::kFileMissing,
                ReasonDetail({u"SlowInfoCache: ",
                              DescribeMissingFile(context.files, *program, 0,
                                                  view)})});
  }
}

// Judges one uninstall entry. kAbort when it cannot be opened: the whole
// call then ends.
EntryEnd CheckUninstallEntry(const ScanContext& context, FindingList* list,
                             const RegistryKey& uninstallKey,
                             std::u16string_view uninstallPath,
                             std::u16string_view arpCachePath,
                             const std::u16string& name,
                             UninstallBuffers& buffers) {
  RegistryKey entry;
  if (RegistryKey::Open(context.registry, uninstallKey.get(), name.c_str(),
                        kKeyRead, entry) != kErrorSuccess) {
    return EntryEnd::kAbort;
  }
  uint32_t values = 0;
  // An entry whose counts cannot be read cannot be judged: it is kept.
  if (context.registry.RegQueryInfoKeyW(entry.get(), nullptr, &values) !=
      kErrorSuccess) {
    return EntryEnd::kNext;
  }
  if (values == 0) {
    AddFinding(context, list, kFindingInvalidKey, kHkeyLocalMachine,
               uninstallPath, name, u"",
               {ReasonKind::kUninstallEntryWithoutValues,
                ReasonDetail::Fixed(u"The entry holds no values")});
    return EntryEnd::kNext;
  }
  // Entries kept by Windows Installer, or marked as not removable, are left
  // alone altogether.
  if (ReadNumberValue(context, entry.get(), u"WindowsInstaller") != 0) {
    return EntryEnd::kNext;
  }
  if (ReadNumberValue(context, entry.get(), u"NoRemove") != 0) {
    return EntryEnd::kNext;
  }
  const auto location =
      ReadTextValue(context, entry.get(), u"InstallLocation", buffers.text0);
  const auto uninstall =
      ReadTextValue(context, entry.get(), u"UninstallString", buffers.text1);
  const auto quiet = ReadTextValue(context, entry.get(),
                                   u"QuietUninstallString", buffers.text2);
  if (IsEmpty(location) && IsEmpty(uninstall) && IsEmpty(quiet)) {
    AddFinding(context, list, kFindingInvalidKey, kHkeyLocalMachine,
               uninstallPath, name, u"",
               {ReasonKind::kUninstallEntryWithoutStrings,
                ReasonDetail::Fixed(
                    u"InstallLocation, UninstallString and "
                    u"QuietUninstallString are all empty or absent")});
    return EntryEnd::kNext;
  }

  const FileView view = FileViewOfKey(uninstallPath);
  if (auto icon =
          ReadTextValue(context, entry.get(), u"DisplayIcon", buffers.text0)) {
    if (CheckIconLocation(context.files, *icon, view) == 0) {
      AddFinding(context, list, kFindingInvalidValue, kHkeyLocalMachine,
                 uninstallPath, name, u"DisplayIcon",
                 {ReasonKind::kFileMissing,
                  DescribeMissingIcon(context.files, *icon, view)});
    }
  }
  for (const char16_t* valueName : {u"InstallLocation", u"InstallSource"}) {
    const auto path =
        ReadTextValue(context, entry.get(), valueName, buffers.text0);
    if (path && CheckFileReference(context.files, *path, 0, view) == 0) {
      AddFinding(context, list, kFindingInvalidValue, kHkeyLocalMachine,
                 uninstallPath, name, valueName,
                 {ReasonKind::kFolderMissing,
                  DescribeMissingFile(context.files, *path, 0, view)});
    }
  }
  CheckArpCacheRecord(context, list, arpCachePath, name, buffers);
  return EntryEnd::kNext;
}

// Reports the ARPCache entries below root arpCachePath that have no
// uninstall entry of the same name under the same root. 0 when the listing
// was read to its end.
int32_t ScanOrphanedArpCache(const ScanContext& context, FindingList* list,
                             RegKey root, std::u16string_view uninstallPath,
                             std::u16string_view arpCachePath) {
  std::vector<std::u16string> names;
  if (ListSubkeys(context, root, arpCachePath, names) != 0) return -1;
  for (const auto& name : names) {
    if (context.StopRequested()) return -1;
    const std::u16string uninstallEntry = std::u16string(uninstallPath) + name;
    if (uninstallEntry.size() >= kTextBufferChars) continue;
    RegistryKey entry;
    // Only an uninstall entry that is not there makes an orphan: one that
    // exists but may not be read cannot be judged.
    if (RegistryKey::Open(context.registry, root, uninstallEntry.c_str(),
                          kKeyRead, entry) == kErrorFileNotFound) {
      AddFinding(context, list, kFindingInvalidKey, root, arpCachePath, name,
                 u"",
                 {ReasonKind::kCacheEntryWithoutUninstallEntry,
                  ReasonDetail({RootDisplayName(root), u"\\", uninstallEntry,
                                u" was not found"})});
    }
  }
  return 0;
}

}  // namespace

int32_t ScanUninstallEntries(const ScanContext& context, FindingList* list,
                             std::u16string_view uninstallPath,
                             std::u16string_view arpCachePath) {
  std::vector<std::u16string> names;
  if (ListSubkeys(context, kHkeyLocalMachine, uninstallPath, names) != 0) {
    return -1;
  }
  RegistryKey uninstallKey;
  if (RegistryKey::Open(context.registry, kHkeyLocalMachine,
                        std::u16string(uninstallPath).c_str(), kKeyRead,
                        uninstallKey) != kErrorSuccess) {
    return -1;
  }
  UninstallBuffers buffers;
  for (const auto& name : names) {
    if (context.StopRequested()) return -1;
    if (CheckUninstallEntry(context, list, uninstallKey, uninstallPath,
                            arpCachePath, name, buffers) == EntryEnd::kAbort) {
      return -1;
    }
  }
  if (ScanOrphanedArpCache(context, list, kHkeyLocalMachine, uninstallPath,
                           arpCachePath) != 0) {
    return -1;
  }
  return ScanOrphanedArpCache(context, list, kHkeyCurrentUser, uninstallPath,
                              arpCachePath);
}

}  // namespace tavik
