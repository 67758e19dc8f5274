#include "ui/main_window_win.h"

#include <windowsx.h>

#include <optional>

#include "skin/modal_windows_win.h"
#include "ui/message_box_win.h"
#include "update/update_events.h"
#include "util/ascii.h"

namespace zr {
namespace {

constexpr UINT_PTR kCompletionTimerId = 1000;
// The events are also taken this often, so that one whose wake-up was lost (a full message
// queue) still comes.
constexpr UINT_PTR kEventTimerId = 1001;
constexpr UINT kEventTimerMs = 250;

}  // namespace

void CWnd_Main::InitWindow() {
  m_keptHwnd = GetHWND();
  m_controller.Init(GetPaintManager());
  m_events = m_owner.WindowBuilt(m_keptHwnd);
  ::SetTimer(m_keptHwnd, kEventTimerId, kEventTimerMs, nullptr);
}

bool CWnd_Main::TakeEvents() {
  while (m_events != nullptr && !m_controller.WindowGone()) {
    std::optional<UpdateEvent> event = m_events->Take();
    if (!event) break;
    m_controller.OnEvent(*event);
    // The window went while a fatal box was open: the engine must not go on with it, and the
    // object goes now unless an outer handler's box or another thread's is still open.
    if (m_controller.WindowGone()) return DeleteIfUnused();
  }
  return false;
}

void CWnd_Main::OnFinalMessage(HWND hwnd) {
  Skin::CSkinWindow::OnFinalMessage(hwnd);
  // The worker must not find a window that is going away.
  m_owner.WindowDestroyed();
  m_controller.OnWindowGone();
  if (!m_keptHwnd) m_keptHwnd = hwnd;
  DeleteIfUnused();  // else the handler running a box deletes the object when it returns
}

bool CWnd_Main::DeleteIfUnused() {
  if (!m_controller.MayDelete()) return false;
  delete this;
  return true;
}

LRESULT CWnd_Main::OnClose(UINT, WPARAM, LPARAM, bool& handled) {
  m_controller.OnClose();
  handled = false;  // default processing destroys the window
  return 0;
}

LRESULT CWnd_Main::OnNcHitTest(UINT msg, WPARAM wparam, LPARAM lparam, bool& handled) {
  // In document units, like the control tree.
  POINT point{GET_X_LPARAM(lparam), GET_Y_LPARAM(lparam)};
  ::ScreenToClient(GetHWND(), &point);
  const Skin::SkinSize client = GetPaintManager().GetClientSize();
  switch (DecideMainHitTest(GetPaintManager(), GetPaintManager().Scale().ToDocument(Skin::SkinPoint{point.x, point.y}),
                            Skin::SkinRect{0, 0, client.cx, client.cy})) {
    case MainHitTest::kClient: return HTCLIENT;
    case MainHitTest::kCaption: return HTCAPTION;
    case MainHitTest::kUseDefault: break;
  }
  return Skin::CSkinWindow::OnNcHitTest(msg, wparam, lparam, handled);
}

LRESULT CWnd_Main::HandleCustomMessage(UINT msg, WPARAM wparam, LPARAM /*lparam*/, bool& handled) {
  handled = false;  // the engine's own handling runs afterwards
  switch (msg) {
    case WM_UPDATE_EVENTS:
      // Whoever posted it, only what the engine put in the queue is done. An object that is
      // gone afterwards leaves nothing for the engine's handling.
      handled = TakeEvents();
      break;
    case WM_TIMER:
      // The window's own timers (the skin's have ids far above these). Anyone may post a
      // WM_TIMER: the completion timer's counts only while it runs.
      // After TakeEvents the object may be gone: nothing of it is read then.
      handled = wparam == kEventTimerId || wparam == kCompletionTimerId;
      if (wparam == kEventTimerId) {
        TakeEvents();
      } else if (wparam == kCompletionTimerId && m_completionTimerRunning) {
        m_controller.OnCompletionTimer();
      }
      break;
    case WM_QUERYENDSESSION:
      // While product files move the session waits, and Windows shows the user why.
      if (m_owner.FilesMoving()) {
        ::ShutdownBlockReasonCreate(GetHWND(), m_texts.Get(L"shutdown_updating_files").c_str());
        handled = true;
        return FALSE;
      }
      ::ShutdownBlockReasonDestroy(GetHWND());
      break;
    case WM_ENDSESSION:
      // The session ends now: the files are made whole (a failed replacement rolled back)
      // before this returns and the process is ended.
      if (wparam) m_owner.SessionEnds();
      break;
    default: break;
  }
  return 0;
}

void CWnd_Main::StartCompletionTimer(unsigned ms) {
  m_completionTimerRunning = ::SetTimer(GetHWND(), kCompletionTimerId, ms, nullptr) != 0;
}

void CWnd_Main::StopCompletionTimer() {
  m_completionTimerRunning = false;
  ::KillTimer(GetHWND(), kCompletionTimerId);
}

void CWnd_Main::PostCloseAndQuit() {
  HWND hwnd = GetHWND();
  if (::IsWindow(hwnd)) ::PostMessageW(hwnd, WM_CLOSE, 1, 0);
  ::PostMessageW(hwnd, WM_QUIT, 0, 0);
}

void CWnd_Main::ShowFatalBox(const std::wstring& text) {
  ShowBox(Context(), GetHWND(), BoxKind::kError, {m_texts.Get(L"update"), text, m_texts.Get(L"ok"), {}, {}},
          [this](const std::string& line) { m_owner.Record(line); });
}

int CWnd_Main::ModalBoxesOver() const { return Skin::ModalWindowsOver(Context().ModalCounts(), m_keptHwnd); }

void CWnd_Main::Notify(Skin::SkinNotify& msg) {
  if (EqualsIgnoringAsciiCase(msg.type, L"click") && msg.sender != nullptr &&
      m_controller.OnClick(msg.sender->GetName())) {
    return;  // the engine's own minimise is not wanted as well
  }
  Skin::CSkinWindow::Notify(msg);
}

}  // namespace zr
