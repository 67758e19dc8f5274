// Keeps the process alive while product files are being moved.
//
// Replacing and rolling back move a product file aside before its replacement moves in; a
// process that ended between the two moves would leave the file missing for good. The worker
// holds the gate from the first move of a run to the end of its rollback (the failure box in
// between included); the UI thread, once its message loop has ended or the session ends,
// closes the gate and waits until no section is running (moving_gate_win.h also closes the
// worker's boxes meanwhile). After that no section may start, so the process ends with every
// file either old or new. Closing at any other moment (the question box is open, the product
// is being asked to quit) still ends the process at once.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace zr {

class CMovingGate {
 public:
  // False once the process is shutting down: the section must not start.
  bool Enter() {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_closed) return false;
    ++m_inside;
    return true;
  }
  void Leave() {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_inside > 0 && --m_inside == 0) m_idle.notify_all();
  }
  // The process is ending: no section may start from now on; a running one goes on to its end.
  void Close() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_closed = true;
  }
  bool IsClosed() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_closed;
  }
  bool IsRunning() {  // a section runs
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_inside > 0;
  }
  // Waits up to `milliseconds` for no section to run; true when none runs.
  bool WaitIdle(uint32_t milliseconds) {
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_idle.wait_for(lock, std::chrono::milliseconds(milliseconds), [this] { return m_inside == 0; });
  }

 private:
  std::mutex m_mutex;
  std::condition_variable m_idle;
  int m_inside = 0;
  bool m_closed = false;
};

}  // namespace zr
