#include "update/update_events.h"

namespace zr {

void CEventQueue::Report(UpdateEvent event) {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_events.push_back(std::move(event));
  if (!m_wakePending && m_wake) m_wakePending = m_wake();
}

std::optional<UpdateEvent> CEventQueue::Take() {
  std::lock_guard<std::mutex> lock(m_mutex);
  if (m_events.empty()) {
    m_wakePending = false;
    return std::nullopt;
  }
  UpdateEvent event = std::move(m_events.front());
  m_events.pop_front();
  return event;
}

}  // namespace zr
