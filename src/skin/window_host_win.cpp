// The window side of a skinned window's painting: a host for an HWND (invalidation, timers,
// deferred work, mouse capture), painting through a back buffer, mouse routing, the drop
// shadow and the tooltip, and the message loop's pre-message handling.
#include "skin/window_host_win.h"

#include <commctrl.h>
#include <windowsx.h>

#include <string>
#include <vector>

#include "util/handle_win.h"

namespace Skin {
namespace {

// The hosts of this thread's windows, for the message loop's pre-message handling.
thread_local std::vector<CWindowHost*> t_hosts;

// The common controls library, loaded when the first tooltip is wanted rather than at
// start-up: loading it costs time and memory in every run (about 25 ms and 3 MB under Wine),
// and most runs show no tooltip. Kept for the process's life; false when it cannot be had.
bool LoadTooltipClass() {
  static const bool loaded = [] {
    wchar_t system[MAX_PATH];
    UINT n = ::GetSystemDirectoryW(system, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return false;
    std::wstring path = std::wstring(system, n) + L"\\comctl32.dll";
    HMODULE module = ::LoadLibraryW(path.c_str());
    if (!module) return false;
    using InitProc = BOOL(WINAPI*)(const INITCOMMONCONTROLSEX*);
    auto init = reinterpret_cast<InitProc>(
        reinterpret_cast<void*>(::GetProcAddress(module, "InitCommonControlsEx")));
    INITCOMMONCONTROLSEX icc{sizeof(icc), ICC_WIN95_CLASSES};
    return init != nullptr && init(&icc) != FALSE;
  }();
  return loaded;
}

// wParam of the deferred-work message that sets up the drop shadow after the first paint.
constexpr WParam kShadowWork = 1;

SkinPoint PointOf(LParam lparam) {
  return SkinPoint{GET_X_LPARAM(lparam), GET_Y_LPARAM(lparam)};
}

}  // namespace

UINT CWindowHost::DeferredWorkMessage() {
  // A registered message lies in 0xC000..0xFFFF: never one of the program's WM_APP + n.
  static const UINT id = ::RegisterWindowMessageW(L"zrSkinDeferredWork");
  return id;
}

CWindowHost::CWindowHost(HWND hwnd, CPaintManager& manager) : hwnd_(hwnd), manager_(manager) {
  RECT rc;
  if (::GetClientRect(hwnd_, &rc)) {
    manager_.SetClientSize(SkinSize{rc.right - rc.left, rc.bottom - rc.top});
  }
  t_hosts.push_back(this);
}

CWindowHost::~CWindowHost() { Forget(); }

void CWindowHost::Forget() {
  for (auto it = t_hosts.begin(); it != t_hosts.end(); ++it) {
    if (*it == this) {
      t_hosts.erase(it);
      return;
    }
  }
}

void CWindowHost::InvalidateRect(const SkinRect& r) {
  RECT rc{r.left, r.top, r.right, r.bottom};
  ::InvalidateRect(hwnd_, &rc, FALSE);
}

bool CWindowHost::StartTimer(unsigned id, unsigned period) {
  return ::SetTimer(hwnd_, id, period, nullptr) != 0;
}

void CWindowHost::StopTimer(unsigned id) { ::KillTimer(hwnd_, id); }

void CWindowHost::PostDeferredWork() {
  if (!deferred_posted_) {
    deferred_posted_ = true;
    ::PostMessageW(hwnd_, DeferredWorkMessage(), 0, 0);
  }
}

void CWindowHost::CaptureMouse(bool capture) {
  if (capture) {
    ::SetCapture(hwnd_);
  } else if (::GetCapture() == hwnd_) {
    ::ReleaseCapture();
  }
}

SkinSize CWindowHost::MeasureText(const std::wstring& text, int font, unsigned style) {
  zr::CWindowDC dc(hwnd_);
  if (dc.get() == nullptr) return SkinSize{};
  return MeasureTextOn(dc.get(), manager_.Fonts(), fonts_, text, font, style);
}

void CWindowHost::UpdateTooltip(CControlUI* hot, const MSG& relay) {
  if (!tooltip_) {
    if (!hot || hot->GetToolTip().empty() || !LoadTooltipClass()) return;
    tooltip_ = ::CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr,
                                 WS_POPUP | TTS_NOPREFIX | TTS_ALWAYSTIP, CW_USEDEFAULT,
                                 CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, hwnd_, nullptr,
                                 ::GetModuleHandleW(nullptr), nullptr);
    if (!tooltip_) return;
    TTTOOLINFOW ti = {};
    ti.cbSize = TTTOOLINFOW_V2_SIZE;
    ti.uFlags = TTF_TRANSPARENT;
    ti.hwnd = hwnd_;
    ti.uId = 1;
    ti.lpszText = const_cast<wchar_t*>(L"");
    ::SendMessageW(tooltip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&ti));
    ::SendMessageW(tooltip_, TTM_SETMAXTIPWIDTH, 0, 400);
  }
  if (hot != tooltip_for_) {
    tooltip_for_ = hot;
    TTTOOLINFOW ti = {};
    ti.cbSize = TTTOOLINFOW_V2_SIZE;
    ti.hwnd = hwnd_;
    ti.uId = 1;
    std::wstring text = hot ? hot->GetToolTip() : std::wstring();
    if (hot) {
      const SkinRect& r = hot->GetPos();
      ti.rect = RECT{r.left, r.top, r.right, r.bottom};
    }
    ::SendMessageW(tooltip_, TTM_NEWTOOLRECTW, 0, reinterpret_cast<LPARAM>(&ti));
    ti.lpszText = const_cast<wchar_t*>(text.c_str());
    ::SendMessageW(tooltip_, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&ti));
    ::SendMessageW(tooltip_, TTM_ACTIVATE, text.empty() ? FALSE : TRUE, 0);
  }
  MSG copy = relay;
  ::SendMessageW(tooltip_, TTM_RELAYEVENT, 0, reinterpret_cast<LPARAM>(&copy));
}

// The drop shadow comes right after the window's first frame: the window's own pixels are
// what the user waits for.
void CWindowHost::FollowWithShadow() {
  const WindowSettings& window = manager_.Window();
  if (shadow_ready_) {
    shadow_.Follow();
  } else if (window.show_shadow && stats_.paints > 0 && ::IsWindowVisible(hwnd_)) {
    shadow_ready_ = true;
    shadow_.Setup(hwnd_, manager_.GetImage(window.shadow_image), window.shadow_size,
                  window.shadow_corner);
  }
  stats_.shadow_bytes_uploaded = shadow_.UploadedBytes();
}

void CWindowHost::Paint() {
  // Layout first: what it moves is invalidated now and painted by this very paint, so a
  // relayout costs one paint, not a second one for its own invalidations.
  RECT rc;
  ::GetClientRect(hwnd_, &rc);
  manager_.SetClientSize(SkinSize{rc.right, rc.bottom});
  manager_.Layout();
  PAINTSTRUCT ps;
  HDC dc = ::BeginPaint(hwnd_, &ps);
  ++stats_.paints;
  if (dc && buffer_.Ensure(rc.right, rc.bottom)) {
    SkinRect paint{ps.rcPaint.left, ps.rcPaint.top, ps.rcPaint.right, ps.rcPaint.bottom};
    CGdiSurface surface(buffer_, manager_.Fonts(), fonts_);
    surface.SetScaleCache(&manager_.ScaledPictures());
    surface.SetClip(paint);
    surface.FillRect(paint, 0xFFFFFFFF);
    manager_.Paint(surface, paint);
    ::GdiFlush();
    ::BitBlt(dc, paint.left, paint.top, paint.Width(), paint.Height(), buffer_.dc(), paint.left,
             paint.top, SRCCOPY);
  }
  ::EndPaint(hwnd_, &ps);
  if (stats_.paints == 1 && manager_.Window().show_shadow) {
    ::PostMessageW(hwnd_, DeferredWorkMessage(), kShadowWork, 0);
  }
}

bool CWindowHost::HandleMessage(UINT msg, WPARAM wparam, LPARAM lparam, LRESULT& result) {
  result = 0;
  if (msg == DeferredWorkMessage()) {
    if (wparam == kShadowWork) {
      FollowWithShadow();
      return true;
    }
    deferred_posted_ = false;
    manager_.ProcessDeferredWork();
    return true;
  }
  switch (msg) {
    case WM_ERASEBKGND:
      result = 1;
      return true;
    case WM_PAINT:
      Paint();
      return true;
    case WM_SIZE:
      if (wparam != SIZE_MINIMIZED) {
        manager_.SetClientSize(SkinSize{LOWORD(lparam), HIWORD(lparam)});
      }
      FollowWithShadow();
      return false;
    case WM_SHOWWINDOW:
    case WM_MOVE:
    case WM_WINDOWPOSCHANGED:
      FollowWithShadow();
      if (msg == WM_SHOWWINDOW && !wparam) shadow_.Hide();  // still visible just now
      return false;
    case WM_DESTROY:
      shadow_.Destroy();
      return false;
    case WM_TIMER:
      return manager_.OnHostTimer(static_cast<unsigned>(wparam));
    case WM_MOUSEMOVE: {
      if (!tracking_leave_) {
        TRACKMOUSEEVENT tme{sizeof(tme), TME_LEAVE, hwnd_, 0};
        tracking_leave_ = ::TrackMouseEvent(&tme) != FALSE;
      }
      manager_.OnMouseMove(PointOf(lparam));
      MSG relay{hwnd_, msg, wparam, lparam, 0, {}};
      UpdateTooltip(manager_.GetHot(), relay);
      return true;
    }
    case WM_MOUSELEAVE:
      tracking_leave_ = false;
      manager_.OnMouseLeave();
      if (tooltip_) {
        tooltip_for_ = nullptr;
        ::SendMessageW(tooltip_, TTM_POP, 0, 0);
      }
      return true;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
      if (tooltip_) ::SendMessageW(tooltip_, TTM_POP, 0, 0);
      ::SetFocus(hwnd_);
      manager_.OnButtonDown(PointOf(lparam));
      return true;
    case WM_LBUTTONUP:
      manager_.OnButtonUp(PointOf(lparam));
      return true;
    case WM_CAPTURECHANGED:
      if (reinterpret_cast<HWND>(lparam) != hwnd_) manager_.OnCaptureLost();
      return false;
    case WM_SETCURSOR:
      if (LOWORD(lparam) == HTCLIENT) {
        ::SetCursor(::LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW)));
        result = TRUE;
        return true;
      }
      return false;
    default:
      return false;
  }
}

bool TranslateSkinMessage(const MSG* msg) {
  if (!msg->hwnd) return false;
  HWND root = ::GetAncestor(msg->hwnd, GA_ROOT);
  auto hosts = t_hosts;
  for (CWindowHost* host : hosts) {
    HWND h = host->GetHWND();
    if (h != msg->hwnd && h != root) continue;
    LResult result = 0;
    if (host->GetManager().PreMessageFilter(msg->message, msg->wParam, msg->lParam, result)) return true;
  }
  return false;
}

void MessageLoop() {
  MSG msg;
  while (::GetMessageW(&msg, nullptr, 0, 0) > 0) {
    if (TranslateSkinMessage(&msg)) continue;
    ::TranslateMessage(&msg);
    ::DispatchMessageW(&msg);
  }
}

}  // namespace Skin
