// Windows only. CSkinWindow: the base of the program's skinned windows. It owns one
// CPaintManager and, once the window exists, the CWindowHost that serves it; builds the
// window's document when the window is created and answers the messages of a frameless
// window itself: no non-client area, a hit test from the document's caption and sizing
// border, the round-corner region, the document's track limits. The program's windows
// override the virtual slots below; every message without a slot of its own goes to
// HandleCustomMessage, then to the paint manager, then to the default procedure.
//
// A window object belongs to the thread that created the window (see CWindowBase).
#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "skin/accessible_win.h"
#include "skin/interfaces.h"
#include "skin/paint_manager.h"
#include "skin/window_base_win.h"
#include "skin/window_host_win.h"

namespace Skin {

class CSkinWindow : public CWindowBase,
                    public INotifySink,
                    public IMessageFilter,
                    public IControlFactory,
                    public IControlTextSource {
 public:
  CSkinWindow();

  // CWindowBase
  LRESULT HandleMessage(UINT msg, WPARAM wparam, LPARAM lparam) override;
  void OnFinalMessage(HWND hwnd) override;
  ~CSkinWindow() override;

  // Called once, after the document is built.
  virtual void InitWindow() {}
  // The document's file name in the skin package.
  virtual std::wstring GetSkinFile() = 0;
  virtual LRESULT OnDefaultKey(WPARAM key) { (void)key; return 0; }
  // WM_CLOSE (the answer is kept first); the base leaves it unhandled, which destroys the window.
  virtual LRESULT OnClose(UINT, WPARAM, LPARAM, bool& handled) { handled = false; return 0; }
  // WM_NCHITTEST: sizing codes on the document's sizing border (unless maximised), HTCAPTION
  // on a static control inside the caption rectangle, else HTCLIENT.
  virtual LRESULT OnNcHitTest(UINT msg, WPARAM wparam, LPARAM lparam, bool& handled);
  // WM_SYSCOMMAND: SC_CLOSE sends WM_CLOSE; otherwise the default processing, after which
  // "maxbtn" and "restorebtn" are shown or hidden to match the zoom state.
  virtual LRESULT OnSysCommand(UINT msg, WPARAM wparam, LPARAM lparam, bool& handled);
  // Every message without a slot of its own, before the paint manager sees it.
  virtual LRESULT HandleCustomMessage(UINT, WPARAM, LPARAM, bool& handled) {
    handled = false;
    return 0;
  }
  // True for a window that keeps its document's size whatever is asked of it: no sizing
  // border or handle, no maximising (from the menu, a double click, a snap or ShowWindow), no
  // WM_SIZING drag and no SetWindowPos to another size; minimising still works. The base
  // answers false (the window sizes as its styles and document allow).
  virtual bool KeepsDocumentSize() const { return false; }

  // True when the control and every ancestor are of a static kind (labels, texts, layouts):
  // such a control in the caption rectangle drags the window.
  bool IsInStaticControl(CControlUI* control) const;

  // INotifySink: a "click" (ASCII case ignored) gets the default click handling: "closebtn"
  // closes with answer 1; "minbtn", "maxbtn", "restorebtn" send their WM_SYSCOMMAND.
  void Notify(SkinNotify& msg) override;
  // IMessageFilter: Enter and Escape consult OnDefaultKey; the answer is not acted on.
  LResult FilterMessage(unsigned msg, WParam wparam, LParam lparam, bool& handled) override;
  // IControlFactory: the engine's own controls only.
  CControlUI* CreateControl(const wchar_t* className) override;
  // IControlTextSource: no texts of its own.
  std::wstring GetControlText(const std::wstring& controlName,
                              const std::wstring& className) override;

  CPaintManager& GetPaintManager() { return *m_paintManager; }
  // The window side of painting; nullptr before WM_CREATE.
  CWindowHost* GetWindowHost() { return m_host.get(); }

 protected:
  // The host goes after the manager, which stops its timers through it.
  std::unique_ptr<CWindowHost> m_host;
  std::unique_ptr<CPaintManager> m_paintManager;

 private:
  // Goes before the manager, whose change observer it is.
  std::unique_ptr<CWindowAccessibility> m_accessibility;

  // WM_CREATE: the frameless style, the paint manager and the document; the fatal path when
  // the document cannot be built.
  LRESULT OnCreate();
  void OnClick(SkinNotify& msg);
  // WM_GETMINMAXINFO: maximised to the monitor's work area; the document's track limits.
  void OnGetMinMaxInfo(MINMAXINFO* info);
  // WM_SIZE: the round-corner region, unless minimised.
  void OnSize();
  // The rules of KeepsDocumentSize for the messages that have no slot of their own. True
  // when the message is answered (result set).
  bool KeepShape(UINT msg, WPARAM wparam, LPARAM lparam, LRESULT& result);
};


}  // namespace Skin
