// Windows only. CSkinWindow: the base of the program's skinned windows. It owns one
// CPaintManager and, once the window exists, the CWindowHost that serves it; builds the
// window's document when the window is created and answers the messages of a frameless
// window itself: no non-client area, a hit test from the document's caption, the
// round-corner region. A skinned window keeps its document's size whatever is asked of it:
// no sizing border, no maximising (from the menu, a double click, a snap or ShowWindow), no
// WM_SIZING drag and no SetWindowPos to another size; minimising still works. The program's windows
// override the virtual slots below; every message without a slot of its own goes to
// HandleCustomMessage, then to the paint manager, then to the default procedure.
//
// Every window is made with the program's skin context (skin_context.h), which outlives it.
// A window object belongs to the thread that created the window (see CWindowBase).
//
// Also here: the engine's message loops, whose pre-message handling finds the window a
// message is for through its handle.
#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "skin/accessible_win.h"
#include "skin/interfaces.h"
#include "skin/paint_manager.h"
#include "skin/skin_context.h"
#include "skin/window_base_win.h"
#include "skin/window_host_win.h"

namespace Skin {

class CSkinWindow : public CWindowBase, public INotifySink {
 public:
  explicit CSkinWindow(CSkinContext& context);

  // CWindowBase
  LRESULT HandleMessage(UINT msg, WPARAM wparam, LPARAM lparam) override;
  void OnFinalMessage(HWND hwnd) override;
  ~CSkinWindow() override;

  // Called once, after the document is built.
  virtual void InitWindow() {}
  // The document's file name in the skin package.
  virtual std::wstring GetSkinFile() = 0;
  // Enter and Escape (WM_KEYDOWN) in the message loops; the answer is not acted on.
  virtual LRESULT OnDefaultKey(WPARAM /*key*/) { return 0; }
  // WM_CLOSE (the answer is kept first); the base leaves it unhandled, which destroys the window.
  virtual LRESULT OnClose(UINT, WPARAM, LPARAM, bool& handled) {
    handled = false;
    return 0;
  }
  // WM_NCHITTEST: HTCAPTION on a static control inside the caption rectangle, else HTCLIENT.
  virtual LRESULT OnNcHitTest(UINT msg, WPARAM wparam, LPARAM lparam, bool& handled);
  // Every message without a slot of its own, before the paint manager sees it.
  virtual LRESULT HandleCustomMessage(UINT, WPARAM, LPARAM, bool& handled) {
    handled = false;
    return 0;
  }
  // True when the control and every ancestor are of a static kind (labels, texts, layouts):
  // such a control in the caption rectangle drags the window.
  bool IsInStaticControl(CControlUI* control) const;

  // INotifySink: a "click" (ASCII case ignored) gets the default click handling: "closebtn"
  // closes with answer 1; "minbtn" sends SC_MINIMIZE.
  void Notify(SkinNotify& msg) override;

  // Shows the window and runs a loop until the window is destroyed or WM_QUIT arrives, its
  // owner held disabled meanwhile (CModalHold); a WM_QUIT taken from the queue is posted again
  // for the enclosing loop. The answer of the last close(answer) (or WM_CLOSE wParam), 0 if none.
  UINT ShowModal();

  // Set before Create: the window comes up centred (CenterWindow) at its document's size.
  void CentreWhenCreated() { m_centred = true; }
  CSkinContext& Context() const { return m_context; }
  CPaintManager& GetPaintManager() { return *m_paintManager; }
  // The window side of painting; nullptr before WM_CREATE.
  CWindowHost* GetWindowHost() { return m_host.get(); }

 protected:
  CSkinContext& m_context;
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
  // WM_SIZE: the round-corner region, unless minimised.
  void OnSize();
  // Keeping the document's size, for the messages that have no slot of their own. True when
  // the message is answered (result set).
  bool KeepShape(UINT msg, WPARAM wparam, LPARAM lparam, LRESULT& result);

  UINT m_closeAnswer = 0;
  bool m_centred = false;
};

// The pre-message handling of the message loops: Enter and Escape consult OnDefaultKey of the
// skinned window (of this thread) that the message, or its window's root, is for. No message
// is taken.
void TranslateSkinMessage(const MSG* msg);

// The engine's message loop: GetMessageW until WM_QUIT; each message first passes the
// pre-message handling, then TranslateMessage and DispatchMessageW.
void MessageLoop();

}  // namespace Skin
