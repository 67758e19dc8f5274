// CMovingGate as the Windows program drives it; the program owns the one of its run.
#pragma once

#include <windows.h>

#include <atomic>

#include "update/moving_gate.h"

namespace zr {

class CWin32MovingGate : private CMovingGate {
 public:
  // Worker thread. The calling thread's own windows are its modal boxes, closed by Finish.
  bool EnterOnThisThread();
  using CMovingGate::Leave;

  // UI thread, once the message loop has ended or the session ends: closes the gate, then the
  // boxes of the thread in the section (CloseBoxesOfThread) until the section has ended.
  void Finish();

  using CMovingGate::IsClosed;  // Finish has begun: boxes are no longer shown
  using CMovingGate::IsRunning;

 private:
  std::atomic<DWORD> m_thread{0};
};

// Closes the windows of `threadId` (the worker's boxes) as their close button would: each
// answers 8. Messages sent to this thread are dispatched meanwhile, so that a box closing on
// the worker can re-enable its owner here.
void CloseBoxesOfThread(DWORD threadId);

}  // namespace zr
