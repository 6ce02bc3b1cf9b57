#include "engine/scan_options.h"

#include <stdexcept>

namespace tavik {

namespace {
template <typename Options>
auto& SwitchAt(Options& options, int index) {
  switch (index) {
    case 0: return options.Programs;
    case 1: return options.SharedDlls;
    case 2: return options.Startup;
    case 3: return options.Drivers;
    case 4: return options.Fonts;
    case 5: return options.HelpFiles;
    case 6: return options.Sounds;
    case 7: return options.RecentDocuments;
    case 8: return options.ObjectsAndControls;
    case 9: return options.ClassesAndIds;
    default: throw std::out_of_range("scan switch index");
  }
}
}  // namespace

ScanSwitchValue& ScanSwitch(ScanOptions& options, int index) {
  return SwitchAt(options, index);
}

int32_t ScanSwitch(const ScanOptions& options, int index) {
  return SwitchAt(options, index).load(std::memory_order_relaxed);
}

ScanOptions& ScanOptions::operator=(const ScanOptions& other) {
  for (int index = 0; index < kScanCategoryCount; ++index) {
    ScanSwitch(*this, index).store(ScanSwitch(other, index),
                                   std::memory_order_relaxed);
  }
  return *this;
}

}  // namespace tavik
