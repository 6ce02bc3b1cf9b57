// The ten category switches that choose what a scan covers.
#pragma once

#include <array>
#include <cstdint>

namespace tavik {

// Record order: Programs, SharedDlls, Startup, Drivers, Fonts, HelpFiles,
// Sounds, RecentDocuments, ObjectsAndControls, ClassesAndIds. A switch runs
// its category only when it equals 1.
struct ScanOptions {
  int32_t Programs = 1;
  int32_t SharedDlls = 1;
  int32_t Startup = 1;
  int32_t Drivers = 1;
  int32_t Fonts = 1;
  int32_t HelpFiles = 1;
  int32_t Sounds = 1;
  int32_t RecentDocuments = 1;
  int32_t ObjectsAndControls = 1;
  int32_t ClassesAndIds = 1;
};

inline constexpr int kScanCategoryCount = 10;

// The switch at record position `index` (0 to 9).
int32_t& ScanSwitch(ScanOptions& options, int index);
int32_t ScanSwitch(const ScanOptions& options, int index);

}  // namespace tavik
