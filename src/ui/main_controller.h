// What the updater's main window does, apart from Windows: the texts of its two pages, where
// it may be dragged from, the completion timer, the product started at most once, closing, and
// the fatal text's box with the window object's lifetime around it.
//
// The Windows window (main_window_win.h) forwards the worker's messages, the clicks, WM_CLOSE,
// its timer and its last message to the controller, and does what the controller asks of it
// through IMainWindowActions. Everything runs on the UI thread.
#pragma once

#include <cstdint>
#include <string>

#include "skin/geometry.h"
#include "strings/texts.h"
#include "update/update_events.h"

namespace Skin {
class CButtonUI;
class CLabelUI;
class CPaintManager;
class CProgressUI;
class CTabLayoutUI;
class CTextUI;
}  // namespace Skin

namespace zr {

// The window's first rectangle, before its skin gives it its real size: 600 x 400, centred on
// a screen of the given size, kept on screen where it fits and pinned to the top-left corner
// where it does not.
Skin::SkinRect ComputeInitialWindowRect(int screenWidth, int screenHeight);

// The speed line's text for a transfer rate in bytes per second (0 or more): 1024-based units,
// two decimals above 1024 B/s ("1.50 KB/s"), whole bytes at or below ("1024 B/s").
std::wstring FormatTransferSpeed(int32_t bytesPerSecond);

enum class MainHitTest {
  kUseDefault,  // the engine's default hit test decides (caption area, buttons)
  kClient,      // HTCLIENT
  kCaption,     // HTCAPTION: a press here drags the window
};

// WM_NCHITTEST's decision over the window's control tree, apart from the engine's default;
// `point` and `client` in client coordinates:
// 1. the lower-left strip (x <= left + 30 and y > bottom - 100) is client area;
// 2. inside the client rectangle, a control at the point whose class is neither "ButtonUI" nor
//    "TextUI" (any case) drags the window;
// 3. everything else goes to the engine's default.
MainHitTest DecideMainHitTest(const Skin::CPaintManager& manager, Skin::SkinPoint point, const Skin::SkinRect& client);

// What the controller asks of its window.
class IMainWindowActions {
 public:
  virtual ~IMainWindowActions() = default;
  // Calls the controller's OnCompletionTimer every `ms` until stopped.
  virtual void StartCompletionTimer(unsigned ms) = 0;
  virtual void StopCompletionTimer() = 0;
  // Starts the product from the updater's directory; its status line goes to the window.
  virtual void LaunchProduct() = 0;
  // Posts WM_CLOSE (wParam 1) while the window exists, then WM_QUIT.
  virtual void PostCloseAndQuit() = 0;
  // Posts WM_QUIT: the window is closing by itself.
  virtual void PostQuit() = 0;
  virtual void Minimise() = 0;
  // The plain box with `text`, modal over the window; returns once it is answered. Messages
  // run meanwhile, so the window may be gone when it returns.
  virtual void ShowFatalBox(const std::wstring& text) = 0;
  // Modal boxes open over the window, whichever thread runs them (the update worker's too).
  virtual int ModalBoxesOver() const = 0;
};

class CMainController {
 public:
  // The product is started this long after the completion page appears.
  static constexpr unsigned kCompletionTimerMs = 3000;
  static constexpr int kProgressPage = 0;
  static constexpr int kCompletionPage = 1;

  CMainController(IMainWindowActions& window, const ITexts& texts) : m_window(window), m_texts(texts) {}
  CMainController(const CMainController&) = delete;
  CMainController& operator=(const CMainController&) = delete;

  // Finds the controls of "wnd_main.xml" (a missing one is left alone from then on) and
  // shows the progress page's title and captions.
  void Init(Skin::CPaintManager& manager);

  // One of the engine's events, handed to the handler of its kind; "quit" ends the loop.
  void OnEvent(const UpdateEvent& event);
  void OnProgress(std::intptr_t percent);     // 0..100; anything else is ignored
  void OnSpeed(std::int64_t bytesPerSecond);  // negative: no speed line
  void OnStatusText(const std::wstring& text);
  // Shows the box and, once it is answered, closes, unless the window went meanwhile.
  void OnFatalText(const std::wstring& text);
  // The completion page, the "ok" button and the timer that starts the product.
  void OnSucceeded();
  void OnFinished() { CloseAndQuit(); }

  void OnCompletionTimer();
  // A click on the control named `name`; true when the engine's own handling must not follow
  // (its minimise).
  bool OnClick(const std::wstring& name);
  // WM_CLOSE reached the window: it closes and the message loop ends.
  void OnClose();
  // The window has had its last message.
  void OnWindowGone() { m_windowGone = true; }

  // Whether the window object may go: its window is gone and no box over it is open.
  bool MayDelete() const { return m_windowGone && m_boxDepth == 0 && m_window.ModalBoxesOver() == 0; }
  bool WindowGone() const { return m_windowGone; }
  bool Closing() const { return m_closing; }

 private:
  // Starts the product, then closes; only the first call of a run does anything, so the
  // button and the timer never start the product twice, nor after the window began closing.
  void LaunchProductAndClose();
  void CloseAndQuit();

  IMainWindowActions& m_window;
  const ITexts& m_texts;
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
  bool m_closing = false;
  bool m_windowGone = false;
  // Fatal boxes running inside the controller (nested when a second fatal text comes while
  // the first box is open): the window object outlives them all.
  int m_boxDepth = 0;
};

}  // namespace zr
