#include "skin/skin_window_win.h"

#include <windowsx.h>

#include "skin/markup_builder.h"
#include "skin/skin_string.h"
#include "util/handle_win.h"

namespace Skin {

CSkinWindow::CSkinWindow() : m_paintManager(std::make_unique<CPaintManager>()) {}

CSkinWindow::~CSkinWindow() {
  if (m_host) m_host->Forget();
  m_paintManager->RemovePreMessageFilter(this);
  m_paintManager->RemoveNotifier(this);
}

void CSkinWindow::OnFinalMessage(HWND) {
  m_paintManager->RemovePreMessageFilter(this);
  m_paintManager->RemoveNotifier(this);
  m_paintManager->ProcessDeferredWork();
  if (m_host) m_host->Forget();
}

void CSkinWindow::Notify(SkinNotify& msg) {
  if (EqualsNoCase(msg.type, L"click")) OnClick(msg);
}

void CSkinWindow::OnClick(SkinNotify& msg) {
  if (!msg.sender) return;
  const std::wstring& name = msg.sender->GetName();
  if (name == L"closebtn") {
    Close(1);
  } else if (name == L"minbtn") {
    SendMessage(WM_SYSCOMMAND, SC_MINIMIZE, 0);
  } else if (name == L"maxbtn") {
    SendMessage(WM_SYSCOMMAND, SC_MAXIMIZE, 0);
  } else if (name == L"restorebtn") {
    SendMessage(WM_SYSCOMMAND, SC_RESTORE, 0);
  }
}

bool CSkinWindow::IsInStaticControl(CControlUI* control) const {
  static const wchar_t* const kStatic[] = {
      L"controlui",   L"textui",          L"labelui",        L"containerui",
      L"horizontallayoutui", L"verticallayoutui", L"tablayoutui", L"childlayoutui",
      L"dialoglayoutui", L"progresscontainerui"};
  if (!control) return false;
  for (CControlUI* c = control; c; c = c->GetParent()) {
    std::wstring cls = AsciiLower(c->GetClass());
    bool found = false;
    for (const wchar_t* s : kStatic) found = found || cls == s;
    if (!found) return false;
  }
  return true;
}

CControlUI* CSkinWindow::CreateControl(const wchar_t*) { return nullptr; }

std::wstring CSkinWindow::GetControlText(const std::wstring&, const std::wstring&) {
  return std::wstring();
}

LResult CSkinWindow::FilterMessage(unsigned msg, WParam wparam, LParam, bool& handled) {
  if (msg == WM_KEYDOWN && (wparam == VK_RETURN || wparam == VK_ESCAPE)) {
    OnDefaultKey(wparam);  // consulted; no key closes a window
  }
  handled = false;
  return 0;
}

LRESULT CSkinWindow::OnNcHitTest(UINT, WPARAM, LPARAM lparam, bool&) {
  // Decided in document units, as the document gives the caption and the sizing border.
  POINT device{GET_X_LPARAM(lparam), GET_Y_LPARAM(lparam)};
  ::ScreenToClient(m_hwnd, &device);
  const SkinPoint pt = m_paintManager->Scale().ToDocument(SkinPoint{device.x, device.y});
  const SkinSize size = m_paintManager->GetClientSize();
  const RECT client{0, 0, size.cx, size.cy};
  const WindowSettings& w = m_paintManager->Window();
  if (!::IsZoomed(m_hwnd)) {
    const SkinRect& box = w.sizebox;
    if (pt.y < client.top + box.top) {
      if (pt.x < client.left + box.left) return HTTOPLEFT;
      if (pt.x > client.right - box.right) return HTTOPRIGHT;
      return HTTOP;
    }
    if (pt.y > client.bottom - box.bottom) {
      if (pt.x < client.left + box.left) return HTBOTTOMLEFT;
      if (pt.x > client.right - box.right) return HTBOTTOMRIGHT;
      return HTBOTTOM;
    }
    if (pt.x < client.left + box.left) return HTLEFT;
    if (pt.x > client.right - box.right) return HTRIGHT;
  }
  const SkinRect& cap = w.caption;
  if (pt.x >= client.left + cap.left && pt.x < client.right - cap.right && pt.y >= cap.top &&
      pt.y < cap.bottom) {
    CControlUI* control = m_paintManager->FindControl(SkinPoint{pt.x, pt.y});
    if (control && IsInStaticControl(control)) return HTCAPTION;
  }
  return HTCLIENT;
}

void CSkinWindow::OnGetMinMaxInfo(MINMAXINFO* info) {
  MONITORINFO mi = {};
  mi.cbSize = sizeof(mi);
  if (::GetMonitorInfoW(::MonitorFromWindow(m_hwnd, MONITOR_DEFAULTTONEAREST), &mi)) {
    info->ptMaxPosition.x = mi.rcWork.left - mi.rcMonitor.left;
    info->ptMaxPosition.y = mi.rcWork.top - mi.rcMonitor.top;
    info->ptMaxSize.x = mi.rcWork.right - mi.rcWork.left;
    info->ptMaxSize.y = mi.rcWork.bottom - mi.rcWork.top;
  }
  const WindowSettings& w = m_paintManager->Window();
  const CDpiScale& scale = m_paintManager->Scale();
  const SkinSize minSize = scale.ToDevice(w.mininfo), maxSize = scale.ToDevice(w.maxinfo);
  if (minSize.cx > 0) info->ptMinTrackSize.x = minSize.cx;
  if (minSize.cy > 0) info->ptMinTrackSize.y = minSize.cy;
  if (maxSize.cx > 0) info->ptMaxTrackSize.x = maxSize.cx;
  if (maxSize.cy > 0) info->ptMaxTrackSize.y = maxSize.cy;
  const SkinSize size = scale.ToDevice(w.size);
  if (KeepsDocumentSize() && size.cx > 0 && size.cy > 0) {
    // Every size the system may pick is the document's; "maximised" stays where it is.
    info->ptMinTrackSize = info->ptMaxTrackSize = info->ptMaxSize = POINT{size.cx, size.cy};
    RECT rc;
    if (::GetWindowRect(m_hwnd, &rc)) {
      info->ptMaxPosition = POINT{rc.left - mi.rcMonitor.left, rc.top - mi.rcMonitor.top};
    }
  }
}

void CSkinWindow::OnSize() {
  SkinSize round = m_paintManager->Scale().ToDevice(m_paintManager->Window().roundcorner);
  if (!::IsIconic(m_hwnd) && (round.cx != 0 || round.cy != 0)) {
    RECT rc;
    ::GetWindowRect(m_hwnd, &rc);
    zr::CGdiObject region(::CreateRoundRectRgn(0, 0, rc.right - rc.left + 1,
                                               rc.bottom - rc.top + 1, round.cx, round.cy));
    // Once set, the region belongs to the system.
    if (region && ::SetWindowRgn(m_hwnd, static_cast<HRGN>(region.get()), TRUE)) region.Release();
  }
}

LRESULT CSkinWindow::OnSysCommand(UINT msg, WPARAM wparam, LPARAM lparam, bool&) {
  if ((wparam & 0xFFF0) == SC_CLOSE) {
    SendMessage(WM_CLOSE);
    return 0;
  }
  if (KeepsDocumentSize() && ((wparam & 0xFFF0) == SC_SIZE || (wparam & 0xFFF0) == SC_MAXIMIZE)) {
    return 0;  // refused: the size is the document's
  }
  BOOL zoomed = ::IsZoomed(m_hwnd);
  LRESULT r = ::DefWindowProcW(m_hwnd, msg, wparam, lparam);
  if (::IsWindow(m_hwnd) && ::IsZoomed(m_hwnd) != zoomed) {
    bool now = ::IsZoomed(m_hwnd) != FALSE;
    if (CControlUI* max = m_paintManager->FindControl(L"maxbtn")) max->SetVisible(!now);
    if (CControlUI* restore = m_paintManager->FindControl(L"restorebtn")) restore->SetVisible(now);
  }
  return r;
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
  m_paintManager->Init(m_host.get(), L"");
  m_paintManager->AddPreMessageFilter(this);

  std::wstring file = GetSkinFile();
  CControlUI* root = CMarkupBuilder::Create(file, m_paintManager.get(), this, this);
  if (!root) {
    ShowSkinLoadFailure(file);
    return -1;  // CreateWindowEx fails
  }

  m_paintManager->AttachDialog(root);
  m_paintManager->AddNotifier(this);
  m_accessibility = std::make_unique<CWindowAccessibility>(m_hwnd, *m_paintManager);
  SkinSize size = m_paintManager->Scale().ToDevice(m_paintManager->Window().size);
  if (size.cx > 0 && size.cy > 0) {
    // No non-client area: the window is as large as the document asks its client to be, at
    // the window's DPI.
    ::SetWindowPos(m_hwnd, nullptr, 0, 0, size.cx, size.cy,
                   SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
  } else {
    ::SetWindowPos(m_hwnd, nullptr, 0, 0, 0, 0,
                   SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
  }
  InitWindow();
  return 0;
}

bool CSkinWindow::KeepShape(UINT msg, WPARAM wparam, LPARAM lparam, LRESULT& result) {
  const SkinSize size = m_paintManager->Scale().ToDevice(m_paintManager->Window().size);
  if (size.cx <= 0 || size.cy <= 0) return false;  // no document yet
  switch (msg) {
    case WM_SIZING: {
      // A drag on a sizing edge (should one be offered): the dragged edges give way.
      auto* r = reinterpret_cast<RECT*>(lparam);
      const bool left = wparam == WMSZ_LEFT || wparam == WMSZ_TOPLEFT || wparam == WMSZ_BOTTOMLEFT;
      const bool top = wparam == WMSZ_TOP || wparam == WMSZ_TOPLEFT || wparam == WMSZ_TOPRIGHT;
      if (left) r->left = r->right - size.cx; else r->right = r->left + size.cx;
      if (top) r->top = r->bottom - size.cy; else r->bottom = r->top + size.cy;
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
    default:
      return false;
  }
}

LRESULT CSkinWindow::HandleMessage(UINT msg, WPARAM wparam, LPARAM lparam) {
  LRESULT result = 0;
  if (KeepsDocumentSize() && KeepShape(msg, wparam, lparam, result)) return result;
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
    case WM_GETMINMAXINFO:
      OnGetMinMaxInfo(reinterpret_cast<MINMAXINFO*>(lparam));
      handled = false;
      break;
    case WM_SIZE:
      OnSize();
      handled = false;
      break;
    case WM_SYSCOMMAND: result = OnSysCommand(msg, wparam, lparam, handled); break;
    default: handled = false; break;
  }
  if (handled) {
    if (msg == WM_NCHITTEST && KeepsDocumentSize() &&
        ((result >= HTSIZEFIRST && result <= HTSIZELAST) || result == HTSIZE)) {
      result = HTCLIENT;  // no sizing border or handle
    }
    return result;
  }
  result = HandleCustomMessage(msg, wparam, lparam, handled);
  if (handled) return result;
  if (m_host && m_host->HandleMessage(msg, wparam, lparam, result)) return result;
  return CWindowBase::HandleMessage(msg, wparam, lparam);
}

}  // namespace Skin
