// Starting the scan, fix and restore workers: each on a new thread whose
// handle is not kept. Each is counted in the window's WorkerGate from before
// its thread starts until it ends.
#pragma once

#include <cstdint>

#include "app/worker_gate.h"
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
  WorkerGate& workers;
};

// Each returns true when the thread was started. The caller clears the stop
// flag first where the run is stoppable (scan and fix).
bool StartScanWorker(const WorkerLaunch& launch, const ScanOptions& options,
                     const ScanCategoryTable& categories);
bool StartFixWorker(const WorkerLaunch& launch);
bool StartRestoreWorker(const WorkerLaunch& launch);

// Called on a worker's thread once it has switched the window idle: it no
// longer touches the results list, so the window need not hold out for the
// rest of its run (a summary box the user has yet to close). Does nothing on
// any other thread.
void ReleaseWorkerHold();

}  // namespace tavik
