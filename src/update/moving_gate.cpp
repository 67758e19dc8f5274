#include "update/moving_gate.h"

#include <chrono>

namespace zr {

bool CMovingGate::Enter() {
  std::lock_guard<std::mutex> lock(m_mutex);
  if (m_closed) return false;
  ++m_inside;
  return true;
}

void CMovingGate::Leave() {
  std::lock_guard<std::mutex> lock(m_mutex);
  if (m_inside > 0 && --m_inside == 0) m_idle.notify_all();
}

void CMovingGate::Close() {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_closed = true;
}

bool CMovingGate::IsClosed() {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_closed;
}

bool CMovingGate::IsRunning() {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_inside > 0;
}

bool CMovingGate::WaitIdle(uint32_t milliseconds) {
  std::unique_lock<std::mutex> lock(m_mutex);
  return m_idle.wait_for(lock, std::chrono::milliseconds(milliseconds), [this] { return m_inside == 0; });
}

}  // namespace zr
