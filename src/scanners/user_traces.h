// Per-user traces of files, all under HKEY_CURRENT_USER: the shell's recent
// documents (each matched with its shortcut in the user's Recent folder), the
// shell's MUI caches (value names that are program paths) and the sound file
// of every event of every application sound scheme.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

#include "engine/finding.h"

namespace tavik {

inline constexpr std::u16string_view kRecentDocsPath =
    u"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\RecentDocs";
inline constexpr std::u16string_view kShellNoRoamMuiCachePath =
    u"Software\\Microsoft\\Windows\\ShellNoRoam\\MUICache";
inline constexpr std::u16string_view kShellMuiCachePath =
    u"Software\\Classes\\Local Settings\\Software\\Microsoft\\Windows\\Shell\\MUICache";
inline constexpr std::u16string_view kSoundSchemesPath =
    u"AppEvents\\Schemes\\Apps";

// Judges the values of the RecentDocs key and of each of its direct
// subkeys. A RecentDocs key without subkeys is not judged at all. 0 or -1.
int32_t ScanRecentDocuments(const ScanContext& context, FindingList* list);

// Judges the values of HKEY_CURRENT_USER parentPath\subName; with an empty
// subName the key path (and the path of its findings) ends in "\". 0 at the
// end of the values, -1 otherwise.
int32_t ScanRecentDocsKey(const ScanContext& context, FindingList* list,
                          std::u16string_view parentPath,
                          std::u16string_view subName);

// Loads the shell link `linkPath` and writes its file-system target into
// `target`, empty when the link has none. 0 when the link loaded, -1 when it
// could not be created, queried or loaded. Needs a COM apartment on the
// calling thread.
int32_t ResolveShortcut(FileSystem& files, const char16_t* linkPath,
                        std::span<char16_t> target);

// Judges the value names of HKEY_CURRENT_USER keyPath as program paths. 0 at
// the end of the values, -1 otherwise.
int32_t ScanMuiCacheKey(const ScanContext& context, FindingList* list,
                        std::u16string_view keyPath);

// Walks root\keyPath depth-first and judges the default value of every
// ".Current" and ".Modified" key. 0 or -1.
int32_t ScanSoundEvents(const ScanContext& context, FindingList* list,
                        RegKey root, std::u16string_view keyPath);

}  // namespace tavik
