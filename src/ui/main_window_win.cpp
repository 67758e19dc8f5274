#include "ui/main_window_win.h"

#include <process.h>
#include <windowsx.h>

#include <atomic>
#include <cstdint>
#include <memory>

#include "skin/resources.h"
#include "skin/skin_string.h"
#include "ui/circle_label.h"
#include "ui/hit_test.h"
#include "ui/message_box_win.h"
#include "ui/string_table.h"
#include "update/file_stage_win.h"
#include "update/launch.h"
#include "update/platform.h"
#include "update/progress.h"
#include "update/update_context.h"
#include "util/paths.h"

namespace zr {
namespace {

static_assert(WM_UPDATE_QUIT == WM_QUIT, "the engine's quit message is WM_QUIT");

std::atomic<CWnd_Main*> g_mainWindow{nullptr};
std::atomic<HWND> g_mainWindowHandle{nullptr};

constexpr UINT_PTR kCompletionTimerId = 1000;
constexpr UINT kFatalBoxType = 0x10;

// The launch's status line goes to the window itself, like every other status text.
class CSelfPoster : public IMessagePoster {
 public:
  explicit CSelfPoster(HWND hwnd) : m_hwnd(hwnd) {}
  bool PostToMainWindow(uint32_t message, intptr_t lParam) override {
    return ::PostMessageW(m_hwnd, message, 0, lParam) != FALSE;
  }

 private:
  HWND m_hwnd;
};

void CALLBACK CompletionTimerProc(HWND, UINT, UINT_PTR id, DWORD) {
  if (id != kCompletionTimerId) return;
  if (CWnd_Main* window = GetMainWindow()) window->OnCompletionTimer();
}

}  // namespace

CWnd_Main* GetMainWindow() { return g_mainWindow.load(); }
void SetMainWindow(CWnd_Main* window) { g_mainWindow.store(window); }
HWND GetMainWindowHandle() { return g_mainWindowHandle.load(); }

void CWnd_Main::InitWindow() {
  SetMainWindow(this);
  m_hwnd = GetHWND();
  g_mainWindowHandle.store(m_hwnd);
  m_controller.Init(GetPaintManager());

  m_context = new CUpdateContext();
  // Never joined: the process ends with the UI thread's loop.
  const uintptr_t thread = _beginthreadex(nullptr, 0, m_workerEntry, m_context, 0, nullptr);
  (void)thread;
}

void CWnd_Main::OnFinalMessage(HWND hwnd) {
  Skin::CSkinWindow::OnFinalMessage(hwnd);
  // The worker must not find a window that is going away.
  CWnd_Main* self = this;
  if (g_mainWindow.compare_exchange_strong(self, nullptr)) g_mainWindowHandle.store(nullptr);
  m_controller.OnWindowGone();
  if (!m_hwnd) m_hwnd = hwnd;
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
  POINT point{GET_X_LPARAM(lparam), GET_Y_LPARAM(lparam)};
  ::ScreenToClient(GetHWND(), &point);
  RECT client{};
  ::GetClientRect(GetHWND(), &client);
  switch (DecideMainHitTest(GetPaintManager(), Skin::SkinPoint{point.x, point.y},
                            Skin::SkinRect{client.left, client.top, client.right, client.bottom})) {
    case MainHitTest::kClient:
      return HTCLIENT;
    case MainHitTest::kCaption:
      return HTCAPTION;
    case MainHitTest::kUseDefault:
      break;
  }
  return Skin::CSkinWindow::OnNcHitTest(msg, wparam, lparam, handled);
}

LRESULT CWnd_Main::OnSysCommand(UINT msg, WPARAM wparam, LPARAM lparam, bool& handled) {
  if ((wparam & 0xFFF0) == SC_MAXIMIZE) {
    handled = true;  // never maximised, from the menu or by a double click
    return 0;
  }
  return Skin::CSkinWindow::OnSysCommand(msg, wparam, lparam, handled);
}

LRESULT CWnd_Main::HandleCustomMessage(UINT msg, WPARAM wparam, LPARAM lparam, bool& handled) {
  handled = false;  // the engine's own handling runs afterwards
  switch (msg) {
    case WM_UPDATE_PROGRESS:
      m_controller.OnProgress(lparam);
      break;
    case WM_UPDATE_SPEED:
      m_controller.OnSpeed(static_cast<int32_t>(lparam));
      break;
    case WM_UPDATE_STATUS_TEXT: {
      std::unique_ptr<std::wstring> text(reinterpret_cast<std::wstring*>(lparam));
      if (text) m_controller.OnStatusText(*text);
      break;
    }
    case WM_UPDATE_FATAL_TEXT: {
      std::unique_ptr<std::wstring> text(reinterpret_cast<std::wstring*>(lparam));
      m_controller.OnFatalText(text ? *text : std::wstring());
      if (m_controller.WindowGone()) {
        // The window went while the box was open: the engine must not go on with it, and the
        // object goes now unless an outer handler's box or another thread's is still open.
        handled = true;
        DeleteIfUnused();
      }
      return 0;
    }
    case WM_UPDATE_SUCCEEDED:
      m_controller.OnSucceeded();
      break;
    case WM_UPDATE_FINISHED:
      m_controller.OnFinished();
      break;
    case WM_QUERYENDSESSION:
      // While product files move the session waits, and Windows shows the user why.
      if (FileStageRunning()) {
        ::ShutdownBlockReasonCreate(GetHWND(), StringTable::Get(L"shutdown_updating_files").c_str());
        handled = true;
        return FALSE;
      }
      ::ShutdownBlockReasonDestroy(GetHWND());
      break;
    case WM_ENDSESSION:
      // The session ends now: the files are made whole (a failed replacement rolled back)
      // before this returns and the process is ended.
      if (wparam) FinishFileStage();
      break;
    default:
      break;
  }
  return 0;
}

void CWnd_Main::StartCompletionTimer(unsigned ms) {
  ::SetTimer(GetHWND(), kCompletionTimerId, ms, &CompletionTimerProc);
}

void CWnd_Main::StopCompletionTimer() { ::KillTimer(GetHWND(), kCompletionTimerId); }

void CWnd_Main::LaunchProduct() {
  const std::wstring directory = Skin::CResourceSettings::GetInstancePath();
  CSelfPoster poster(GetHWND());
  zr::LaunchProduct(MakeProductPath(directory.c_str()), poster);
}

void CWnd_Main::PostCloseAndQuit() {
  HWND hwnd = GetHWND();
  if (::IsWindow(hwnd)) ::PostMessageW(hwnd, WM_CLOSE, 1, 0);
  ::PostMessageW(hwnd, WM_QUIT, 0, 0);
}

void CWnd_Main::PostQuit() { ::PostQuitMessage(0); }

void CWnd_Main::Minimise() { ::ShowWindow(GetHWND(), SW_MINIMIZE); }

void CWnd_Main::ShowFatalBox(const std::wstring& text) {
  ShowPlainBox(StringTable::Get(L"update").c_str(), GetHWND(), text.c_str(), kFatalBoxType);
}

int CWnd_Main::ModalBoxesOver() const { return Skin::ModalWindowsOver(m_hwnd); }

void CWnd_Main::Notify(Skin::SkinNotify& msg) {
  if (Skin::EqualsNoCase(msg.type, L"click") && msg.sender != nullptr &&
      m_controller.OnClick(msg.sender->GetName())) {
    return;  // the engine's own minimise is not wanted as well
  }
  Skin::CSkinWindow::Notify(msg);
}

Skin::CControlUI* CWnd_Main::CreateControl(const wchar_t* className) {
  if (className != nullptr && std::wstring(className) == L"CircleLabelUI") return new CircleLabelUI();
  return nullptr;
}

}  // namespace zr
