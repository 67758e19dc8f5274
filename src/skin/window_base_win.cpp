#include "skin/window_base_win.h"

#include "skin/modal_windows_win.h"
#include "skin/resources.h"
#include "skin/window_host_win.h"

namespace Skin {

CWindowBase::~CWindowBase() {
  if (hwnd_ && ::IsWindow(hwnd_)) {
    // The object goes before its window: detach so that no message reaches a dead object.
    ::SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
  }
}

LRESULT CWindowBase::HandleMessage(UINT msg, WPARAM wparam, LPARAM lparam) {
  return ::DefWindowProcW(hwnd_, msg, wparam, lparam);
}

void CWindowBase::OnFinalMessage(HWND) {}

bool CWindowBase::RegisterWindowClass() {
  HINSTANCE instance = static_cast<HINSTANCE>(CResourceSettings::GetInstance());
  if (!instance) instance = ::GetModuleHandleW(nullptr);
  WNDCLASSEXW wc = {};
  if (::GetClassInfoExW(instance, GetWindowClassName(), &wc)) return true;
  wc.cbSize = sizeof(wc);
  wc.style = CS_DBLCLKS;
  wc.lpfnWndProc = &CWindowBase::WindowProc;
  wc.hInstance = instance;
  wc.hCursor = ::LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
  wc.lpszClassName = GetWindowClassName();
  return ::RegisterClassExW(&wc) != 0 || ::GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

HWND CWindowBase::Create(HWND parent, const wchar_t* title, DWORD style, DWORD ex_style, int x,
                         int y, int cx, int cy, HMENU menu) {
  if (!RegisterWindowClass()) return nullptr;
  HINSTANCE instance = static_cast<HINSTANCE>(CResourceSettings::GetInstance());
  if (!instance) instance = ::GetModuleHandleW(nullptr);
  ::CreateWindowExW(ex_style, GetWindowClassName(), title, style, x, y, cx, cy, parent, menu,
                    instance, this);
  return hwnd_;
}

LRESULT CALLBACK CWindowBase::WindowProc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) {
  CWindowBase* self = nullptr;
  if (msg == WM_NCCREATE) {
    auto* cs = reinterpret_cast<CREATESTRUCTW*>(lparam);
    self = static_cast<CWindowBase*>(cs->lpCreateParams);
    self->hwnd_ = hwnd;
    ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
  } else {
    self = reinterpret_cast<CWindowBase*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  }
  if (!self) return ::DefWindowProcW(hwnd, msg, wparam, lparam);
  if (msg == WM_NCDESTROY) {
    LRESULT r = ::DefWindowProcW(hwnd, msg, wparam, lparam);
    ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
    self->hwnd_ = nullptr;
    try {
      self->OnFinalMessage(hwnd);
    } catch (...) {
    }
    return r;
  }
  try {
    return self->HandleMessage(msg, wparam, lparam);
  } catch (...) {
    // Nothing may unwind through the system's code.
    return ::DefWindowProcW(hwnd, msg, wparam, lparam);
  }
}

void CWindowBase::ShowWindow(bool show, bool take_focus) {
  if (!::IsWindow(hwnd_)) return;
  ::ShowWindow(hwnd_, show ? (take_focus ? SW_SHOWNORMAL : SW_SHOWNOACTIVATE) : SW_HIDE);
}

UINT CWindowBase::ShowModal() {
  if (!::IsWindow(hwnd_)) return 0;
  HWND owner = ::GetWindow(hwnd_, GW_OWNER);
  ::ShowWindow(hwnd_, SW_SHOWNORMAL);
  MSG msg = {};
  bool quit = false;
  {
    CModalHold hold(owner);
    HWND self = hwnd_;
    while (::IsWindow(self)) {
      BOOL got = ::GetMessageW(&msg, nullptr, 0, 0);
      if (got == 0 || got == -1) {
        quit = got == 0;
        break;
      }
      if (TranslateSkinMessage(&msg)) continue;
      ::TranslateMessage(&msg);
      ::DispatchMessageW(&msg);
    }
    if (::IsWindow(self)) ::DestroyWindow(self);  // ended by WM_QUIT: the box goes now
  }
  if (quit) ::PostQuitMessage(static_cast<int>(msg.wParam));
  return close_answer_;
}

void CWindowBase::CenterWindow() {
  if (!::IsWindow(hwnd_)) return;
  RECT rc;
  ::GetWindowRect(hwnd_, &rc);
  int w = rc.right - rc.left, h = rc.bottom - rc.top;
  HWND owner = ::GetWindow(hwnd_, GW_OWNER);
  MONITORINFO mi = {};
  mi.cbSize = sizeof(mi);
  ::GetMonitorInfoW(::MonitorFromWindow(owner ? owner : hwnd_, MONITOR_DEFAULTTONEAREST), &mi);
  RECT area = mi.rcWork;
  RECT centre_on = area;
  if (owner && ::IsWindowVisible(owner) && !::IsIconic(owner)) ::GetWindowRect(owner, &centre_on);
  int x = (centre_on.left + centre_on.right) / 2 - w / 2;
  int y = (centre_on.top + centre_on.bottom) / 2 - h / 2;
  // Keep the whole window inside the work area.
  if (x + w > area.right) x = area.right - w;
  if (y + h > area.bottom) y = area.bottom - h;
  if (x < area.left) x = area.left;
  if (y < area.top) y = area.top;
  ::SetWindowPos(hwnd_, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void CWindowBase::Close(UINT answer) {
  if (!::IsWindow(hwnd_)) return;
  ::PostMessageW(hwnd_, WM_CLOSE, answer, 0);
}

BOOL CWindowBase::PostMessage(UINT msg, WPARAM wparam, LPARAM lparam) {
  return ::PostMessageW(hwnd_, msg, wparam, lparam);
}

LRESULT CWindowBase::SendMessage(UINT msg, WPARAM wparam, LPARAM lparam) {
  return ::SendMessageW(hwnd_, msg, wparam, lparam);
}

}  // namespace Skin
