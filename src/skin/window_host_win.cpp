#include "skin/window_host_win.h"

#include <commctrl.h>
#include <windowsx.h>

#include <string>

#include "skin/dpi_win.h"
#include "util/handle_win.h"

namespace Skin {
namespace {

SkinPoint PointOf(LPARAM lparam) { return SkinPoint{GET_X_LPARAM(lparam), GET_Y_LPARAM(lparam)}; }

}  // namespace

// Every registration of the name gives the same id.
CWindowHost::CWindowHost(HWND hwnd, CPaintManager& manager)
    : m_hwnd(hwnd), m_manager(manager), m_deferredMessage(::RegisterWindowMessageW(L"zrSkinDeferredWork")) {
  m_manager.SetDpi(WindowDpi(m_hwnd));
  RECT rc;
  if (::GetClientRect(m_hwnd, &rc)) {
    m_manager.SetClientSize(SkinSize{rc.right - rc.left, rc.bottom - rc.top});
  }
}

CWindowHost::~CWindowHost() {
  if (m_tooltip && ::IsWindow(m_tooltip)) ::DestroyWindow(m_tooltip);
  if (m_commonControls) ::FreeLibrary(m_commonControls);
}

bool CWindowHost::LoadTooltipClass() {
  if (m_commonControls) return true;
  HMODULE module = LoadSystemDll(L"comctl32.dll");
  if (!module) return false;
  using InitProc = BOOL(WINAPI*)(const INITCOMMONCONTROLSEX*);
  auto init = ProcOf<InitProc>(module, "InitCommonControlsEx");
  INITCOMMONCONTROLSEX icc{sizeof(icc), ICC_WIN95_CLASSES};
  if (init == nullptr || !init(&icc)) {
    ::FreeLibrary(module);
    return false;
  }
  m_commonControls = module;
  return true;
}

void CWindowHost::InvalidateRect(const SkinRect& r) {
  RECT rc{r.left, r.top, r.right, r.bottom};
  ::InvalidateRect(m_hwnd, &rc, FALSE);
}

bool CWindowHost::StartTimer(unsigned id, unsigned period) { return ::SetTimer(m_hwnd, id, period, nullptr) != 0; }

void CWindowHost::StopTimer(unsigned id) { ::KillTimer(m_hwnd, id); }

void CWindowHost::CaptureMouse(bool capture) {
  if (capture) {
    ::SetCapture(m_hwnd);
  } else if (::GetCapture() == m_hwnd) {
    ::ReleaseCapture();
  }
}

SkinSize CWindowHost::MeasureText(const std::wstring& text, int font, unsigned style) {
  zr::CWindowDC dc(m_hwnd);
  if (dc.get() == nullptr) return SkinSize{};
  const CDpiScale& scale = m_manager.Scale();
  return scale.ToDocument(MeasureTextOn(dc.get(), m_manager.Fonts(), m_fonts, text, font, style, scale.Dpi()));
}

void CWindowHost::UpdateTooltip(CControlUI* hot, const MSG& relay) {
  TTTOOLINFOW ti = {};  // the one tool: the whole window
  ti.cbSize = TTTOOLINFOW_V2_SIZE;
  ti.hwnd = m_hwnd;
  ti.uId = 1;
  if (!m_tooltip) {
    if (!hot || hot->GetToolTip().empty() || !LoadTooltipClass()) return;
    m_tooltip = ::CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_NOPREFIX | TTS_ALWAYSTIP,
                                  CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, m_hwnd, nullptr,
                                  ::GetModuleHandleW(nullptr), nullptr);
    if (!m_tooltip) return;
    TTTOOLINFOW add = ti;
    add.uFlags = TTF_TRANSPARENT;
    add.lpszText = const_cast<wchar_t*>(L"");
    ::SendMessageW(m_tooltip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&add));
    ::SendMessageW(m_tooltip, TTM_SETMAXTIPWIDTH, 0, 400);
  }
  if (hot != m_tooltipFor) {
    m_tooltipFor = hot;
    std::wstring text = hot ? hot->GetToolTip() : std::wstring();
    if (hot) {
      const SkinRect r = m_manager.Scale().ToDevice(hot->GetPos());
      ti.rect = RECT{r.left, r.top, r.right, r.bottom};
    }
    ::SendMessageW(m_tooltip, TTM_NEWTOOLRECTW, 0, reinterpret_cast<LPARAM>(&ti));
    ti.lpszText = const_cast<wchar_t*>(text.c_str());
    ::SendMessageW(m_tooltip, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&ti));
    ::SendMessageW(m_tooltip, TTM_ACTIVATE, text.empty() ? FALSE : TRUE, 0);
  }
  MSG copy = relay;
  ::SendMessageW(m_tooltip, TTM_RELAYEVENT, 0, reinterpret_cast<LPARAM>(&copy));
}

// The drop shadow comes right after the window's first frame: the window's own pixels are
// what the user waits for.
void CWindowHost::FollowWithShadow() {
  const WindowSettings& window = m_manager.Window();
  if (m_shadowReady) {
    if (!m_shadow.Follow()) SetUpShadow();  // shown again: its picture is decoded again
  } else if (window.showShadow && m_stats.paints > 0 && ::IsWindowVisible(m_hwnd)) {
    m_shadowReady = true;
    SetUpShadow();
  }
  m_stats.shadowBytesUploaded = m_shadow.UploadedBytes();
}

// The shadow picture drawn from the package's rendering that best fits the window's DPI, its
// size and corners in device pixels.
void CWindowHost::SetUpShadow() {
  const WindowSettings& window = m_manager.Window();
  const CDpiScale& scale = m_manager.Scale();
  // Decoded for the shadow alone, which lets it go once the system has the shadow's picture.
  auto load = [this](const std::wstring& name) { return m_manager.Context().GetPicture(name, false, 0, {}, false); };
  std::shared_ptr<const SkinBitmap> picture = load(window.shadowImage);
  const SkinRect corner = window.shadowCorner;
  SkinRect pictureCorner = corner;
  if (picture && !scale.IsIdentity()) {
    SkinRect whole{0, 0, picture->width, picture->height};
    int percent = ChooseVariantPercent(whole, scale.ToDevice(whole));
    auto variant = percent > 100 ? load(VariantName(window.shadowImage, percent)) : nullptr;
    if (variant && IsRenderingAt(*variant, *picture, percent)) {
      pictureCorner = ToRendering(corner, *picture, *variant);
      picture = std::move(variant);
    }
  }
  const SkinRect destCorner{scale.ToDevice(corner.left), scale.ToDevice(corner.top), scale.ToDevice(corner.right),
                            scale.ToDevice(corner.bottom)};
  m_shadow.Setup(m_hwnd, std::move(picture), scale.ToDevice(window.shadowSize), pictureCorner, destCorner);
}

void CWindowHost::OnDpiChanged(int dpi, const RECT& suggested) {
  m_manager.SetDpi(dpi);
  // The window's own rules (a kept document size) see the new DPI from here on.
  ::SetWindowPos(m_hwnd, nullptr, suggested.left, suggested.top, suggested.right - suggested.left,
                 suggested.bottom - suggested.top, SWP_NOZORDER | SWP_NOACTIVATE);
  if (m_shadowReady) SetUpShadow();
  ::InvalidateRect(m_hwnd, nullptr, FALSE);
}

void CWindowHost::Paint() {
  // Layout first: what it moves is invalidated now and painted by this very paint, so a
  // relayout costs one paint, not a second one for its own invalidations.
  RECT rc;
  ::GetClientRect(m_hwnd, &rc);
  m_manager.SetClientSize(SkinSize{rc.right, rc.bottom});
  m_manager.Layout();
  PAINTSTRUCT ps;
  HDC dc = ::BeginPaint(m_hwnd, &ps);
  ++m_stats.paints;
  if (dc && m_buffer.Ensure(rc.right, rc.bottom)) {
    SkinRect paint{ps.rcPaint.left, ps.rcPaint.top, ps.rcPaint.right, ps.rcPaint.bottom};
    CGdiSurface surface(m_buffer, m_manager.Fonts(), m_fonts, m_manager.Scale().Dpi());
    surface.SetScaleCache(&m_manager.ScaledPictures());
    surface.SetClip(paint);
    surface.FillRect(paint, 0xFFFFFFFF);
    m_manager.Paint(surface, paint);
    ::GdiFlush();
    ::BitBlt(dc, paint.left, paint.top, paint.Width(), paint.Height(), m_buffer.dc(), paint.left, paint.top, SRCCOPY);
  }
  ::EndPaint(m_hwnd, &ps);
  if (m_stats.paints == 1 && m_manager.Window().showShadow) {
    ::PostMessageW(m_hwnd, m_deferredMessage, 1, 0);  // sets up the drop shadow
  }
}

bool CWindowHost::HandleMessage(UINT msg, WPARAM wparam, LPARAM lparam, LRESULT& result) {
  result = 0;
  if (msg == m_deferredMessage) {
    FollowWithShadow();
    return true;
  }
  switch (msg) {
    case WM_ERASEBKGND: result = 1; return true;
    case WM_PAINT: Paint(); return true;
    case WM_SIZE:
      if (wparam != SIZE_MINIMIZED) {
        m_manager.SetClientSize(SkinSize{LOWORD(lparam), HIWORD(lparam)});
      }
      FollowWithShadow();
      return false;
    case WM_SHOWWINDOW:
    case WM_MOVE:
    case WM_WINDOWPOSCHANGED:
      FollowWithShadow();
      if (msg == WM_SHOWWINDOW && !wparam) m_shadow.Hide();  // still visible just now
      return false;
    case WM_DESTROY: m_shadow.Destroy(); return false;
    case kWmDpiChanged: OnDpiChanged(LOWORD(wparam), *reinterpret_cast<const RECT*>(lparam)); return true;
    case WM_TIMER: return m_manager.OnHostTimer(static_cast<unsigned>(wparam));
    case WM_MOUSEMOVE: {
      if (!m_trackingLeave) {
        TRACKMOUSEEVENT tme{sizeof(tme), TME_LEAVE, m_hwnd, 0};
        m_trackingLeave = ::TrackMouseEvent(&tme) != FALSE;
      }
      m_manager.OnMouseMove(PointOf(lparam));
      MSG relay{m_hwnd, msg, wparam, lparam, 0, {}};
      UpdateTooltip(m_manager.GetHot(), relay);
      return true;
    }
    case WM_MOUSELEAVE:
      m_trackingLeave = false;
      m_manager.OnMouseLeave();
      if (m_tooltip) {
        m_tooltipFor = nullptr;
        ::SendMessageW(m_tooltip, TTM_POP, 0, 0);
      }
      return true;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
      if (m_tooltip) ::SendMessageW(m_tooltip, TTM_POP, 0, 0);
      ::SetFocus(m_hwnd);
      m_manager.OnButtonDown(PointOf(lparam));
      return true;
    case WM_LBUTTONUP: m_manager.OnButtonUp(PointOf(lparam)); return true;
    case WM_CAPTURECHANGED:
      if (reinterpret_cast<HWND>(lparam) != m_hwnd) m_manager.OnCaptureLost();
      return false;
    case WM_SETCURSOR:
      if (LOWORD(lparam) == HTCLIENT) {
        ::SetCursor(::LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW)));
        result = TRUE;
        return true;
      }
      return false;
    default: return false;
  }
}

}  // namespace Skin
