// Windows only. CWindowBase: a plain window. Registers its class (double clicks included)
// in the program's module on first use, once per class name for the process's life, creates
// the window and routes every message to HandleMessage; OnFinalMessage runs after the last
// message (WM_NCDESTROY). Show, centre, close(answer), post message.
//
// A window object belongs to the thread that created the window. No exception leaves the
// window procedure. The object is not deleted here: a window that should go with its HWND
// deletes itself in OnFinalMessage.
#pragma once

#include <windows.h>

namespace Skin {

class CWindowBase {
 public:
  CWindowBase() = default;
  CWindowBase(const CWindowBase&) = delete;
  CWindowBase& operator=(const CWindowBase&) = delete;

  virtual const wchar_t* GetWindowClassName() const = 0;
  virtual LRESULT HandleMessage(UINT msg, WPARAM wparam, LPARAM lparam) {
    return ::DefWindowProcW(m_hwnd, msg, wparam, lparam);
  }
  virtual void OnFinalMessage(HWND) {}
  virtual ~CWindowBase();

  HWND GetHWND() const { return m_hwnd; }
  operator HWND() const { return m_hwnd; }  // NOLINT

  // Registers the class (once) and creates the window. nullptr on failure.
  HWND Create(HWND parent, const wchar_t* title, DWORD style, DWORD exStyle, int x, int y, int cx, int cy);
  // SW_SHOWNORMAL or SW_HIDE.
  void ShowWindow(bool show = true);
  // Centres on the owner, or on the work area of the window's monitor without one, and gives
  // it a size if one is given; flags: more SWP_ flags (SWP_NOMOVE: only the size).
  void CenterWindow(SIZE size = {}, UINT flags = 0);
  // Posts WM_CLOSE with the answer as wParam, if the window exists.
  void Close(UINT answer = IDOK);
  BOOL PostMessage(UINT msg, WPARAM wparam = 0, LPARAM lparam = 0) {
    return ::PostMessageW(m_hwnd, msg, wparam, lparam);
  }
  LRESULT SendMessage(UINT msg, WPARAM wparam = 0, LPARAM lparam = 0) {
    return ::SendMessageW(m_hwnd, msg, wparam, lparam);
  }

  // The object of a window of this kind on this thread, nullptr for any other window.
  static CWindowBase* FromOwnWindow(HWND hwnd);

 protected:
  static LRESULT CALLBACK WindowProc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam);
  bool RegisterWindowClass();

  HWND m_hwnd = nullptr;
};

}  // namespace Skin
