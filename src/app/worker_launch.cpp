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
  WorkerJob(WorkerGate& gate, std::function<void()> work)
      : ticket(gate), body(std::move(work)) {}
  WorkerGate::Ticket ticket;
  std::function<void()> body;
};

// The ticket of the worker running on this thread, if any.
thread_local WorkerGate::Ticket* t_ticket = nullptr;

DWORD WINAPI WorkerProc(LPVOID parameter) {
  std::unique_ptr<WorkerJob> job(static_cast<WorkerJob*>(parameter));
  t_ticket = &job->ticket;
  job->body();
  t_ticket = nullptr;
  return 0;  // the job, and with it the worker's count, ends here
}

// Runs `body` on a new thread with the default stack; the handle is closed
// at once, since nothing waits for a worker. The worker is counted before
// its thread exists.
bool StartWorker(WorkerGate& workers, std::function<void()> body) {
  auto job = std::make_unique<WorkerJob>(workers, std::move(body));
  const HANDLE thread =
      ::CreateThread(nullptr, 0, WorkerProc, job.get(), 0, nullptr);
  if (thread == nullptr) return false;
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
  return StartWorker(launch.workers,
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
  return StartWorker(launch.workers, [environment] {
    UndoFile undo(environment.registry, environment.files, environment.system);
    RepairEnvironment withUndo = environment;
    withUndo.undo = &undo;
    FixThreadMain(withUndo);
  });
}

bool StartRestoreWorker(const WorkerLaunch& launch) {
  const RepairEnvironment environment = RepairEnvironmentOf(launch);
  return StartWorker(launch.workers,
                     [environment] { RestoreThreadMain(environment); });
}

void ReleaseWorkerHold() {
  if (t_ticket != nullptr) t_ticket->ReleaseHold();
}

}  // namespace tavik
