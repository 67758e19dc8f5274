// A thread that nobody joins: it runs a job and ends on its own.
//
// Windows builds start it with _beginthreadex. std::thread's detached threads (winpthreads in
// this toolchain) are not used there: under load, about one in a thousand started while an
// earlier detached thread was ending never ran, and its caller waited for nothing.
#pragma once

#include <memory>
#include <new>
#include <utility>

namespace zr {

// What a detached thread runs; the thread destroys it once Run() returns.
class IDetachedRun {
 public:
  virtual ~IDetachedRun() = default;
  virtual void Run() = 0;
};

// False when no thread could be started; run is then destroyed without being run.
bool StartDetachedThread(std::unique_ptr<IDetachedRun> run);

// Runs entry(shared) on a thread nobody joins, which holds a reference of its own to the
// shared block until entry returns: the block outlives whichever side goes first. False when
// no thread could be started (or no memory had for its reference); entry is then never called.
template <typename T>
bool StartDetachedThread(void (*entry)(const std::shared_ptr<T>&), std::shared_ptr<T> shared) {
  struct Start : IDetachedRun {
    Start(void (*entry)(const std::shared_ptr<T>&), std::shared_ptr<T> shared)
        : m_entry(entry), m_shared(std::move(shared)) {}
    void Run() override { m_entry(m_shared); }
    void (*const m_entry)(const std::shared_ptr<T>&);
    const std::shared_ptr<T> m_shared;
  };
  std::unique_ptr<IDetachedRun> start(new (std::nothrow) Start(entry, std::move(shared)));
  return start != nullptr && StartDetachedThread(std::move(start));
}

}  // namespace zr
