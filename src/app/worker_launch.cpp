#include "app/worker_launch.h"

#include <windows.h>

#include <functional>
#include <memory>

#include "engine/scan_run.h"

namespace tavik {

namespace {

struct WorkerJob {
  std::function<void()> body;
  std::atomic<int32_t>* running;
};

DWORD WINAPI WorkerProc(LPVOID parameter) {
  std::unique_ptr<WorkerJob> job(static_cast<WorkerJob*>(parameter));
  job->body();
  job->running->fetch_sub(1);
  return 0;
}

// Runs `body` on a new thread with the default stack; the handle is closed
// at once, since nothing waits for a worker.
bool StartWorker(std::atomic<int32_t>& running, std::function<void()> body) {
  auto job = std::make_unique<WorkerJob>(WorkerJob{std::move(body), &running});
  running.fetch_add(1);
  const HANDLE thread =
      ::CreateThread(nullptr, 0, WorkerProc, job.get(), 0, nullptr);
  if (thread == nullptr) {
    running.fetch_sub(1);
    return false;
  }
  job.release();  // WorkerProc owns it now
  ::CloseHandle(thread);
  return true;
}

}  // namespace

bool StartScanWorker(const WorkerLaunch& launch, const ScanOptions& options,
                     const ScanCategoryTable& categories) {
  const ScanEnvironment environment{
      launch.registry,       launch.files,          options,
      categories,            launch.stopRequested,  launch.automationMode,
      launch.results,        launch.host};
  return StartWorker(launch.runningWorkers,
                     [environment] { ScanThreadMain(environment); });
}

// TO BIND AT MERGE: the fix worker (FixThreadMain of the repair layer) is
// not part of this build yet. Bind it here as the scan worker is bound
// above, through StartWorker so that the running count stays right. Until
// then the Fix button and the automation's fix request start nothing and
// show nothing.
bool StartFixWorker(const WorkerLaunch& launch) {
  (void)launch;
  return false;
}

// TO BIND AT MERGE: the restore worker (RestoreThreadMain of the repair
// layer), as StartFixWorker above. Until then Restore Registry does nothing.
bool StartRestoreWorker(const WorkerLaunch& launch) {
  (void)launch;
  return false;
}

}  // namespace tavik
