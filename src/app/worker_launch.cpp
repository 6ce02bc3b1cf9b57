#include "app/worker_launch.h"

#include <windows.h>

#include <functional>
#include <memory>

#include "engine/scan_run.h"
#include "repair/fix_run.h"
#include "repair/hive_backup.h"
#include "repair/repair_environment.h"
#include "repair/undo_file.h"

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

RepairEnvironment RepairEnvironmentOf(const WorkerLaunch& launch) {
  return RepairEnvironment{launch.registry,       launch.files,
                           launch.system,         launch.stopRequested,
                           launch.automationMode, launch.results,
                           launch.host};
}

// Every fix run writes what it deletes to an undo file of its own, named by
// the run's start time.
bool StartFixWorker(const WorkerLaunch& launch) {
  const RepairEnvironment environment = RepairEnvironmentOf(launch);
  return StartWorker(launch.runningWorkers, [environment] {
    UndoFile undo(environment.registry, environment.files, environment.system);
    RepairEnvironment withUndo = environment;
    withUndo.undo = &undo;
    FixThreadMain(withUndo);
  });
}

bool StartRestoreWorker(const WorkerLaunch& launch) {
  const RepairEnvironment environment = RepairEnvironmentOf(launch);
  return StartWorker(launch.runningWorkers,
                     [environment] { RestoreThreadMain(environment); });
}

}  // namespace tavik
