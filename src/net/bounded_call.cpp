#include "net/bounded_call.h"

#include <condition_variable>
#include <exception>
#include <mutex>

#include "util/detached_thread.h"

namespace zr {

namespace {

// What the waiting thread and the job's thread share; each holds a reference, so the block
// outlives whichever of the two goes first.
struct SharedRun {
  std::shared_ptr<IBoundedJob> job;
  std::mutex mutex;
  std::condition_variable finished;
  bool done = false;
};

void RunJob(const std::shared_ptr<SharedRun>& run) {
  try {
    run->job->Run();
  } catch (...) {
    // A job that throws has ended all the same.
  }
  std::lock_guard<std::mutex> lock(run->mutex);
  run->done = true;
  run->finished.notify_all();
}

}  // namespace

BoundedRunResult RunWithDeadline(const std::shared_ptr<IBoundedJob>& job, std::chrono::milliseconds deadline,
                                 std::chrono::milliseconds grace) {
  std::shared_ptr<SharedRun> run;
  try {
    run = std::make_shared<SharedRun>();
    run->job = job;
  } catch (const std::exception&) {
    return BoundedRunResult::kAbandoned;  // no memory: the call never ran
  }
  if (!StartDetachedThread(RunJob, run)) return BoundedRunResult::kAbandoned;  // the call never ran

  std::unique_lock<std::mutex> lock(run->mutex);
  if (run->finished.wait_for(lock, deadline, [&] { return run->done; })) {
    return BoundedRunResult::kFinished;
  }
  // Cancel() may take a lock of the job's that Run() holds while it reports being done:
  // it is called without ours.
  lock.unlock();
  job->Cancel();
  lock.lock();
  if (run->finished.wait_for(lock, grace, [&] { return run->done; })) {
    return BoundedRunResult::kFinishedAfterCancel;
  }
  return BoundedRunResult::kAbandoned;
}

}  // namespace zr
