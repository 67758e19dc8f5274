// Runs a call that may block for good (a network exchange stuck in name resolution, proxy
// discovery or a silent server) on a thread of its own, and waits for it no longer than a
// deadline. Used by the report POST, so that the update worker ends in time whatever the
// report endpoint does.
//
// Ownership: the job is shared between the waiting thread and the job's thread. A job that
// does not finish in time is abandoned, not stopped: its thread keeps its own reference and
// the job lives until Run() returns (or the process ends), so nothing the abandoned thread
// still uses is ever destroyed under it.
#pragma once

#include <chrono>
#include <memory>

namespace zr {

class IBoundedJob {
 public:
  virtual ~IBoundedJob() = default;
  // Runs on the job's own thread. Must not throw; an escaping exception only ends the run.
  virtual void Run() = 0;
  // Called on the waiting thread once the deadline has passed and Run() is still going: asks
  // the run to give up (e.g. closes the handles it blocks on). Must not wait for the run.
  virtual void Cancel() = 0;
};

enum class BoundedRunResult {
  kFinished,             // Run() returned before the deadline
  kFinishedAfterCancel,  // Run() returned within the grace time after Cancel()
  kAbandoned,            // Run() still runs (or its thread could not be started)
};

// Starts job->Run() on a new thread and waits up to `deadline` for it; then calls Cancel() and
// waits up to `grace` more. Returns at the latest after deadline + grace (plus what Cancel()
// takes); whatever it returns, the job's thread may still hold the job afterwards.
BoundedRunResult RunWithDeadline(const std::shared_ptr<IBoundedJob>& job, std::chrono::milliseconds deadline,
                                 std::chrono::milliseconds grace);

}  // namespace zr
