#include "skin/skin_window_win.h"

#include <windowsx.h>

#include <map>
#include <mutex>

#include "skin/markup_builder.h"
#include "skin/resources.h"
#include "skin/skin_string.h"
#include "util/handle_win.h"

namespace Skin {

// ---- Modal windows over an owner --------------------------------------------------------------

namespace {

// Open modal windows per owner, across threads: a box of the update worker and one of the UI
// thread may share the main window as owner.
struct ModalOwners {
  std::mutex mutex;
  std::map<HWND, int> open;
};

ModalOwners& TheModalOwners() {
  static ModalOwners* owners = new ModalOwners();  // lives until the process ends
  return *owners;
}

int AddModal(HWND owner, int delta) {
  ModalOwners& owners = TheModalOwners();
  std::lock_guard<std::mutex> lock(owners.mutex);
  int& count = owners.open[owner];
  count += delta;
  const int now = count;
  if (now <= 0) owners.open.erase(owner);
  return now;
}

// One modal window over an owner, for the life of its loop. EnableWindow is called outside the
// lock: across threads it waits for the owner's thread, which may be entering a box itself.
class CModalHold {
 public:
  explicit CModalHold(HWND owner) : owner_(owner) {
    if (!owner_) return;
    AddModal(owner_, 1);
    ::EnableWindow(owner_, FALSE);
  }
  ~CModalHold() {
    if (!owner_ || AddModal(owner_, -1) > 0) return;  // another box keeps it disabled
    if (!::IsWindow(owner_)) return;
    ::EnableWindow(owner_, TRUE);
    // A box opened on another thread meanwhile has disabled it already, or is about to: the
    // owner must end up disabled whatever the order of the two calls.
    if (ModalWindowsOver(owner_) > 0) {
      ::EnableWindow(owner_, FALSE);
      return;
    }
    ::SetFocus(owner_);
  }
  CModalHold(const CModalHold&) = delete;
  CModalHold& operator=(const CModalHold&) = delete;

 private:
  HWND owner_;
};

}  // namespace

int ModalWindowsOver(HWND owner) {
  if (!owner) return 0;
  ModalOwners& owners = TheModalOwners();
  std::lock_guard<std::mutex> lock(owners.mutex);
  auto it = owners.open.find(owner);
  return it == owners.open.end() ? 0 : it->second;
}

// ---- CWindowBase ---------------------------------------------------------------------------

CWindowBase::~CWindowBase() {
  if (hwnd_ && ::IsWindow(hwnd_)) {
    // The object goes before its window: detach so that no message reaches a dead object.
    ::SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
  }
}

LRESULT CWindowBase::HandleMessage(UINT msg, WPARAM wparam, LPARAM lparam) {
  return ::DefWindowProcW(hwnd_, msg, wparam, lparam);
}

void CWindowBase::OnFinalMessage(HWND) {}

bool CWindowBase::RegisterWindowClass() {
  HINSTANCE instance = static_cast<HINSTANCE>(CResourceSettings::GetInstance());
  if (!instance) instance = ::GetModuleHandleW(nullptr);
  WNDCLASSEXW wc = {};
  if (::GetClassInfoExW(instance, GetWindowClassName(), &wc)) return true;
  wc.cbSize = sizeof(wc);
  wc.style = GetClassStyle();
  wc.lpfnWndProc = &CWindowBase::WindowProc;
  wc.hInstance = instance;
  wc.hCursor = ::LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
  wc.lpszClassName = GetWindowClassName();
  return ::RegisterClassExW(&wc) != 0 || ::GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

HWND CWindowBase::Create(HWND parent, const wchar_t* title, DWORD style, DWORD ex_style, int x,
                         int y, int cx, int cy, HMENU menu) {
  if (!RegisterWindowClass()) return nullptr;
  HINSTANCE instance = static_cast<HINSTANCE>(CResourceSettings::GetInstance());
  if (!instance) instance = ::GetModuleHandleW(nullptr);
  ::CreateWindowExW(ex_style, GetWindowClassName(), title, style, x, y, cx, cy, parent, menu,
                    instance, this);
  return hwnd_;
}

LRESULT CALLBACK CWindowBase::WindowProc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) {
  CWindowBase* self = nullptr;
  if (msg == WM_NCCREATE) {
    auto* cs = reinterpret_cast<CREATESTRUCTW*>(lparam);
    self = static_cast<CWindowBase*>(cs->lpCreateParams);
    self->hwnd_ = hwnd;
    ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
  } else {
    self = reinterpret_cast<CWindowBase*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  }
  if (!self) return ::DefWindowProcW(hwnd, msg, wparam, lparam);
  if (msg == WM_NCDESTROY) {
    LRESULT r = ::DefWindowProcW(hwnd, msg, wparam, lparam);
    ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
    self->hwnd_ = nullptr;
    try {
      self->OnFinalMessage(hwnd);
    } catch (...) {
    }
    return r;
  }
  try {
    return self->HandleMessage(msg, wparam, lparam);
  } catch (...) {
    // Nothing may unwind through the system's code.
    return ::DefWindowProcW(hwnd, msg, wparam, lparam);
  }
}

void CWindowBase::ShowWindow(bool show, bool take_focus) {
  if (!::IsWindow(hwnd_)) return;
  ::ShowWindow(hwnd_, show ? (take_focus ? SW_SHOWNORMAL : SW_SHOWNOACTIVATE) : SW_HIDE);
}

UINT CWindowBase::ShowModal() {
  if (!::IsWindow(hwnd_)) return 0;
  HWND owner = ::GetWindow(hwnd_, GW_OWNER);
  ::ShowWindow(hwnd_, SW_SHOWNORMAL);
  MSG msg = {};
  bool quit = false;
  {
    CModalHold hold(owner);
    HWND self = hwnd_;
    while (::IsWindow(self)) {
      BOOL got = ::GetMessageW(&msg, nullptr, 0, 0);
      if (got == 0 || got == -1) {
        quit = got == 0;
        break;
      }
      if (TranslateSkinMessage(&msg)) continue;
      ::TranslateMessage(&msg);
      ::DispatchMessageW(&msg);
    }
    if (::IsWindow(self)) ::DestroyWindow(self);  // ended by WM_QUIT: the box goes now
  }
  if (quit) ::PostQuitMessage(static_cast<int>(msg.wParam));
  return close_answer_;
}

void CWindowBase::CenterWindow() {
  if (!::IsWindow(hwnd_)) return;
  RECT rc;
  ::GetWindowRect(hwnd_, &rc);
  int w = rc.right - rc.left, h = rc.bottom - rc.top;
  HWND owner = ::GetWindow(hwnd_, GW_OWNER);
  MONITORINFO mi = {};
  mi.cbSize = sizeof(mi);
  ::GetMonitorInfoW(::MonitorFromWindow(owner ? owner : hwnd_, MONITOR_DEFAULTTONEAREST), &mi);
  RECT area = mi.rcWork;
  RECT centre_on = area;
  if (owner && ::IsWindowVisible(owner) && !::IsIconic(owner)) ::GetWindowRect(owner, &centre_on);
  int x = (centre_on.left + centre_on.right) / 2 - w / 2;
  int y = (centre_on.top + centre_on.bottom) / 2 - h / 2;
  // Keep the whole window inside the work area.
  if (x + w > area.right) x = area.right - w;
  if (y + h > area.bottom) y = area.bottom - h;
  if (x < area.left) x = area.left;
  if (y < area.top) y = area.top;
  ::SetWindowPos(hwnd_, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void CWindowBase::Close(UINT answer) {
  if (!::IsWindow(hwnd_)) return;
  ::PostMessageW(hwnd_, WM_CLOSE, answer, 0);
}

BOOL CWindowBase::PostMessage(UINT msg, WPARAM wparam, LPARAM lparam) {
  return ::PostMessageW(hwnd_, msg, wparam, lparam);
}

LRESULT CWindowBase::SendMessage(UINT msg, WPARAM wparam, LPARAM lparam) {
  return ::SendMessageW(hwnd_, msg, wparam, lparam);
}

// ---- CNotifyRouter -------------------------------------------------------------------------

bool CNotifyRouter::RouteNotify(SkinNotify& msg) {
  for (const Route& r : GetNotifyMap()) {
    if (EqualsNoCase(r.type, msg.type)) {
      (this->*r.handler)(msg);
      return true;
    }
  }
  return false;
}

// ---- CSkinWindow ---------------------------------------------------------------------------

CSkinWindow::CSkinWindow() : paint_manager_(std::make_unique<CPaintManager>()) {}

CSkinWindow::~CSkinWindow() {
  if (host_) host_->Forget();
  paint_manager_->RemovePreMessageFilter(this);
  paint_manager_->RemoveNotifier(this);
}

void CSkinWindow::OnFinalMessage(HWND) {
  paint_manager_->RemovePreMessageFilter(this);
  paint_manager_->RemoveNotifier(this);
  paint_manager_->ProcessDeferredWork();
  if (host_) host_->Forget();
}

std::vector<CNotifyRouter::Route> CSkinWindow::GetNotifyMap() {
  return {Route{L"click", static_cast<Handler>(&CSkinWindow::OnClick)}};
}

void CSkinWindow::Notify(SkinNotify& msg) { RouteNotify(msg); }

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

bool CSkinWindow::IsInStaticControl(CControlUI* control) {
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

LONG CSkinWindow::GetStyle() {
  LONG style = ::GetWindowLongW(hwnd_, GWL_STYLE);
  return style & ~WS_CAPTION;
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

LRESULT CSkinWindow::OnNcActivate(UINT, WPARAM wparam, LPARAM, bool& handled) {
  if (::IsIconic(hwnd_)) {
    handled = false;
    return 0;
  }
  return wparam == 0 ? TRUE : FALSE;
}

LRESULT CSkinWindow::OnNcCalcSize(UINT, WPARAM, LPARAM, bool&) { return 0; }

LRESULT CSkinWindow::OnNcPaint(UINT, WPARAM, LPARAM, bool&) { return 0; }

LRESULT CSkinWindow::OnNcHitTest(UINT, WPARAM, LPARAM lparam, bool&) {
  POINT pt{GET_X_LPARAM(lparam), GET_Y_LPARAM(lparam)};
  ::ScreenToClient(hwnd_, &pt);
  RECT client;
  ::GetClientRect(hwnd_, &client);
  const WindowSettings& w = paint_manager_->Window();
  if (!::IsZoomed(hwnd_)) {
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
    CControlUI* control = paint_manager_->FindControl(SkinPoint{pt.x, pt.y});
    if (control && IsInStaticControl(control)) return HTCAPTION;
  }
  return HTCLIENT;
}

LRESULT CSkinWindow::OnGetMinMaxInfo(UINT, WPARAM, LPARAM lparam, bool& handled) {
  auto* info = reinterpret_cast<MINMAXINFO*>(lparam);
  MONITORINFO mi = {};
  mi.cbSize = sizeof(mi);
  if (::GetMonitorInfoW(::MonitorFromWindow(hwnd_, MONITOR_DEFAULTTONEAREST), &mi)) {
    info->ptMaxPosition.x = mi.rcWork.left - mi.rcMonitor.left;
    info->ptMaxPosition.y = mi.rcWork.top - mi.rcMonitor.top;
    info->ptMaxSize.x = mi.rcWork.right - mi.rcWork.left;
    info->ptMaxSize.y = mi.rcWork.bottom - mi.rcWork.top;
  }
  const WindowSettings& w = paint_manager_->Window();
  if (w.mininfo.cx > 0) info->ptMinTrackSize.x = w.mininfo.cx;
  if (w.mininfo.cy > 0) info->ptMinTrackSize.y = w.mininfo.cy;
  if (w.maxinfo.cx > 0) info->ptMaxTrackSize.x = w.maxinfo.cx;
  if (w.maxinfo.cy > 0) info->ptMaxTrackSize.y = w.maxinfo.cy;
  if (KeepsDocumentSize() && w.size.cx > 0 && w.size.cy > 0) {
    // Every size the system may pick is the document's; "maximised" stays where it is.
    info->ptMinTrackSize = info->ptMaxTrackSize = info->ptMaxSize = POINT{w.size.cx, w.size.cy};
    RECT rc;
    if (::GetWindowRect(hwnd_, &rc)) {
      info->ptMaxPosition = POINT{rc.left - mi.rcMonitor.left, rc.top - mi.rcMonitor.top};
    }
  }
  handled = false;
  return 0;
}

LRESULT CSkinWindow::OnSize(UINT, WPARAM, LPARAM, bool& handled) {
  SkinSize round = paint_manager_->Window().roundcorner;
  if (!::IsIconic(hwnd_) && (round.cx != 0 || round.cy != 0)) {
    RECT rc;
    ::GetWindowRect(hwnd_, &rc);
    zr::CGdiObject region(::CreateRoundRectRgn(0, 0, rc.right - rc.left + 1,
                                               rc.bottom - rc.top + 1, round.cx, round.cy));
    // Once set, the region belongs to the system.
    if (region && ::SetWindowRgn(hwnd_, static_cast<HRGN>(region.get()), TRUE)) region.Release();
  }
  handled = false;
  return 0;
}

LRESULT CSkinWindow::OnSysCommand(UINT msg, WPARAM wparam, LPARAM lparam, bool&) {
  if ((wparam & 0xFFF0) == SC_CLOSE) {
    SendMessage(WM_CLOSE);
    return 0;
  }
  if (KeepsDocumentSize() && ((wparam & 0xFFF0) == SC_SIZE || (wparam & 0xFFF0) == SC_MAXIMIZE)) {
    return 0;  // refused: the size is the document's
  }
  BOOL zoomed = ::IsZoomed(hwnd_);
  LRESULT r = ::DefWindowProcW(hwnd_, msg, wparam, lparam);
  if (::IsWindow(hwnd_) && ::IsZoomed(hwnd_) != zoomed) {
    bool now = ::IsZoomed(hwnd_) != FALSE;
    if (CControlUI* max = paint_manager_->FindControl(L"maxbtn")) max->SetVisible(!now);
    if (CControlUI* restore = paint_manager_->FindControl(L"restorebtn")) restore->SetVisible(now);
  }
  return r;
}

[[noreturn]] void FailToLoadSkin(const std::wstring& file) {
  std::wstring text = L"\u52A0\u8F7D\u8D44\u6E90\u6587\u4EF6\u5931\u8D25\uFF1A" + file;  // 加载资源文件失败：
  ::MessageBoxW(nullptr, text.c_str(), L"Skin", MB_ICONERROR);
  ::ExitProcess(1);
}

LRESULT CSkinWindow::OnCreate(UINT, WPARAM, LPARAM, bool&) {
  ::SetWindowLongW(hwnd_, GWL_STYLE, GetStyle() | WS_CLIPSIBLINGS | WS_CLIPCHILDREN);
  const wchar_t* manager_name = GetManagerName();
  host_ = std::make_unique<CWindowHost>(hwnd_, *paint_manager_);
  paint_manager_->Init(host_.get(), manager_name ? manager_name : L"");
  paint_manager_->AddPreMessageFilter(this);

  std::wstring file = GetSkinFile();
  CControlUI* root = nullptr;
  if (GetSkinType().empty()) {
    root = CMarkupBuilder::Create(file, paint_manager_.get(), this, this);
  }
  if (!root) FailToLoadSkin(file);

  paint_manager_->AttachDialog(root);
  paint_manager_->AddNotifier(this);
  SkinSize size = paint_manager_->Window().size;
  if (size.cx > 0 && size.cy > 0) {
    // No non-client area: the window is as large as the document asks its client to be.
    ::SetWindowPos(hwnd_, nullptr, 0, 0, size.cx, size.cy,
                   SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
  } else {
    ::SetWindowPos(hwnd_, nullptr, 0, 0, 0, 0,
                   SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
  }
  InitWindow();
  return 0;
}

bool CSkinWindow::KeepShape(UINT msg, WPARAM wparam, LPARAM lparam, LRESULT& result) {
  const SkinSize size = paint_manager_->Window().size;
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
      if (!(pos->flags & SWP_NOSIZE) && !::IsIconic(hwnd_)) {
        pos->cx = size.cx;
        pos->cy = size.cy;
      }
      return false;
    }
    case WM_SIZE:
      // Maximised all the same (ShowWindow): back to the normal state, which looks the same.
      if (wparam == SIZE_MAXIMIZED) ::PostMessageW(hwnd_, WM_SYSCOMMAND, SC_RESTORE, 0);
      return false;
    default:
      return false;
  }
}

LRESULT CSkinWindow::HandleMessage(UINT msg, WPARAM wparam, LPARAM lparam) {
  LRESULT result = 0;
  if (KeepsDocumentSize() && KeepShape(msg, wparam, lparam, result)) return result;
  bool handled = true;
  switch (msg) {
    case WM_CREATE: result = OnCreate(msg, wparam, lparam, handled); break;
    case WM_CLOSE:
      close_answer_ = static_cast<UINT>(wparam);
      result = OnClose(msg, wparam, lparam, handled);
      break;
    case WM_DESTROY: result = OnDestroy(msg, wparam, lparam, handled); break;
    case WM_NCACTIVATE: result = OnNcActivate(msg, wparam, lparam, handled); break;
    case WM_NCCALCSIZE: result = OnNcCalcSize(msg, wparam, lparam, handled); break;
    case WM_NCPAINT: result = OnNcPaint(msg, wparam, lparam, handled); break;
    case WM_NCHITTEST: result = OnNcHitTest(msg, wparam, lparam, handled); break;
    case WM_GETMINMAXINFO: result = OnGetMinMaxInfo(msg, wparam, lparam, handled); break;
    case WM_MOUSEWHEEL: result = OnMouseWheel(msg, wparam, lparam, handled); break;
    case WM_MOUSEHOVER: result = OnMouseHover(msg, wparam, lparam, handled); break;
    case WM_SIZE: result = OnSize(msg, wparam, lparam, handled); break;
    case WM_CHAR: result = OnChar(msg, wparam, lparam, handled); break;
    case WM_SYSCOMMAND: result = OnSysCommand(msg, wparam, lparam, handled); break;
    case WM_KEYDOWN: result = OnKeyDown(msg, wparam, lparam, handled); break;
    case WM_KILLFOCUS: result = OnKillFocus(msg, wparam, lparam, handled); break;
    case WM_SETFOCUS: result = OnSetFocus(msg, wparam, lparam, handled); break;
    case WM_LBUTTONUP: result = OnLButtonUp(msg, wparam, lparam, handled); break;
    case WM_LBUTTONDOWN: result = OnLButtonDown(msg, wparam, lparam, handled); break;
    case WM_MOUSEMOVE: result = OnMouseMove(msg, wparam, lparam, handled); break;
    default: handled = false; break;
  }
  if (handled) {
    if (msg == WM_NCHITTEST && KeepsDocumentSize() &&
        ((result >= HTSIZEFIRST && result <= HTSIZELAST) || result == HTSIZE)) {
      result = HTCLIENT;  // no sizing border or handle
    }
    return result;
  }
  handled = false;
  result = HandleCustomMessage(msg, wparam, lparam, handled);
  if (handled) return result;
  if (host_ && host_->HandleMessage(msg, wparam, lparam, result)) return result;
  return CWindowBase::HandleMessage(msg, wparam, lparam);
}

}  // namespace Skin
