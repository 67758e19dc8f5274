#include "skin/window_base_win.h"

#include <algorithm>

namespace Skin {

CWindowBase::~CWindowBase() {
  if (m_hwnd && ::IsWindow(m_hwnd)) {
    // The object goes before its window: detach so that no message reaches a dead object.
    ::SetWindowLongPtrW(m_hwnd, GWLP_USERDATA, 0);
  }
}

bool CWindowBase::RegisterWindowClass() {
  HINSTANCE instance = ::GetModuleHandleW(nullptr);
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

HWND CWindowBase::Create(HWND parent, const wchar_t* title, DWORD style, DWORD exStyle, int x, int y, int cx, int cy) {
  if (!RegisterWindowClass()) return nullptr;
  // Not m_hwnd: a window whose creation fails may delete its object on the way out.
  return ::CreateWindowExW(exStyle, GetWindowClassName(), title, style, x, y, cx, cy, parent, nullptr,
                           ::GetModuleHandleW(nullptr), this);
}

LRESULT CALLBACK CWindowBase::WindowProc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) {
  CWindowBase* self = nullptr;
  if (msg == WM_NCCREATE) {
    auto* cs = reinterpret_cast<CREATESTRUCTW*>(lparam);
    self = static_cast<CWindowBase*>(cs->lpCreateParams);
    self->m_hwnd = hwnd;
    ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
  } else {
    self = reinterpret_cast<CWindowBase*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  }
  if (!self) return ::DefWindowProcW(hwnd, msg, wparam, lparam);
  if (msg == WM_NCDESTROY) {
    LRESULT r = ::DefWindowProcW(hwnd, msg, wparam, lparam);
    ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
    self->m_hwnd = nullptr;
    try {
      self->OnFinalMessage(hwnd);
    } catch (...) {}
    return r;
  }
  try {
    return self->HandleMessage(msg, wparam, lparam);
  } catch (...) {
    // Nothing may unwind through the system's code.
    return ::DefWindowProcW(hwnd, msg, wparam, lparam);
  }
}

void CWindowBase::ShowWindow(bool show) {
  if (::IsWindow(m_hwnd)) ::ShowWindow(m_hwnd, show ? SW_SHOWNORMAL : SW_HIDE);
}

void CWindowBase::CenterWindow(SIZE size, UINT flags) {
  if (!::IsWindow(m_hwnd)) return;
  RECT rc;
  ::GetWindowRect(m_hwnd, &rc);
  if (size.cx <= 0 || size.cy <= 0) size = SIZE{rc.right - rc.left, rc.bottom - rc.top};
  const int w = size.cx, h = size.cy;
  HWND owner = ::GetWindow(m_hwnd, GW_OWNER);
  MONITORINFO mi = {};
  mi.cbSize = sizeof(mi);
  ::GetMonitorInfoW(::MonitorFromWindow(owner ? owner : m_hwnd, MONITOR_DEFAULTTONEAREST), &mi);
  RECT area = mi.rcWork;
  RECT centreOn = area;
  if (owner && ::IsWindowVisible(owner) && !::IsIconic(owner)) ::GetWindowRect(owner, &centreOn);
  // The whole window inside the work area (its top-left corner when it is larger).
  const int x = std::max(area.left, std::min((centreOn.left + centreOn.right) / 2 - w / 2, area.right - w));
  const int y = std::max(area.top, std::min((centreOn.top + centreOn.bottom) / 2 - h / 2, area.bottom - h));
  ::SetWindowPos(m_hwnd, nullptr, x, y, w, h, SWP_NOZORDER | SWP_NOACTIVATE | flags);
}

void CWindowBase::Close(UINT answer) {
  if (::IsWindow(m_hwnd)) ::PostMessageW(m_hwnd, WM_CLOSE, answer, 0);
}

CWindowBase* CWindowBase::FromOwnWindow(HWND hwnd) {
  if (!hwnd || ::GetWindowThreadProcessId(hwnd, nullptr) != ::GetCurrentThreadId() ||
      ::GetWindowLongPtrW(hwnd, GWLP_WNDPROC) != reinterpret_cast<LONG_PTR>(&CWindowBase::WindowProc)) {
    return nullptr;
  }
  return reinterpret_cast<CWindowBase*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
}

}  // namespace Skin
