// The updater's one top-level window, CWnd_Main, built by the skin engine from
// "wnd_main.xml", and the process-wide pointer to it. Windows only.
//
// The window starts the update worker once its skin is built (InitWindow) and from then on
// only reacts: to the worker's progress messages, to its three buttons and to the completion
// timer. Everything runs on the UI thread, except GetMainWindow, which the worker uses to
// address its posts. The window keeps the document's size (580 x 400) whatever is asked of it.
//
// The object deletes itself once its window is gone and no modal box over it is open. A box
// that one of its handlers runs (the fatal text's) defers the deletion to that handler's end;
// a box of the update worker still open when the window goes keeps the object alive for the
// rest of the process, which ends with the message loop that the window's closing ends.
#pragma once

#include <windows.h>

#include <string>

#include "skin/skin_window_win.h"

namespace Skin {
class CButtonUI;
class CControlUI;
class CLabelUI;
class CProgressUI;
class CTabLayoutUI;
class CTextUI;
}  // namespace Skin

namespace zr {

struct CUpdateContext;

// The window class the single-instance search of a later updater looks for.
inline constexpr wchar_t kMainWindowClassName[] = L"zrUpdater";

// The update worker's thread entry (_beginthreadex style), given the context. Start-up
// supplies UpdateWorkerProc, which knows the real platform; tests may give their own.
using UpdateThreadEntry = unsigned(__stdcall*)(void* context);

class CWnd_Main : public Skin::CSkinWindow {
 public:
  explicit CWnd_Main(UpdateThreadEntry workerEntry) : m_workerEntry(workerEntry) {}
  ~CWnd_Main() override = default;

  const wchar_t* GetWindowClassName() const override { return kMainWindowClassName; }
  void OnFinalMessage(HWND hwnd) override;
  void InitWindow() override;
  std::wstring GetSkinFile() override { return L"wnd_main.xml"; }
  LRESULT OnDefaultKey(WPARAM) override { return 0; }
  LRESULT OnClose(UINT msg, WPARAM wparam, LPARAM lparam, bool& handled) override;
  LRESULT OnNcHitTest(UINT msg, WPARAM wparam, LPARAM lparam, bool& handled) override;
  LRESULT OnSysCommand(UINT msg, WPARAM wparam, LPARAM lparam, bool& handled) override;
  LRESULT HandleCustomMessage(UINT msg, WPARAM wparam, LPARAM lparam, bool& handled) override;
  bool KeepsDocumentSize() const override { return true; }
  void Notify(Skin::SkinNotify& msg) override;
  Skin::CControlUI* CreateControl(const wchar_t* className) override;

  // The completion timer's work (id 1000): stops the timer, then launches the product and
  // closes, unless the window is already closing.
  void OnCompletionTimer();

 private:
  void ShowCompletionPage();
  // Starts the product from the updater's directory, then closes; only the first call of a
  // run does anything, so the button and the timer never start the product twice.
  void LaunchProductAndClose();
  // WM_CLOSE (wParam 1) while the window exists, then WM_QUIT, both posted.
  void CloseAndQuit();
  void ShowFatalText(std::wstring* payload);

  UpdateThreadEntry m_workerEntry;
  Skin::CButtonUI* m_minButton = nullptr;
  Skin::CButtonUI* m_closeButton = nullptr;
  Skin::CButtonUI* m_startButton = nullptr;
  Skin::CTextUI* m_title = nullptr;
  Skin::CLabelUI* m_fileLine = nullptr;
  Skin::CLabelUI* m_speedLine = nullptr;
  Skin::CProgressUI* m_progress = nullptr;
  Skin::CTabLayoutUI* m_pages = nullptr;
  Skin::CLabelUI* m_background = nullptr;
  Skin::CLabelUI* m_updatingCaption = nullptr;
  Skin::CLabelUI* m_productCaption = nullptr;
  Skin::CLabelUI* m_completedCaption = nullptr;
  CUpdateContext* m_context = nullptr;  // made here, handed to the worker, never freed
  bool m_closing = false;
  // Deletes the object if its window is gone and no box over it is open; true if it did.
  bool DeleteIfUnused();

  // Modal boxes running inside this window's handlers (nested when a second fatal text comes
  // while the first box is open): the object outlives them all.
  int m_boxDepth = 0;
  bool m_finalSeen = false;
  HWND m_hwnd = nullptr;  // the window's handle, kept for the box count after it is gone
};

// The process-wide main window pointer: set by start-up and by the window's initialisation,
// cleared when the window object goes, read by the worker thread.
CWnd_Main* GetMainWindow();
void SetMainWindow(CWnd_Main* window);

// The main window's handle, for the worker thread: posting to a handle is safe even after
// the window has gone (the post fails), unlike reaching it through the object. Null before
// the window exists and after it is destroyed.
HWND GetMainWindowHandle();

}  // namespace zr
