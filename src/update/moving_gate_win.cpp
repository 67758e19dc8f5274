#include "update/moving_gate_win.h"

#include "update/platform.h"

namespace zr {
namespace {

constexpr DWORD kPollMs = 50;

BOOL CALLBACK CloseBox(HWND window, LPARAM) {
  ::PostMessageW(window, WM_CLOSE, static_cast<WPARAM>(BoxAnswer::kClosed), 0);
  return TRUE;
}

}  // namespace

void CloseBoxesOfThread(DWORD threadId) {
  if (threadId != 0) ::EnumThreadWindows(threadId, &CloseBox, 0);
  MSG msg;
  ::PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
}

bool CWin32MovingGate::EnterOnThisThread() {
  if (!Enter()) return false;
  m_thread.store(::GetCurrentThreadId());
  return true;
}

void CWin32MovingGate::Finish() {
  Close();
  // A box may open just after a look: look again until the section is over.
  while (!WaitIdle(kPollMs)) CloseBoxesOfThread(m_thread.load());
}

}  // namespace zr
