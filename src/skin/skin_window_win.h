// Windows only. The window side of the engine:
//
// - CWindowBase: a plain window: registers its class, creates the window and routes every
//   message to HandleMessage; OnFinalMessage runs after the last message (WM_NCDESTROY).
//   Show, show modally, centre, close(answer), post message.
// - CSkinWindow: the base of the program's skinned windows. It owns one CPaintManager and,
//   once the window exists, the CWindowHost that serves it; builds the window's document in
//   OnCreate and turns window messages into the virtual slots below, in this order (the
//   program's windows override some of them).
//
// A window object belongs to the thread that created the window. No exception leaves the
// window procedure. The object is not deleted by the engine: a window that should go with
// its HWND deletes itself in OnFinalMessage.
#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "skin/interfaces.h"
#include "skin/paint_manager.h"
#include "skin/window_host_win.h"

namespace Skin {

class CWindowBase {
 public:
  CWindowBase() = default;
  CWindowBase(const CWindowBase&) = delete;
  CWindowBase& operator=(const CWindowBase&) = delete;

  virtual const wchar_t* GetWindowClassName() const = 0;
  virtual const wchar_t* GetSuperClassName() const { return nullptr; }
  virtual UINT GetClassStyle() const { return CS_DBLCLKS; }
  virtual LRESULT HandleMessage(UINT msg, WPARAM wparam, LPARAM lparam);
  virtual void OnFinalMessage(HWND hwnd);
  virtual ~CWindowBase();

  HWND GetHWND() const { return hwnd_; }
  operator HWND() const { return hwnd_; }  // NOLINT

  // Registers the class (once) and creates the window. nullptr on failure.
  HWND Create(HWND parent, const wchar_t* title, DWORD style, DWORD ex_style, int x, int y,
              int cx, int cy, HMENU menu = nullptr);
  // SW_SHOWNORMAL, SW_SHOWNOACTIVATE or SW_HIDE.
  void ShowWindow(bool show = true, bool take_focus = true);
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

  HWND hwnd_ = nullptr;
  UINT close_answer_ = 0;
};

// Routes notifications by type to member handlers.
class CNotifyRouter {
 public:
  using Handler = void (CNotifyRouter::*)(SkinNotify&);
  struct Route {
    const wchar_t* type;
    Handler handler;
  };
  virtual ~CNotifyRouter() = default;
  virtual std::vector<Route> GetNotifyMap() { return {}; }
  // Calls the handler of the first route whose type equals the notification's (ASCII case
  // ignored). False when none matches.
  bool RouteNotify(SkinNotify& msg);
};

class CSkinWindow : public CWindowBase,
                    public CNotifyRouter,
                    public INotifySink,
                    public IMessageFilter,
                    public IControlFactory,
                    public IControlTextSource {
 public:
  CSkinWindow();

  // CWindowBase
  const wchar_t* GetSuperClassName() const override { return nullptr; }
  UINT GetClassStyle() const override { return CS_DBLCLKS; }
  LRESULT HandleMessage(UINT msg, WPARAM wparam, LPARAM lparam) override;
  void OnFinalMessage(HWND hwnd) override;
  ~CSkinWindow() override;

  virtual void OnPrepare() {}
  virtual void InitWindow() {}
  virtual void OnClick(SkinNotify& msg);
  virtual bool IsInStaticControl(CControlUI* control);
  virtual std::wstring GetSkinType() { return std::wstring(); }
  virtual std::wstring GetSkinFile() = 0;
  virtual const wchar_t* GetManagerName() { return nullptr; }
  virtual LRESULT OnDefaultKey(WPARAM key) { (void)key; return 0; }
  virtual LRESULT OnClose(UINT, WPARAM, LPARAM, bool& handled) { handled = false; return 0; }
  virtual LRESULT OnDestroy(UINT, WPARAM, LPARAM, bool& handled) { handled = false; return 0; }
  virtual LRESULT OnNcActivate(UINT msg, WPARAM wparam, LPARAM lparam, bool& handled);
  virtual LRESULT OnNcCalcSize(UINT msg, WPARAM wparam, LPARAM lparam, bool& handled);
  virtual LRESULT OnNcPaint(UINT msg, WPARAM wparam, LPARAM lparam, bool& handled);
  virtual LRESULT OnNcHitTest(UINT msg, WPARAM wparam, LPARAM lparam, bool& handled);
  virtual LRESULT OnGetMinMaxInfo(UINT msg, WPARAM wparam, LPARAM lparam, bool& handled);
  virtual LRESULT OnMouseWheel(UINT, WPARAM, LPARAM, bool& handled) { handled = false; return 0; }
  virtual LRESULT OnMouseHover(UINT, WPARAM, LPARAM, bool& handled) { handled = false; return 0; }
  virtual LRESULT OnSize(UINT msg, WPARAM wparam, LPARAM lparam, bool& handled);
  virtual LRESULT OnChar(UINT, WPARAM, LPARAM, bool& handled) { handled = false; return 0; }
  virtual LRESULT OnSysCommand(UINT msg, WPARAM wparam, LPARAM lparam, bool& handled);
  virtual LRESULT OnCreate(UINT msg, WPARAM wparam, LPARAM lparam, bool& handled);
  virtual LRESULT OnKeyDown(UINT, WPARAM, LPARAM, bool& handled) { handled = false; return 0; }
  virtual LRESULT OnKillFocus(UINT, WPARAM, LPARAM, bool& handled) { handled = false; return 0; }
  virtual LRESULT OnSetFocus(UINT, WPARAM, LPARAM, bool& handled) { handled = false; return 0; }
  virtual LRESULT OnLButtonDown(UINT, WPARAM, LPARAM, bool& handled) { handled = false; return 0; }
  virtual LRESULT OnLButtonUp(UINT, WPARAM, LPARAM, bool& handled) { handled = false; return 0; }
  virtual LRESULT OnMouseMove(UINT, WPARAM, LPARAM, bool& handled) { handled = false; return 0; }
  virtual LRESULT HandleCustomMessage(UINT, WPARAM, LPARAM, bool& handled) {
    handled = false;
    return 0;
  }
  virtual LONG GetStyle();
  // True for a window that keeps its document's size whatever is asked of it: no sizing
  // border or handle, no maximising (from the menu, a double click, a snap or ShowWindow), no
  // WM_SIZING drag and no SetWindowPos to another size; minimising still works. The base
  // answers false (the window sizes as its styles and document allow).
  virtual bool KeepsDocumentSize() const { return false; }

  // CNotifyRouter: "click" goes to OnClick.
  std::vector<Route> GetNotifyMap() override;
  // INotifySink
  void Notify(SkinNotify& msg) override;
  // IMessageFilter: Enter and Escape consult OnDefaultKey; the answer is not acted on.
  LResult FilterMessage(unsigned msg, WParam wparam, LParam lparam, bool& handled) override;
  // IControlFactory: the engine's own controls only.
  CControlUI* CreateControl(const wchar_t* class_name) override;
  // IControlTextSource: no texts of its own.
  std::wstring GetControlText(const std::wstring& control_name,
                              const std::wstring& class_name) override;

  CPaintManager& GetPaintManager() { return *paint_manager_; }
  // The window side of painting; nullptr before WM_CREATE.
  CWindowHost* GetWindowHost() { return host_.get(); }

 protected:
  // The rules of KeepsDocumentSize for the messages that have no slot of their own. True
  // when the message is answered (result set).
  bool KeepShape(UINT msg, WPARAM wparam, LPARAM lparam, LRESULT& result);

  // The host goes after the manager, which stops its timers through it.
  std::unique_ptr<CWindowHost> host_;
  std::unique_ptr<CPaintManager> paint_manager_;
};

// How many modal windows (ShowModal) are open over `owner` right now, on every thread. The
// count goes on after the owner's window is destroyed, until those loops return.
int ModalWindowsOver(HWND owner);

// The fatal path when a window's document cannot be built: the error box, then exit code 1.
[[noreturn]] void FailToLoadSkin(const std::wstring& file);

}  // namespace Skin
