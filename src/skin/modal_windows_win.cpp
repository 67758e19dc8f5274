#include "skin/modal_windows_win.h"

namespace Skin {
namespace {

std::uintptr_t Key(HWND owner) { return reinterpret_cast<std::uintptr_t>(owner); }

}  // namespace

int ModalWindowsOver(const CModalCounts& counts, HWND owner) { return owner ? counts.Count(Key(owner)) : 0; }

// EnableWindow is called outside the lock: across threads it waits for the owner's thread,
// which may be entering a box itself.
CModalHold::CModalHold(CModalCounts& counts, HWND owner) : m_counts(counts), m_owner(owner) {
  if (!m_owner) return;
  m_counts.Change(Key(m_owner), 1);
  ::EnableWindow(m_owner, FALSE);
}

CModalHold::~CModalHold() {
  if (!m_owner || m_counts.Change(Key(m_owner), -1) > 0) return;  // another box keeps it disabled
  if (!::IsWindow(m_owner)) return;
  ::EnableWindow(m_owner, TRUE);
  // A box opened on another thread meanwhile has disabled it already, or is about to: the
  // owner must end up disabled whatever the order of the two calls.
  if (m_counts.Count(Key(m_owner)) > 0) {
    ::EnableWindow(m_owner, FALSE);
    return;
  }
  ::SetFocus(m_owner);
}

}  // namespace Skin
