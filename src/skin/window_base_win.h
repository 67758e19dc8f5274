// Windows only. CWindowBase: a plain window. Registers its class (double clicks included),
// creates the window and routes every message to HandleMessage; OnFinalMessage runs after the
// last message (WM_NCDESTROY). Show, show modally, centre, close(answer), post message.
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
  virtual LRESULT HandleMessage(UINT msg, WPARAM wparam, LPARAM lparam);
  virtual void OnFinalMessage(HWND hwnd);
  virtual ~CWindowBase();

  HWND GetHWND() const { return m_hwnd; }
  operator HWND() const { return m_hwnd; }  // NOLINT

  // Registers the class (once) and creates the window. nullptr on failure.
  HWND Create(HWND parent, const wchar_t* title, DWORD style, DWORD exStyle, int x, int y,
              int cx, int cy, HMENU menu = nullptr);
  // SW_SHOWNORMAL, SW_SHOWNOACTIVATE or SW_HIDE.
  void ShowWindow(bool show = true, bool takeFocus = true);
  // Shows the window and runs a loop until the window is destroyed or WM_QUIT arrives: the
  // owner is disabled meanwhile and, when no other modal window over it is left open (on any
  // thread), re-enabled and focused afterwards; a WM_QUIT taken from the queue is posted
  // again for the enclosing loop. Returns the answer of the last close(answer) (or WM_CLOSE
  // wParam), 0 if none.
  UINT ShowModal();
  // Centres on the owner, or on the work area of the window's monitor without one.
  void CenterWindow();
  // Posts WM_CLOSE with the answer as wParam, if the window exists.
  void Close(UINT answer = IDOK);
  BOOL PostMessage(UINT msg, WPARAM wparam = 0, LPARAM lparam = 0);
  LRESULT SendMessage(UINT msg, WPARAM wparam = 0, LPARAM lparam = 0);

 protected:
  static LRESULT CALLBACK WindowProc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam);
  bool RegisterWindowClass();

  HWND m_hwnd = nullptr;
  UINT m_closeAnswer = 0;
};

}  // namespace Skin
