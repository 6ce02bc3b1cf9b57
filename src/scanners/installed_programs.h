// The "Scan Programs" category: traces of programs that are gone. Uninstall
// entries and their cached add/remove-programs data (ARPCache), installer
// folder records, application path registrations and empty vendor keys
// directly below the SOFTWARE branches.
#pragma once

#include <cstdint>
#include <string_view>

#include "engine/finding.h"

namespace tavik {

inline constexpr std::u16string_view kUninstallPath =
    u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
inline constexpr std::u16string_view kArpCachePath =
    u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Management\\ARPCache\\";
inline constexpr std::u16string_view kWowUninstallPath =
    u"SOFTWARE\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
inline constexpr std::u16string_view kWowArpCachePath =
    u"SOFTWARE\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\App "
    u"Management\\ARPCache\\";
inline constexpr std::u16string_view kInstallerFoldersPath =
    u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Installer\\Folders";
inline constexpr std::u16string_view kAppPathsPath =
    u"Software\\Microsoft\\Windows\\CurrentVersion\\App Paths";
inline constexpr std::u16string_view kWowAppPathsPath =
    u"Software\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\App Paths";

// Runs the nine scans of the category in their fixed order, each whatever
// the one before it returned. -1 when a stop was requested, 0 otherwise.
int32_t ScanInstalledPrograms(const ScanContext& context, FindingList* list);

// Uninstall entries below HKLM uninstallPath, then the ARPCache entries
// without an uninstall entry under HKLM and under HKCU. Both paths end in a
// backslash. 0 when all three passes ran to their end, -1 otherwise.
int32_t ScanUninstallEntries(const ScanContext& context, FindingList* list,
                             std::u16string_view uninstallPath,
                             std::u16string_view arpCachePath);

// Installer folder records (value names of HKLM "...\Installer\Folders")
// whose folder is gone.
int32_t ScanInstallerFolders(const ScanContext& context, FindingList* list);

// Application path keys below HKLM keyPath whose default value is empty or
// names a missing program.
int32_t ScanAppPaths(const ScanContext& context, FindingList* list,
                     std::u16string_view keyPath);

// Direct subkeys of root keyPath without values, default value or subkeys.
int32_t ScanEmptySoftwareKeys(const ScanContext& context, FindingList* list,
                              RegKey root, std::u16string_view keyPath);

}  // namespace tavik
