// The workers the main window has started. A worker counts from just before
// its thread starts, so that no click or request can slip in between the
// start and the worker's own switch to the busy state. It runs until its
// thread ends, and it holds the window until it switches the window idle
// again (from then on it no longer touches the results list) or ends,
// whichever comes first.
#pragma once

#include <atomic>
#include <cstdint>

namespace tavik {

class WorkerGate {
 public:
  // One worker's count: taken on the user-interface thread before the
  // worker's thread starts, given back when that thread ends (or fails to
  // start).
  class Ticket {
   public:
    explicit Ticket(WorkerGate& gate) : gate_(gate) {
      gate_.running_.fetch_add(1);
      gate_.holding_.fetch_add(1);
    }
    ~Ticket() {
      ReleaseHold();
      gate_.running_.fetch_sub(1);
    }
    Ticket(const Ticket&) = delete;
    Ticket& operator=(const Ticket&) = delete;

    // The worker has switched the window idle. Only the first call counts.
    void ReleaseHold() {
      if (!released_.exchange(true)) gate_.holding_.fetch_sub(1);
    }

   private:
    WorkerGate& gate_;
    std::atomic<bool> released_{false};
  };

  // A worker's thread is alive: the automation link holds its scan and fix
  // requests back until none is.
  bool Running() const { return running_.load() != 0; }
  // A worker may still read or change the results list: the window refuses
  // to edit the rows or to start another worker.
  bool Holding() const { return holding_.load() != 0; }

 private:
  std::atomic<int32_t> running_{0};
  std::atomic<int32_t> holding_{0};
};

}  // namespace tavik
