// The program's settings key and the loading of the category switches.
#pragma once

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

}  // namespace tavik
