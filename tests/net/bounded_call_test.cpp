// The deadline on a call that may block: a job that finishes, one that gives up when
// cancelled, one that ignores the cancel (abandoned, and still alive until its Run() returns:
// the sanitizers would catch a job freed under its thread), and one that throws.
#include "net/bounded_call.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <stdexcept>

namespace zr {
namespace {

using std::chrono::milliseconds;

enum class Behaviour { kReturn, kWaitForCancel, kIgnoreCancel, kThrow };

// What the test keeps of a job after it has dropped its own reference to it.
struct Gate {
  std::mutex mutex;
  std::condition_variable changed;
  bool released = false;   // the test lets an ignoring job go
  int cancels = 0;
  bool runReturned = false;
  bool destroyed = false;

  template <typename Predicate>
  bool WaitFor(Predicate predicate) {
    std::unique_lock<std::mutex> lock(mutex);
    return changed.wait_for(lock, std::chrono::seconds(20), predicate);
  }
};

class ScriptedJob : public IBoundedJob {
 public:
  ScriptedJob(Behaviour behaviour, std::shared_ptr<Gate> gate)
      : behaviour_(behaviour), gate_(std::move(gate)) {}
  ~ScriptedJob() override {
    std::lock_guard<std::mutex> lock(gate_->mutex);
    gate_->destroyed = true;
    gate_->changed.notify_all();
  }
  void Run() override {
    if (behaviour_ == Behaviour::kThrow) throw std::runtime_error("failed");
    std::unique_lock<std::mutex> lock(gate_->mutex);
    if (behaviour_ == Behaviour::kWaitForCancel) {
      gate_->changed.wait(lock, [&] { return gate_->cancels > 0; });
    } else if (behaviour_ == Behaviour::kIgnoreCancel) {
      gate_->changed.wait(lock, [&] { return gate_->released; });
    }
    ranToEnd_ = true;  // the job's own state, touched after the caller has returned
    gate_->runReturned = ranToEnd_;
    gate_->changed.notify_all();
  }
  void Cancel() override {
    std::lock_guard<std::mutex> lock(gate_->mutex);
    ++gate_->cancels;
    gate_->changed.notify_all();
  }

 private:
  Behaviour behaviour_;
  std::shared_ptr<Gate> gate_;
  bool ranToEnd_ = false;
};

TEST(RunWithDeadline, WaitsCancelsOrAbandonsAndTheJobOutlivesTheCaller) {
  struct Case {
    const char* name;
    Behaviour behaviour;
    milliseconds deadline, grace;
    BoundedRunResult expected;
    int cancels;
  };
  // Deadlines that the job must meet are long (a loaded machine), those it must miss short.
  const Case cases[] = {
      {"returns", Behaviour::kReturn, milliseconds(20000), milliseconds(0),
       BoundedRunResult::kFinished, 0},
      {"throws", Behaviour::kThrow, milliseconds(20000), milliseconds(0),
       BoundedRunResult::kFinished, 0},
      {"gives up when cancelled", Behaviour::kWaitForCancel, milliseconds(10),
       milliseconds(20000), BoundedRunResult::kFinishedAfterCancel, 1},
      {"ignores the cancel", Behaviour::kIgnoreCancel, milliseconds(10), milliseconds(10),
       BoundedRunResult::kAbandoned, 1},
  };
  for (const Case& c : cases) {
    auto gate = std::make_shared<Gate>();
    auto job = std::make_shared<ScriptedJob>(c.behaviour, gate);
    EXPECT_EQ(c.expected, RunWithDeadline(job, c.deadline, c.grace)) << c.name;
    job.reset();  // only the job's thread may hold it now
    {
      std::lock_guard<std::mutex> lock(gate->mutex);
      EXPECT_EQ(c.cancels, gate->cancels) << c.name;
      // An abandoned job is still blocked: released only now, after the caller returned.
      const bool returnedBefore =
          c.behaviour == Behaviour::kReturn || c.behaviour == Behaviour::kWaitForCancel;
      EXPECT_EQ(returnedBefore, gate->runReturned) << c.name;
      gate->released = true;
      gate->changed.notify_all();
    }
    ASSERT_TRUE(gate->WaitFor([&] { return gate->destroyed; })) << c.name;
    EXPECT_EQ(c.behaviour != Behaviour::kThrow, gate->runReturned) << c.name;
  }
}

}  // namespace
}  // namespace zr
