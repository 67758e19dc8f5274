// A thread that nobody joins: it runs entry(argument) and ends on its own.
//
// Windows builds start it with _beginthreadex. std::thread's detached threads (winpthreads in
// this toolchain) are not used there: under load, about one in a thousand started while an
// earlier detached thread was ending never ran, and its caller waited for nothing.
#pragma once

#include <memory>
#include <new>
#include <utility>

namespace zr {

using DetachedThreadEntry = void (*)(void* argument);

// False when no thread could be started; entry is then never called, and the argument stays
// the caller's to free.
bool StartDetachedThread(DetachedThreadEntry entry, void* argument);

// Runs entry(shared) on a thread nobody joins, which holds a reference of its own to the
// shared block until entry returns: the block outlives whichever side goes first. False when
// no thread could be started (or no memory had for its reference); entry is then never called.
template <typename T>
bool StartDetachedThread(void (*entry)(const std::shared_ptr<T>&), std::shared_ptr<T> shared) {
  struct Start {
    void (*entry)(const std::shared_ptr<T>&);
    std::shared_ptr<T> shared;
  };
  auto* start = new (std::nothrow) Start{entry, std::move(shared)};
  if (start == nullptr) return false;
  const DetachedThreadEntry run = [](void* argument) {
    const std::unique_ptr<Start> owned(static_cast<Start*>(argument));
    owned->entry(owned->shared);
  };
  if (StartDetachedThread(run, start)) return true;
  delete start;
  return false;
}

}  // namespace zr
