// Keeps the process alive while product files are being moved.
//
// Replacing and rolling back move a product file aside before its replacement moves in; a
// process that ended between the two moves would leave the file missing for good. The worker
// holds the gate open around those stages; the UI thread, once its message loop has ended,
// closes the gate and waits until no stage is running. After that no stage may start, so the
// process can end with every file either old or new. Closing at any other moment (a box is
// open, the product is being asked to quit) still ends the process at once.
#pragma once

#include <condition_variable>
#include <mutex>

namespace zr {

class CFileStageGate {
 public:
  // False once the process is shutting down: the stage must not start.
  bool Enter();
  void Leave();
  // Refuses further stages and waits for a running one to finish.
  void CloseAndWait();

 private:
  std::mutex m_mutex;
  std::condition_variable m_idle;
  int m_inside = 0;
  bool m_closed = false;
};

// The process-wide gate used by the Win32 platform and the process entry.
CFileStageGate& GetFileStageGate();

}  // namespace zr
