// Windows only. CWindowHost: what a skinned window is to its portable paint manager. It owns
// the window side of painting (the back buffer, the GDI fonts, the drop shadow, the tooltip)
// and serves the manager's requests (IPaintHost: invalidation, timers, mouse capture) on the
// window handle; the window's messages for painting, the mouse, timers and its own deferred
// work (setting up the shadow) reach it through HandleMessage, and it drives the manager
// through the manager's public operations only.
//
// A host belongs to the thread of its window. It is made once the window exists (WM_CREATE)
// and must outlive its manager (the manager stops its timers through it when it goes).
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "skin/gdi_surface_win.h"
#include "skin/paint_manager.h"
#include "skin/shadow_win.h"

namespace Skin {

class CWindowHost : public IPaintHost {
 public:
  // Serves `manager` for `hwnd` from now on: gives it the window's client size.
  CWindowHost(HWND hwnd, CPaintManager& manager);
  ~CWindowHost() override;
  CWindowHost(const CWindowHost&) = delete;
  CWindowHost& operator=(const CWindowHost&) = delete;

  // IPaintHost
  void InvalidateRect(const SkinRect& rect) override;
  bool StartTimer(unsigned nativeId, unsigned periodMs) override;
  void StopTimer(unsigned nativeId) override;
  void CaptureMouse(bool capture) override;

  // Painting, mouse, timers, the deferred work and shadow tracking (the drop shadow is set up
  // right after the first paint). True when the host took the message (result set).
  bool HandleMessage(UINT msg, WPARAM wparam, LPARAM lparam, LRESULT& result);

  // Width and height in document units of `text` as one line with the window's fonts (its
  // own, then the shared ones) at its DPI, measured on a device context of the window: for use
  // outside a paint.
  SkinSize MeasureText(const std::wstring& text, int font, unsigned style);

  // What the window has done, for tests and benchmarks: paints (WM_PAINT served), and bytes
  // of shadow picture handed to the system (each upload of the shadow's bitmap).
  struct PaintStats {
    unsigned paints = 0;
    std::uint64_t shadowBytesUploaded = 0;
  };
  const PaintStats& Stats() const { return m_stats; }

  // The id of the engine's deferred-work message, which sets up the drop shadow after the
  // first paint (a registered message, so it never equals WM_APP + n).
  UINT DeferredWorkMessage() const { return m_deferredMessage; }

 private:
  // The common controls library, loaded when the first tooltip is wanted rather than at
  // start-up: loading it costs time and memory (about 25 ms and 3 MB under Wine), and most
  // runs show no tooltip. Freed with the host, after the tooltip (a child of the window).
  bool LoadTooltipClass();

  void FollowWithShadow();
  void SetUpShadow();
  // WM_DPICHANGED: lays the tree out at `dpi` in the suggested rectangle; fonts, pictures and
  // the shadow follow.
  void OnDpiChanged(int dpi, const RECT& suggested);
  void Paint();
  // Shows the control's tooltip text while the mouse rests on it; hides it otherwise.
  void UpdateTooltip(CControlUI* hot, const MSG& relay);

  HWND m_hwnd;
  CPaintManager& m_manager;
  const UINT m_deferredMessage;
  HMODULE m_commonControls = nullptr;
  bool m_trackingLeave = false;
  CDibBuffer m_buffer;
  CGdiFontCache m_fonts;
  CShadowWindow m_shadow;
  bool m_shadowReady = false;
  HWND m_tooltip = nullptr;  // destroyed with the window (it is owned by it)
  CControlUI* m_tooltipFor = nullptr;
  PaintStats m_stats;
};

}  // namespace Skin
