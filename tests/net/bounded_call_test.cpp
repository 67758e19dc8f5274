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
      : m_behaviour(behaviour), m_gate(std::move(gate)) {}
  ~ScriptedJob() override {
    std::lock_guard<std::mutex> lock(m_gate->mutex);
    m_gate->destroyed = true;
    m_gate->changed.notify_all();
  }
  void Run() override {
    if (m_behaviour == Behaviour::kThrow) throw std::runtime_error("failed");
    std::unique_lock<std::mutex> lock(m_gate->mutex);
    if (m_behaviour == Behaviour::kWaitForCancel) {
      m_gate->changed.wait(lock, [&] { return m_gate->cancels > 0; });
    } else if (m_behaviour == Behaviour::kIgnoreCancel) {
      m_gate->changed.wait(lock, [&] { return m_gate->released; });
    }
    m_ranToEnd = true;  // the job's own state, touched after the caller has returned
    m_gate->runReturned = m_ranToEnd;
    m_gate->changed.notify_all();
  }
  void Cancel() override {
    std::lock_guard<std::mutex> lock(m_gate->mutex);
    ++m_gate->cancels;
    m_gate->changed.notify_all();
  }

 private:
  Behaviour m_behaviour;
  std::shared_ptr<Gate> m_gate;
  bool m_ranToEnd = false;
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
