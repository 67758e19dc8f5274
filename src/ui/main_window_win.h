// The updater's one top-level window, CWnd_Main, built by the skin engine from
// "wnd_main.xml". Windows only.
//
// The window tells its owner (the program) once its skin is built, and the program starts the
// update worker then; from then on the window only reacts: to the worker's events, to its
// three buttons and to the completion timer. The events come through the run's queue
// (update_events.h): the worker's wake-up message (WM_UPDATE_EVENTS, no payload) and a steady
// timer make the window take them, one at a time; a message that only looks like the engine's
// changes nothing. What the window does with an event is decided by its controller
// (main_controller.h); the window forwards and carries out. Everything runs on the UI thread.
// The window keeps the document's size (580 x 400) whatever is asked of it.
//
// The object deletes itself once its window is gone and no modal box over it is open. A box
// that one of its handlers runs (the fatal text's) defers the deletion to that handler's end;
// a box of the update worker still open when the window goes keeps the object alive for the
// rest of the process, which ends with the message loop that the window's closing ends.
#pragma once

#include <windows.h>

#include <string>

#include "skin/skin_window_win.h"
#include "strings/texts.h"
#include "ui/main_controller.h"

namespace zr {

class CEventQueue;

// The window class the single-instance search of a later updater looks for.
inline constexpr wchar_t kMainWindowClassName[] = L"zrUpdater";

// The worker's wake-up: the run's queue holds events. It carries nothing.
inline constexpr UINT WM_UPDATE_EVENTS = WM_APP + 1;

// The program, as its main window sees it. Called on the UI thread.
class IMainWindowOwner {
 public:
  // The skin is built: the run is set up (its worker starts once the window is shown). Returns
  // the queue of the run's events, which the window takes from now on (kept by the owner for as
  // long as the window lives), or null when there is no run for it.
  virtual CEventQueue* WindowBuilt(HWND window) = 0;
  // The window has had its last message: nothing may be posted to or owned by it any more.
  virtual void WindowDestroyed() = 0;
  // The session is ending: whether product files are moving now, and, once it ends for good,
  // their moves finished (a failed replacement rolled back) before this returns.
  virtual bool FilesMoving() = 0;
  virtual void SessionEnds() = 0;
  // Starts the product of the installation (the completion page's button or timer).
  virtual void LaunchProduct() = 0;
  // One line of the run's record (what a box of the window showed, and its answer).
  virtual void Record(const std::string& line) = 0;

 protected:
  ~IMainWindowOwner() = default;
};

class CWnd_Main : public Skin::CSkinWindow, private IMainWindowActions {
 public:
  // `context` and `texts` outlive the window object, as the owner does.
  CWnd_Main(Skin::CSkinContext& context, IMainWindowOwner& owner, const ITexts& texts)
      : CSkinWindow(context), m_owner(owner), m_texts(texts) {}

  const wchar_t* GetWindowClassName() const override { return kMainWindowClassName; }
  void OnFinalMessage(HWND hwnd) override;
  void InitWindow() override;
  std::wstring GetSkinFile() override { return L"wnd_main.xml"; }
  LRESULT OnDefaultKey(WPARAM) override { return 0; }
  LRESULT OnClose(UINT msg, WPARAM wparam, LPARAM lparam, bool& handled) override;
  LRESULT OnNcHitTest(UINT msg, WPARAM wparam, LPARAM lparam, bool& handled) override;
  LRESULT HandleCustomMessage(UINT msg, WPARAM wparam, LPARAM lparam, bool& handled) override;
  void Notify(Skin::SkinNotify& msg) override;

 private:
  // Hands the run's waiting events to the controller, one at a time; true when the object is
  // gone afterwards (a fatal box outlived the window and was the last to hold it).
  bool TakeEvents();

  // IMainWindowActions
  void StartCompletionTimer(unsigned ms) override;
  void StopCompletionTimer() override;
  void LaunchProduct() override { m_owner.LaunchProduct(); }
  void PostCloseAndQuit() override;
  void PostQuit() override { ::PostQuitMessage(0); }
  void Minimise() override { ::ShowWindow(GetHWND(), SW_MINIMIZE); }
  void ShowFatalBox(const std::wstring& text) override;
  int ModalBoxesOver() const override;

  // Deletes the object if the controller lets it go (its window gone, no box over it open);
  // true if it did.
  bool DeleteIfUnused();

  IMainWindowOwner& m_owner;
  const ITexts& m_texts;
  CMainController m_controller{*this, m_texts};
  CEventQueue* m_events = nullptr;  // the owner's
  HWND m_keptHwnd = nullptr;        // the window's handle, kept for the box count after it is gone
  bool m_completionTimerRunning = false;
};

}  // namespace zr
