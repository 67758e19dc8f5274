#include "update/file_stage.h"

namespace zr {

bool CFileStageGate::Enter() {
  std::lock_guard<std::mutex> lock(m_mutex);
  if (m_closed) return false;
  ++m_inside;
  return true;
}

void CFileStageGate::Leave() {
  std::lock_guard<std::mutex> lock(m_mutex);
  if (m_inside > 0 && --m_inside == 0) m_idle.notify_all();
}

void CFileStageGate::CloseAndWait() {
  std::unique_lock<std::mutex> lock(m_mutex);
  m_closed = true;
  m_idle.wait(lock, [this] { return m_inside == 0; });
}

CFileStageGate& GetFileStageGate() {
  static CFileStageGate gate;  // never destroyed before the worker is gone: it ends the process
  return gate;
}

}  // namespace zr
