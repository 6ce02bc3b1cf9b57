// Starting the scan, fix and restore workers: each on a new thread whose
// handle is not kept. `runningWorkers` counts the workers alive, so that the
// automation link can hold back a request until the previous run has ended.
#pragma once

#include <atomic>
#include <cstdint>

#include "engine/scan_category.h"
#include "engine/scan_context.h"
#include "engine/scan_options.h"
#include "engine/ui_ports.h"
#include "platform/system_info.h"

namespace tavik {

// What every worker is started with; all of it outlives the workers.
struct WorkerLaunch {
  Registry& registry;
  FileSystem& files;
  SystemInfo& system;
  SharedFlag& stopRequested;
  SharedFlag& automationMode;
  ResultsView& results;
  WorkerHost& host;
  std::atomic<int32_t>& runningWorkers;
};

// Each returns true when the thread was started. The caller clears the stop
// flag first where the run is stoppable (scan and fix).
bool StartScanWorker(const WorkerLaunch& launch, const ScanOptions& options,
                     const ScanCategoryTable& categories);
bool StartFixWorker(const WorkerLaunch& launch);
bool StartRestoreWorker(const WorkerLaunch& launch);

}  // namespace tavik
