#include "ui/main_window_win.h"

#include <process.h>
#include <windowsx.h>

#include <atomic>
#include <cstdint>
#include <memory>

#include "skin/button.h"
#include "skin/container.h"
#include "skin/label.h"
#include "skin/progress.h"
#include "skin/resources.h"
#include "skin/skin_string.h"
#include "ui/circle_label.h"
#include "ui/hit_test.h"
#include "ui/message_box_win.h"
#include "ui/string_table.h"
#include "ui/transfer_speed.h"
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

constexpr wchar_t kProductName[] = L"Zoria投屏助手";
constexpr wchar_t kTitleFormat[] = L"更新%ls";
constexpr wchar_t kCompletionPicture[] = L"file = 'install_img_03@2x.png'";
constexpr UINT_PTR kCompletionTimerId = 1000;
constexpr UINT kCompletionTimerMs = 3000;
constexpr int kCompletionPage = 1;
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

template <typename T>
T* Find(Skin::CPaintManager& manager, const wchar_t* name) {
  return dynamic_cast<T*>(manager.FindControl(name));
}

}  // namespace

CWnd_Main* GetMainWindow() { return g_mainWindow.load(); }
void SetMainWindow(CWnd_Main* window) { g_mainWindow.store(window); }
HWND GetMainWindowHandle() { return g_mainWindowHandle.load(); }

void CWnd_Main::InitWindow() {
  SetMainWindow(this);
  m_hwnd = GetHWND();
  g_mainWindowHandle.store(m_hwnd);

  Skin::CPaintManager& manager = GetPaintManager();
  m_minButton = Find<Skin::CButtonUI>(manager, L"minbtn");
  m_closeButton = Find<Skin::CButtonUI>(manager, L"closebtn");
  m_pages = Find<Skin::CTabLayoutUI>(manager, L"tab_update_view");
  m_background = Find<Skin::CLabelUI>(manager, L"labBk");
  m_title = Find<Skin::CTextUI>(manager, L"lab_captionTitle");
  m_startButton = Find<Skin::CButtonUI>(manager, L"btn_runprogram");
  m_fileLine = Find<Skin::CLabelUI>(manager, L"lb_file");
  m_speedLine = Find<Skin::CLabelUI>(manager, L"lb_speed");
  m_progress = Find<Skin::CProgressUI>(manager, L"pro_pos");
  m_updatingCaption = Find<Skin::CLabelUI>(manager, L"lab_install_tip");
  m_productCaption = Find<Skin::CLabelUI>(manager, L"lab_install_name");
  m_completedCaption = Find<Skin::CLabelUI>(manager, L"lab_install_completed");

  m_context = new CUpdateContext();
  // Never joined: the process ends with the UI thread's loop.
  const uintptr_t thread = _beginthreadex(nullptr, 0, m_workerEntry, m_context, 0, nullptr);
  (void)thread;

  Skin::CSkinString title;
  title.Format(kTitleFormat, kProductName);
  if (m_title) m_title->SetText(title.str());
  if (m_productCaption) m_productCaption->SetText(kProductName);
  if (m_updatingCaption) m_updatingCaption->SetVisible(true);
  if (m_productCaption) m_productCaption->SetVisible(true);
  if (m_completedCaption) m_completedCaption->SetVisible(false);
}

void CWnd_Main::OnFinalMessage(HWND hwnd) {
  Skin::CSkinWindow::OnFinalMessage(hwnd);
  // The worker must not find a window that is going away.
  CWnd_Main* self = this;
  if (g_mainWindow.compare_exchange_strong(self, nullptr)) g_mainWindowHandle.store(nullptr);
  m_finalSeen = true;
  if (!m_hwnd) m_hwnd = hwnd;
  DeleteIfUnused();  // else the handler running a box deletes the object when it returns
}

bool CWnd_Main::DeleteIfUnused() {
  if (!m_finalSeen || m_boxDepth > 0 || Skin::ModalWindowsOver(m_hwnd) > 0) return false;
  delete this;
  return true;
}

LRESULT CWnd_Main::OnClose(UINT, WPARAM, LPARAM, bool& handled) {
  m_closing = true;
  ::PostQuitMessage(0);
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
      if (m_progress && lparam >= 0 && lparam <= 100) m_progress->SetValue(static_cast<int>(lparam));
      break;
    case WM_UPDATE_SPEED: {
      const int32_t speed = static_cast<int32_t>(lparam);
      if (m_speedLine) m_speedLine->SetText(speed < 0 ? std::wstring() : FormatTransferSpeed(speed));
      break;
    }
    case WM_UPDATE_STATUS_TEXT: {
      std::unique_ptr<std::wstring> text(reinterpret_cast<std::wstring*>(lparam));
      if (text && m_fileLine) m_fileLine->SetText(*text);
      break;
    }
    case WM_UPDATE_FATAL_TEXT:
      ShowFatalText(reinterpret_cast<std::wstring*>(lparam));
      if (m_finalSeen) {
        // The window went while the box was open: the engine must not go on with it, and the
        // object goes now unless an outer handler's box or another thread's is still open.
        handled = true;
        DeleteIfUnused();
      }
      return 0;
    case WM_UPDATE_SUCCEEDED:
      ShowCompletionPage();
      break;
    case WM_UPDATE_FINISHED:
      CloseAndQuit();
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

void CWnd_Main::ShowFatalText(std::wstring* payload) {
  std::unique_ptr<std::wstring> text(payload);
  ++m_boxDepth;
  ShowPlainBox(StringTable::Get(L"update").c_str(), GetHWND(), text ? text->c_str() : L"",
               kFatalBoxType);
  --m_boxDepth;
  text.reset();
  if (!m_finalSeen) CloseAndQuit();
}

void CWnd_Main::ShowCompletionPage() {
  if (m_pages) m_pages->SelectItem(kCompletionPage);
  if (m_background) m_background->SetBkImage(kCompletionPicture);
  if (m_updatingCaption) m_updatingCaption->SetVisible(false);
  if (m_productCaption) m_productCaption->SetVisible(false);
  if (m_completedCaption) m_completedCaption->SetVisible(true);
  ::SetTimer(GetHWND(), kCompletionTimerId, kCompletionTimerMs, &CompletionTimerProc);
  if (m_startButton) m_startButton->SetText(StringTable::Get(L"ok"));
}

void CWnd_Main::OnCompletionTimer() {
  ::KillTimer(GetHWND(), kCompletionTimerId);
  LaunchProductAndClose();
}

void CWnd_Main::LaunchProductAndClose() {
  if (m_closing) return;
  m_closing = true;
  ::KillTimer(GetHWND(), kCompletionTimerId);
  const std::wstring directory = Skin::CResourceSettings::GetInstancePath();
  CSelfPoster poster(GetHWND());
  LaunchProduct(MakeProductPath(directory.c_str()), poster);
  CloseAndQuit();
}

void CWnd_Main::CloseAndQuit() {
  m_closing = true;
  HWND hwnd = GetHWND();
  if (::IsWindow(hwnd)) ::PostMessageW(hwnd, WM_CLOSE, 1, 0);
  ::PostMessageW(hwnd, WM_QUIT, 0, 0);
}

void CWnd_Main::Notify(Skin::SkinNotify& msg) {
  if (Skin::EqualsNoCase(msg.type, L"click") && msg.sender != nullptr) {
    const std::wstring& name = msg.sender->GetName();
    if (name == L"closebtn") {
      CloseAndQuit();
    } else if (name == L"btn_runprogram") {
      LaunchProductAndClose();
    } else if (name == L"minbtn") {
      ::ShowWindow(GetHWND(), SW_MINIMIZE);
      return;  // the engine's own minimise is not wanted as well
    }
  }
  Skin::CSkinWindow::Notify(msg);
}

Skin::CControlUI* CWnd_Main::CreateControl(const wchar_t* className) {
  if (className != nullptr && std::wstring(className) == L"CircleLabelUI") return new CircleLabelUI();
  return nullptr;
}

}  // namespace zr
