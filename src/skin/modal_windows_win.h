// Windows only. Modal windows over an owner, counted in the skin context across threads: a
// box of the update worker and one of the UI thread may share the main window as owner, and
// the owner is enabled again only when the last of them closes.
#pragma once

#include <windows.h>

#include "skin/skin_context.h"

namespace Skin {

// How many modal windows are open over `owner` right now, on every thread. The count goes on
// after the owner's window is destroyed, until those loops return.
int ModalWindowsOver(const CModalCounts& counts, HWND owner);

// One modal window over an owner, for the life of its loop: counts it and disables the owner;
// when it goes and no other modal window over the owner is left open (on any thread), enables
// the owner again and gives it the focus. A null owner is not counted.
class CModalHold {
 public:
  CModalHold(CModalCounts& counts, HWND owner);
  ~CModalHold();
  CModalHold(const CModalHold&) = delete;
  CModalHold& operator=(const CModalHold&) = delete;

 private:
  CModalCounts& m_counts;
  HWND m_owner;
};

}  // namespace Skin
