// The program's settings key and the loading of the category switches.
#pragma once

#include <array>
#include <string_view>

#include "engine/scan_options.h"
#include "platform/registry.h"

namespace tavik {

inline constexpr std::u16string_view kSettingsKeyPath =
    u"Software\\Tavik Software\\Registry Cleaner";

// The registry value name that stores the switch at record position `index`
// (0 to 9): "1" to "8", then "10" for the ninth and "9" for the tenth.
std::u16string_view ScanSwitchValueName(int index);

// Sets every switch to 1, then turns off each one whose value holds exactly
// "0". A missing key or value, or any other text, leaves the switch on.
void LoadScanOptions(Registry& registry, ScanOptions& options);

// The backup switch, value "CreateBackup": true (box checked) when the key
// or the value is missing or the text is exactly "1".
bool LoadBackupSwitch(Registry& registry);

// Writes "CreateBackup" as "1" or "0": 0 on success, -1 when the key cannot
// be created or the value not written.
int32_t StoreBackupSwitch(Registry& registry, bool checked);

// The settings dialog's ten check boxes, in ScanOptions record order.
using SettingsBoxes = std::array<bool, kScanCategoryCount>;

// What the settings dialog shows: the stored values, each box checked when
// its value is missing or holds exactly "1".
SettingsBoxes LoadSettingsBoxes(Registry& registry);

// The dialog's OK: copies the boxes into the record (1 checked, 0 not), then
// stores every box as "1" or "0" under its value name, "1" to "10" in
// turn. A value whose key cannot be created is skipped.
void StoreSettingsBoxes(Registry& registry, const SettingsBoxes& boxes,
                        ScanOptions& options);

}  // namespace tavik
