// The "Scan Objects and Controls" category: browser helper objects, toolbars
// and browser extension entries, and the shell's file extension records.
#pragma once

#include <cstdint>
#include <string_view>

#include "engine/finding.h"

namespace tavik {

// The category's ten calls: the 64-bit keys, then their 32-bit twins.
int32_t ScanShellExtensions(const ScanContext& context, FindingList* list);

// Subkeys of HKEY_LOCAL_MACHINE\keyPath, each named by a class identifier;
// an unregistered one is reported as an invalid key. 0 or -1.
int32_t ScanBrowserHelperObjects(const ScanContext& context, FindingList* list,
                                 std::u16string_view keyPath);

// Value names of HKEY_LOCAL_MACHINE\keyPath, each a class identifier; an
// unregistered one is reported as an invalid value. 0 at the end of the
// values, -1 otherwise.
int32_t ScanToolbars(const ScanContext& context, FindingList* list,
                     std::u16string_view keyPath);

// Subkeys of HKEY_LOCAL_MACHINE\keyPath, each judged by CheckExtensionEntry.
int32_t ScanBrowserExtensions(const ScanContext& context, FindingList* list,
                              std::u16string_view keyPath);

// Judges "HotIcon", "Icon", "ClsidExtension", "Exec" and "Script" of one
// open extension key whose path below HKEY_LOCAL_MACHINE is `entryPath`;
// each invalid one is reported as an invalid value. Always 1.
int32_t CheckExtensionEntry(const ScanContext& context, RegKey entryKey,
                            std::u16string_view entryPath, FindingList* list);

// Subkeys of root\keyPath whose names begin with "."; one that no program
// uses is reported as an invalid key. 0 or -1.
int32_t ScanFileExts(const ScanContext& context, FindingList* list,
                     RegKey root, std::u16string_view keyPath);

// 1 when the open extension key has a "UserChoice", offers a program
// identifier under "OpenWithProgids" or lists a program under
// "OpenWithList"; 0 otherwise.
int32_t FileExtInUse(const ScanContext& context, RegKey extensionKey);

}  // namespace tavik
