// The Windows half of the paint manager: a host for an HWND (invalidation, timers, deferred
// work, mouse capture), painting through a back buffer, mouse routing, the drop shadow, and
// the message loop's pre-message handling.
#include <windows.h>
#include <commctrl.h>
#include <windowsx.h>

#include <string>
#include <vector>

#include "skin/gdi_surface.h"
#include "skin/paint_manager.h"
#include "skin/shadow_win.h"
#include "skin/skin_window.h"

namespace Skin {
namespace {

// The managers of this thread's windows, for the message loop's pre-message handling.
thread_local std::vector<CPaintManager*> t_managers;

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

class CWindowHost : public IPaintHost {
 public:
  explicit CWindowHost(HWND hwnd) : hwnd_(hwnd) {}
  void InvalidateRect(const SkinRect& r) override {
    RECT rc{r.left, r.top, r.right, r.bottom};
    ::InvalidateRect(hwnd_, &rc, FALSE);
  }
  bool StartTimer(unsigned id, unsigned period) override {
    return ::SetTimer(hwnd_, id, period, nullptr) != 0;
  }
  void StopTimer(unsigned id) override { ::KillTimer(hwnd_, id); }
  void PostDeferredWork() override {
    if (!deferred_posted_) {
      deferred_posted_ = true;
      ::PostMessageW(hwnd_, CPaintManager::DeferredWorkMessage(), 0, 0);
    }
  }
  void CaptureMouse(bool capture) override {
    if (capture) {
      ::SetCapture(hwnd_);
    } else if (::GetCapture() == hwnd_) {
      ::ReleaseCapture();
    }
  }

  HWND hwnd_;
  bool deferred_posted_ = false;
  bool tracking_leave_ = false;
  CDibBuffer buffer_;
  CGdiFontCache fonts_;
  CShadowWindow shadow_;
  bool shadow_ready_ = false;
  HWND tooltip_ = nullptr;  // destroyed with the window (it is owned by it)
  CControlUI* tooltip_for_ = nullptr;

  // Shows the control's tooltip text while the mouse rests on it; hides it otherwise. The
  // tooltip window (and the library behind it) is made when the mouse first reaches a control
  // that has a tooltip.
  void UpdateTooltip(CControlUI* hot, const MSG& relay) {
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
};

// wParam of the deferred-work message that sets up the drop shadow after the first paint.
constexpr WParam kShadowWork = 1;

SkinPoint PointOf(LParam lparam) {
  return SkinPoint{GET_X_LPARAM(lparam), GET_Y_LPARAM(lparam)};
}

}  // namespace

unsigned CPaintManager::DeferredWorkMessage() {
  // A registered message lies in 0xC000..0xFFFF: never one of the program's WM_APP + n.
  static const unsigned id = ::RegisterWindowMessageW(L"zrSkinDeferredWork");
  return id;
}

void CPaintManager::InitWindow(void* hwnd, const std::wstring& name) {
  hwnd_ = hwnd;
  name_ = name;
  own_host_ = std::make_unique<CWindowHost>(static_cast<HWND>(hwnd));
  host_ = own_host_.get();
  RECT rc;
  if (::GetClientRect(static_cast<HWND>(hwnd), &rc)) {
    SetClientSize(SkinSize{rc.right - rc.left, rc.bottom - rc.top});
  }
  t_managers.push_back(this);
}

bool CPaintManager::MessageHandler(unsigned msg, WParam wparam, LParam lparam, LResult& result) {
  auto* host = static_cast<CWindowHost*>(own_host_.get());
  if (!host) return false;
  HWND hwnd = host->hwnd_;
  result = 0;
  // The drop shadow comes right after the window's first frame: the window's own pixels are
  // what the user waits for.
  auto follow_with_shadow = [&] {
    if (host->shadow_ready_) {
      host->shadow_.Follow();
    } else if (window_.show_shadow && stats_.paints > 0 && ::IsWindowVisible(hwnd)) {
      host->shadow_ready_ = true;
      host->shadow_.Setup(hwnd, GetImage(window_.shadow_image), window_.shadow_size,
                          window_.shadow_corner);
    }
    stats_.shadow_bytes_uploaded = host->shadow_.UploadedBytes();
  };
  if (msg == DeferredWorkMessage()) {
    if (wparam == kShadowWork) {
      follow_with_shadow();
      return true;
    }
    host->deferred_posted_ = false;
    ProcessDeferredWork();
    return true;
  }
  switch (msg) {
    case WM_ERASEBKGND:
      result = 1;
      return true;
    case WM_PAINT: {
      // Layout first: what it moves is invalidated now and painted by this very paint, so a
      // relayout costs one paint, not a second one for its own invalidations.
      RECT rc;
      ::GetClientRect(hwnd, &rc);
      SetClientSize(SkinSize{rc.right, rc.bottom});
      Layout();
      PAINTSTRUCT ps;
      HDC dc = ::BeginPaint(hwnd, &ps);
      ++stats_.paints;
      if (dc && host->buffer_.Ensure(rc.right, rc.bottom)) {
        SkinRect paint{ps.rcPaint.left, ps.rcPaint.top, ps.rcPaint.right, ps.rcPaint.bottom};
        CGdiSurface surface(host->buffer_, fonts_, host->fonts_);
        surface.SetScaleCache(&scaled_);
        surface.SetClip(paint);
        surface.FillRect(paint, 0xFFFFFFFF);
        Paint(surface, paint);
        ::GdiFlush();
        ::BitBlt(dc, paint.left, paint.top, paint.Width(), paint.Height(), host->buffer_.dc(),
                 paint.left, paint.top, SRCCOPY);
      }
      ::EndPaint(hwnd, &ps);
      if (stats_.paints == 1 && window_.show_shadow) {
        ::PostMessageW(hwnd, DeferredWorkMessage(), kShadowWork, 0);
      }
      return true;
    }
    case WM_SIZE:
      if (wparam != SIZE_MINIMIZED) {
        SetClientSize(SkinSize{LOWORD(lparam), HIWORD(lparam)});
      }
      follow_with_shadow();
      return false;
    case WM_SHOWWINDOW:
    case WM_MOVE:
    case WM_WINDOWPOSCHANGED:
      follow_with_shadow();
      if (msg == WM_SHOWWINDOW && !wparam) host->shadow_.Hide();  // still visible just now
      return false;
    case WM_DESTROY:
      host->shadow_.Destroy();
      return false;
    case WM_TIMER:
      return OnHostTimer(static_cast<unsigned>(wparam));
    case WM_MOUSEMOVE: {
      if (!host->tracking_leave_) {
        TRACKMOUSEEVENT tme{sizeof(tme), TME_LEAVE, hwnd, 0};
        host->tracking_leave_ = ::TrackMouseEvent(&tme) != FALSE;
      }
      OnMouseMove(PointOf(lparam));
      MSG relay{hwnd, msg, wparam, lparam, 0, {}};
      host->UpdateTooltip(hot_, relay);
      return true;
    }
    case WM_MOUSELEAVE:
      host->tracking_leave_ = false;
      OnMouseLeave();
      if (host->tooltip_) {
        host->tooltip_for_ = nullptr;
        ::SendMessageW(host->tooltip_, TTM_POP, 0, 0);
      }
      return true;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
      if (host->tooltip_) ::SendMessageW(host->tooltip_, TTM_POP, 0, 0);
      ::SetFocus(hwnd);
      OnButtonDown(PointOf(lparam));
      return true;
    case WM_LBUTTONUP:
      OnButtonUp(PointOf(lparam));
      return true;
    case WM_CAPTURECHANGED:
      if (reinterpret_cast<HWND>(lparam) != hwnd && pushed_) {
        SkinEvent up{EventType::kButtonUp, pushed_, SkinPoint{-1, -1}, 0};
        CControlUI* c = pushed_;
        pushed_ = nullptr;
        c->DoEvent(up);
      }
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

// Removes the manager from the thread's list; called from the window's last message.
void ForgetManager(CPaintManager* manager) {
  for (auto it = t_managers.begin(); it != t_managers.end(); ++it) {
    if (*it == manager) {
      t_managers.erase(it);
      return;
    }
  }
}

bool TranslateSkinMessage(const MSG* msg) {
  if (!msg->hwnd) return false;
  HWND root = ::GetAncestor(msg->hwnd, GA_ROOT);
  auto managers = t_managers;
  for (CPaintManager* m : managers) {
    HWND h = static_cast<HWND>(m->GetPaintWindow());
    if (h != msg->hwnd && h != root) continue;
    LResult result = 0;
    if (m->PreMessageFilter(msg->message, msg->wParam, msg->lParam, result)) return true;
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
