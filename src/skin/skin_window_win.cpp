#include "skin/skin_window_win.h"

#include <windowsx.h>

#include <algorithm>

#include "skin/markup_builder.h"
#include "skin/modal_windows_win.h"
#include "util/ascii.h"
#include "util/handle_win.h"

namespace Skin {

CSkinWindow::CSkinWindow(CSkinContext& context)
    : m_context(context), m_paintManager(std::make_unique<CPaintManager>(context)) {}

CSkinWindow::~CSkinWindow() { m_paintManager->SetNotifier(nullptr); }

void CSkinWindow::OnFinalMessage(HWND) { m_paintManager->SetNotifier(nullptr); }

void CSkinWindow::Notify(SkinNotify& msg) {
  if (zr::EqualsIgnoringAsciiCase(msg.type, L"click")) OnClick(msg);
}

void CSkinWindow::OnClick(SkinNotify& msg) {
  if (!msg.sender) return;
  const std::wstring& name = msg.sender->GetName();
  if (name == L"closebtn") Close(1);
  if (name == L"minbtn") SendMessage(WM_SYSCOMMAND, SC_MINIMIZE, 0);
}

bool CSkinWindow::IsInStaticControl(CControlUI* control) const {
  static const wchar_t* const kStatic[] = {L"controlui",          L"textui",           L"labelui",    L"containerui",
                                           L"horizontallayoutui", L"verticallayoutui", L"tablayoutui"};
  if (!control) return false;
  for (CControlUI* c = control; c; c = c->GetParent()) {
    if (std::find(std::begin(kStatic), std::end(kStatic), zr::AsciiLower(c->GetClass())) == std::end(kStatic)) {
      return false;
    }
  }
  return true;
}

LRESULT CSkinWindow::OnNcHitTest(UINT, WPARAM, LPARAM lparam, bool&) {
  // Decided in document units, as the document gives the caption.
  POINT device{GET_X_LPARAM(lparam), GET_Y_LPARAM(lparam)};
  ::ScreenToClient(m_hwnd, &device);
  const SkinPoint pt = m_paintManager->Scale().ToDocument(SkinPoint{device.x, device.y});
  const SkinSize size = m_paintManager->GetClientSize();
  const SkinRect& cap = m_paintManager->Window().caption;
  if (pt.x >= cap.left && pt.x < size.cx - cap.right && pt.y >= cap.top && pt.y < cap.bottom) {
    CControlUI* control = m_paintManager->FindControl(pt);
    if (control && IsInStaticControl(control)) return HTCAPTION;
  }
  return HTCLIENT;
}

void CSkinWindow::OnSize() {
  SkinSize round = m_paintManager->Scale().ToDevice(m_paintManager->Window().roundcorner);
  if (!::IsIconic(m_hwnd) && (round.cx != 0 || round.cy != 0)) {
    RECT rc;
    ::GetWindowRect(m_hwnd, &rc);
    zr::CGdiObject region(
        ::CreateRoundRectRgn(0, 0, rc.right - rc.left + 1, rc.bottom - rc.top + 1, round.cx, round.cy));
    // Once set, the region belongs to the system.
    if (region && ::SetWindowRgn(m_hwnd, static_cast<HRGN>(region.get()), TRUE)) region.Release();
  }
}

namespace {

// A document that cannot be built is fatal to its window: the error box, then the window is not
// created (Create gives nullptr), and a program without its window ends with exit code 1.
void ShowSkinLoadFailure(const std::wstring& file) {
  std::wstring text = L"\u52A0\u8F7D\u8D44\u6E90\u6587\u4EF6\u5931\u8D25\uFF1A" + file;  // 加载资源文件失败：
  ::MessageBoxW(nullptr, text.c_str(), L"Skin", MB_ICONERROR);
}

}  // namespace

LRESULT CSkinWindow::OnCreate() {
  const LONG style = ::GetWindowLongW(m_hwnd, GWL_STYLE) & ~WS_CAPTION;
  ::SetWindowLongW(m_hwnd, GWL_STYLE, style | WS_CLIPSIBLINGS | WS_CLIPCHILDREN);
  m_host = std::make_unique<CWindowHost>(m_hwnd, *m_paintManager);
  m_paintManager->Init(m_host.get());

  std::wstring file = GetSkinFile();
  CControlUI* root = CMarkupBuilder::Create(file, *m_paintManager);
  if (!root) {
    ShowSkinLoadFailure(file);
    return -1;  // CreateWindowEx fails
  }

  m_paintManager->AttachDialog(root);
  m_paintManager->SetNotifier(this);
  m_accessibility = std::make_unique<CWindowAccessibility>(m_hwnd, *m_paintManager);
  // No non-client area: the window takes the size its document asks of the client, at its DPI (a
  // document without one keeps it), centred in the same placement if asked (one trip to the display).
  const SkinSize size = m_paintManager->Scale().ToDevice(m_paintManager->Window().size);
  CenterWindow(SIZE{size.cx, size.cy}, SWP_FRAMECHANGED | (m_centred ? 0 : SWP_NOMOVE));
  InitWindow();
  m_paintManager->DecodeAhead();  // while the system shows the window
  return 0;
}

bool CSkinWindow::KeepShape(UINT msg, WPARAM wparam, LPARAM lparam, LRESULT& result) {
  const SkinSize size = m_paintManager->Scale().ToDevice(m_paintManager->Window().size);
  if (size.cx <= 0 || size.cy <= 0) return false;  // no document yet
  switch (msg) {
    case WM_GETMINMAXINFO: {
      // Every size the system may pick is the document's; "maximised" stays where it is.
      auto* info = reinterpret_cast<MINMAXINFO*>(lparam);
      info->ptMinTrackSize = info->ptMaxTrackSize = info->ptMaxSize = POINT{size.cx, size.cy};
      MONITORINFO mi = {};
      mi.cbSize = sizeof(mi);
      RECT rc;
      if (::GetMonitorInfoW(::MonitorFromWindow(m_hwnd, MONITOR_DEFAULTTONEAREST), &mi) &&
          ::GetWindowRect(m_hwnd, &rc)) {
        info->ptMaxPosition = POINT{rc.left - mi.rcMonitor.left, rc.top - mi.rcMonitor.top};
      }
      return false;
    }
    case WM_SIZING: {
      // A drag on a sizing edge (should one be offered): the dragged edges give way.
      auto* r = reinterpret_cast<RECT*>(lparam);
      const bool left = wparam == WMSZ_LEFT || wparam == WMSZ_TOPLEFT || wparam == WMSZ_BOTTOMLEFT;
      const bool top = wparam == WMSZ_TOP || wparam == WMSZ_TOPLEFT || wparam == WMSZ_TOPRIGHT;
      if (left)
        r->left = r->right - size.cx;
      else
        r->right = r->left + size.cx;
      if (top)
        r->top = r->bottom - size.cy;
      else
        r->bottom = r->top + size.cy;
      result = TRUE;
      return true;
    }
    case WM_WINDOWPOSCHANGING: {
      // Any other size asked of the window (a snap, SetWindowPos), except the minimised one.
      auto* pos = reinterpret_cast<WINDOWPOS*>(lparam);
      if (!(pos->flags & SWP_NOSIZE) && !::IsIconic(m_hwnd)) {
        pos->cx = size.cx;
        pos->cy = size.cy;
      }
      return false;
    }
    case WM_SIZE:
      // Maximised all the same (ShowWindow): back to the normal state, which looks the same.
      if (wparam == SIZE_MAXIMIZED) ::PostMessageW(m_hwnd, WM_SYSCOMMAND, SC_RESTORE, 0);
      return false;
    default: return false;
  }
}

LRESULT CSkinWindow::HandleMessage(UINT msg, WPARAM wparam, LPARAM lparam) {
  LRESULT result = 0;
  if (KeepShape(msg, wparam, lparam, result)) return result;
  if (m_accessibility && m_accessibility->HandleMessage(msg, wparam, lparam, result)) return result;
  bool handled = true;
  switch (msg) {
    case WM_CREATE: result = OnCreate(); break;
    case WM_CLOSE:
      m_closeAnswer = static_cast<UINT>(wparam);
      result = OnClose(msg, wparam, lparam, handled);
      break;
    case WM_NCACTIVATE:
      // No frame is drawn; a minimised window gets the default handling.
      handled = !::IsIconic(m_hwnd);
      if (handled) result = wparam == 0 ? TRUE : FALSE;
      break;
    case WM_NCCALCSIZE:  // no non-client area
    case WM_NCPAINT:     // nothing drawn there
      break;
    case WM_NCHITTEST: result = OnNcHitTest(msg, wparam, lparam, handled); break;
    case WM_SIZE:
      OnSize();
      handled = false;
      break;
    case WM_SYSCOMMAND: {
      // SC_CLOSE as WM_CLOSE; SC_SIZE and SC_MAXIMIZE refused (the size is the document's).
      const WPARAM command = wparam & 0xFFF0;
      if (command == SC_CLOSE) {
        SendMessage(WM_CLOSE);
      } else if (command != SC_SIZE && command != SC_MAXIMIZE) {
        result = ::DefWindowProcW(m_hwnd, msg, wparam, lparam);
      }
      break;
    }
    default: handled = false; break;
  }
  if (handled) return result;
  result = HandleCustomMessage(msg, wparam, lparam, handled);
  if (handled) return result;
  if (m_host && m_host->HandleMessage(msg, wparam, lparam, result)) return result;
  return CWindowBase::HandleMessage(msg, wparam, lparam);
}

UINT CSkinWindow::ShowModal() {
  if (!::IsWindow(m_hwnd)) return 0;
  HWND owner = ::GetWindow(m_hwnd, GW_OWNER);
  ::ShowWindow(m_hwnd, SW_SHOWNORMAL);
  MSG msg = {};
  bool quit = false;
  {
    CModalHold hold(m_context.ModalCounts(), owner);
    HWND self = m_hwnd;
    while (::IsWindow(self)) {
      BOOL got = ::GetMessageW(&msg, nullptr, 0, 0);
      if (got == 0 || got == -1) {
        quit = got == 0;
        break;
      }
      TranslateSkinMessage(&msg);
      ::TranslateMessage(&msg);
      ::DispatchMessageW(&msg);
    }
    if (::IsWindow(self)) ::DestroyWindow(self);  // ended by WM_QUIT: the box goes now
  }
  if (quit) ::PostQuitMessage(static_cast<int>(msg.wParam));
  return m_closeAnswer;
}

void TranslateSkinMessage(const MSG* msg) {
  if (!msg->hwnd || msg->message != WM_KEYDOWN || (msg->wParam != VK_RETURN && msg->wParam != VK_ESCAPE)) return;
  const HWND root = ::GetAncestor(msg->hwnd, GA_ROOT);
  for (HWND hwnd : {msg->hwnd, root}) {
    if (auto* window = dynamic_cast<CSkinWindow*>(CWindowBase::FromOwnWindow(hwnd))) window->OnDefaultKey(msg->wParam);
    if (root == msg->hwnd) break;
  }
}

void MessageLoop() {
  MSG msg;
  while (::GetMessageW(&msg, nullptr, 0, 0) > 0) {
    TranslateSkinMessage(&msg);
    ::TranslateMessage(&msg);
    ::DispatchMessageW(&msg);
  }
}

}  // namespace Skin
