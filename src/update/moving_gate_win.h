// The moving section as the Windows program drives it: the worker enters and leaves it, the UI
// thread finishes it when the process is about to end. The program owns the one of its run.
#pragma once

#include <windows.h>

#include <atomic>

#include "update/moving_gate.h"

namespace zr {

class CWin32MovingGate {
 public:
  // Worker thread. The calling thread's own windows are its modal boxes, which are closed when
  // the process is asked to end while the section runs.
  bool EnterOnThisThread();
  void Leave() { m_gate.Leave(); }

  // UI thread, once the message loop has ended or the session ends: refuses new sections, closes
  // the boxes of the thread in the section (they answer 8, as a closed box does) and waits for
  // the section to end. Messages sent to this thread meanwhile are dispatched, so that a box
  // closing on the worker can re-enable its owner here.
  void Finish();

  bool Running() { return m_gate.IsRunning(); }
  // True once Finish has begun: boxes are no longer shown.
  bool Closed() { return m_gate.IsClosed(); }

 private:
  CMovingGate m_gate;
  std::atomic<DWORD> m_thread{0};
};

// Closes the windows of `threadId` (the worker's boxes) as their close button would: each
// answers 8. Sent messages for this thread are dispatched meanwhile.
void CloseBoxesOfThread(DWORD threadId);

}  // namespace zr
