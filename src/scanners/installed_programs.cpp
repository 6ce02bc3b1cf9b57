#include "scanners/installed_programs.h"

#include <algorithm>
#include <string>
#include <vector>

#include "base/text.h"
#include "engine/file_reference.h"
#include "engine/registry_key.h"
#include "scanners/registry_value_reads.h"

namespace tavik {

namespace {
// Installer folder records are value names read into a buffer of this many
// characters; a longer name ends the scan of the key.
constexpr uint32_t kFolderNameChars = 32767;
}  // namespace

int32_t ScanInstalledPrograms(const ScanContext& context, FindingList* list) {
  ScanUninstallEntries(context, list, kUninstallPath, kArpCachePath);
  ScanUninstallEntries(context, list, kWowUninstallPath, kWowArpCachePath);
  ScanInstallerFolders(context, list);
  ScanAppPaths(context, list, kAppPathsPath);
  ScanAppPaths(context, list, kWowAppPathsPath);
  ScanEmptySoftwareKeys(context, list, kHkeyLocalMachine, u"SOFTWARE");
  ScanEmptySoftwareKeys(context, list, kHkeyCurrentUser, u"SOFTWARE");
  ScanEmptySoftwareKeys(context, list, kHkeyLocalMachine,
                        u"SOFTWARE\\Wow6432Node");
  ScanEmptySoftwareKeys(context, list, kHkeyCurrentUser,
                        u"SOFTWARE\\Wow6432Node");
  return context.StopRequested() ? -1 : 0;
}

int32_t ScanInstallerFolders(const ScanContext& context, FindingList* list) {
  RegistryKey key;
  if (RegistryKey::Open(context.registry, kHkeyLocalMachine,
                        std::u16string(kInstallerFoldersPath).c_str(),
                        kKeyRead, key) != kErrorSuccess) {
    return -1;
  }
  std::vector<char16_t> name(kFolderNameChars);
  for (uint32_t index = 0;; ++index) {
    if (context.StopRequested()) return -1;
    uint32_t length = kFolderNameChars;
    const int32_t result = context.registry.RegEnumValueW(
        key.get(), index, name.data(), &length, nullptr, nullptr, nullptr);
    if (result == kErrorNoMoreItems) return 0;
    if (result != kErrorSuccess) return -1;
    const std::u16string folder(
        TextUpToZero(name.data(), std::min(length, kFolderNameChars - 1)));
    if (CheckFileReference(context.files, folder, 0) == 0) {
      AddFinding(context, list, kFindingInvalidValue, kHkeyLocalMachine,
                 kInstallerFoldersPath, u"", folder,
                 {ReasonKind::kFolderMissing,
                  DescribeMissingFile(context.files, folder, 0)});
    }
  }
}

int32_t ScanAppPaths(const ScanContext& context, FindingList* list,
                     std::u16string_view keyPath) {
  std::vector<std::u16string> names;
  if (ListSubkeys(context, kHkeyLocalMachine, keyPath, names) != 0) return -1;
  RegistryKey appPaths;
  if (RegistryKey::Open(context.registry, kHkeyLocalMachine,
                        std::u16string(keyPath).c_str(), kKeyRead,
                        appPaths) != kErrorSuccess) {
    return -1;
  }
  std::vector<char16_t> buffer(kTextBufferChars);
  for (const auto& name : names) {
    if (context.StopRequested()) return -1;
    RegistryKey entry;
    if (RegistryKey::Open(context.registry, appPaths.get(), name.c_str(),
                          kKeyRead, entry) != kErrorSuccess) {
      continue;
    }
    // Programs registered for terminal-server install mode only are left
    // alone.
    if (ReadNumberValue(context, entry.get(), u"BlockOnTSNonInstallMode") == 1) {
      continue;
    }
    const auto program = ReadTextValue(context, entry.get(), u"", buffer);
    const FileView view = FileViewOfKey(keyPath);
    if (!program || program->empty()) {
      AddFinding(context, list, kFindingInvalidKey, kHkeyLocalMachine, keyPath,
                 name, u"",
                 {ReasonKind::kAppPathWithoutProgram,
                  ReasonDetail::Fixed(u"The default value, which names the "
                                      u"program, is empty or absent")});
    } else if (CheckFileReference(context.files, *program, 0, view) == 0) {
      AddFinding(context, list, kFindingInvalidKey, kHkeyLocalMachine, keyPath,
                 name, u"",
                 {ReasonKind::kFileMissing,
                  DescribeMissingFile(context.files, *program, 0, view)});
    }
  }
  return 0;
}

int32_t ScanEmptySoftwareKeys(const ScanContext& context, FindingList* list,
                              RegKey root, std::u16string_view keyPath) {
  std::vector<std::u16string> names;
  if (ListSubkeys(context, root, keyPath, names) != 0) return -1;
  RegistryKey software;
  if (RegistryKey::Open(context.registry, root,
                        std::u16string(keyPath).c_str(), kKeyRead,
                        software) != kErrorSuccess) {
    return -1;
  }
  for (const auto& name : names) {
    if (context.StopRequested()) return -1;
    RegistryKey vendor;
    if (RegistryKey::Open(context.registry, software.get(), name.c_str(),
                          kKeyRead, vendor) != kErrorSuccess) {
      continue;
    }
    uint32_t subKeys = 0;
    uint32_t values = 0;
    if (context.registry.RegQueryInfoKeyW(vendor.get(), &subKeys, &values) !=
        kErrorSuccess) {
      continue;
    }
    if (values != 0 || subKeys != 0) continue;
    // Only a default value that is certainly absent makes the key empty.
    if (context.registry.RegQueryValueExW(vendor.get(), u"", nullptr, nullptr,
                                          nullptr) != kErrorFileNotFound) {
      continue;
    }
    AddFinding(context, list, kFindingInvalidKey, root, keyPath, name, u"",
               {ReasonKind::kKeyEmpty,
                ReasonDetail::Fixed(u"The key holds no values, no default "
                                    u"value and no subkeys")});
  }
  return 0;
}

}  // namespace tavik
