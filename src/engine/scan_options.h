// The ten category switches that choose what a scan covers.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>

namespace tavik {

// One category switch. The Settings dialog may write the record on the
// user-interface thread while a scan worker reads it, so every switch is an
// atomic: the worker reads each one whole when the scan reaches it.
using ScanSwitchValue = std::atomic<int32_t>;

// Record order: Programs, SharedDlls, Startup, Drivers, Fonts, HelpFiles,
// Sounds, RecentDocuments, ObjectsAndControls, ClassesAndIds. A switch runs
// its category only when it equals 1.
struct ScanOptions {
  ScanSwitchValue Programs{1};
  ScanSwitchValue SharedDlls{1};
  ScanSwitchValue Startup{1};
  ScanSwitchValue Drivers{1};
  ScanSwitchValue Fonts{1};
  ScanSwitchValue HelpFiles{1};
  ScanSwitchValue Sounds{1};
  ScanSwitchValue RecentDocuments{1};
  ScanSwitchValue ObjectsAndControls{1};
  ScanSwitchValue ClassesAndIds{1};

  ScanOptions() = default;
  // Copies switch by switch (atomics are not copyable as a whole).
  ScanOptions(const ScanOptions& other) { *this = other; }
  ScanOptions& operator=(const ScanOptions& other);
};

inline constexpr int kScanCategoryCount = 10;

// The switch at record position `index` (0 to 9).
ScanSwitchValue& ScanSwitch(ScanOptions& options, int index);
int32_t ScanSwitch(const ScanOptions& options, int index);

}  // namespace tavik
