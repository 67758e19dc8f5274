#include "skin/modal_windows_win.h"

#include <map>
#include <mutex>

namespace Skin {
namespace {

// Open modal windows per owner, across threads.
struct ModalOwners {
  std::mutex mutex;
  std::map<HWND, int> open;
};

ModalOwners& TheModalOwners() {
  static ModalOwners* owners = new ModalOwners();  // lives until the process ends
  return *owners;
}

int AddModal(HWND owner, int delta) {
  ModalOwners& owners = TheModalOwners();
  std::lock_guard<std::mutex> lock(owners.mutex);
  int& count = owners.open[owner];
  count += delta;
  const int now = count;
  if (now <= 0) owners.open.erase(owner);
  return now;
}

}  // namespace

int ModalWindowsOver(HWND owner) {
  if (!owner) return 0;
  ModalOwners& owners = TheModalOwners();
  std::lock_guard<std::mutex> lock(owners.mutex);
  auto it = owners.open.find(owner);
  return it == owners.open.end() ? 0 : it->second;
}

// EnableWindow is called outside the lock: across threads it waits for the owner's thread,
// which may be entering a box itself.
CModalHold::CModalHold(HWND owner) : m_owner(owner) {
  if (!m_owner) return;
  AddModal(m_owner, 1);
  ::EnableWindow(m_owner, FALSE);
}

CModalHold::~CModalHold() {
  if (!m_owner || AddModal(m_owner, -1) > 0) return;  // another box keeps it disabled
  if (!::IsWindow(m_owner)) return;
  ::EnableWindow(m_owner, TRUE);
  // A box opened on another thread meanwhile has disabled it already, or is about to: the
  // owner must end up disabled whatever the order of the two calls.
  if (ModalWindowsOver(m_owner) > 0) {
    ::EnableWindow(m_owner, FALSE);
    return;
  }
  ::SetFocus(m_owner);
}

}  // namespace Skin
