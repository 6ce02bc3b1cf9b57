// What a scan works with: the platform layers, the shared stop flag and the
// exclude list of the running scan.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/file_system.h"
#include "platform/registry.h"

namespace tavik {

// Lines of the exclude file, in file order, exactly as read.
using ExcludeList = std::vector<std::u16string>;

// 0 = run, 1 = stop requested. Relaxed atomics: a late read only delays the
// stop, but a plain shared int would be a data race.
using SharedFlag = std::atomic<int32_t>;

struct ScanContext {
  Registry& registry;
  FileSystem& files;
  const SharedFlag& stopRequested;
  // The exclude list that AddFinding consults; null outside a scan.
  const ExcludeList* excludeList = nullptr;

  bool StopRequested() const {
    return stopRequested.load(std::memory_order_relaxed) != 0;
  }
};

}  // namespace tavik
