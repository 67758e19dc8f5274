// CPaintManager: one per window. Owns the control tree built from the window's document, the
// window's own fonts and decoded pictures; keeps the per-control timers and the notifier; routes
// the mouse to controls (hot, pushed, click) and paints the tree through an ISurface.
//
// Portable: the manager talks to its window only through IPaintHost. On Windows the window's
// host (window_host_win.h) serves it and drives it through the operations below: client size,
// layout and paint, mouse and timers.
//
// Threads: a manager and its controls are used only on the thread that owns the window.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "skin/control.h"
#include "skin/dpi_scale.h"
#include "skin/font_table.h"
#include "skin/interfaces.h"
#include "skin/pixel_canvas.h"
#include "skin/scaled_surface.h"
#include "skin/skin_context.h"
#include "skin/surface.h"

namespace Skin {

// What the manager asks of its window.
class IPaintHost {
 public:
  virtual ~IPaintHost() = default;
  virtual void InvalidateRect(const SkinRect& rect) = 0;
  virtual bool StartTimer(unsigned nativeId, unsigned periodMs) = 0;
  virtual void StopTimer(unsigned nativeId) = 0;
  virtual void CaptureMouse(bool capture) = 0;
};

// What changed on a control, for whoever tells assistive technology (accessible_win.h).
enum class ControlChange { kText, kValue, kShown, kEnabled };

class IControlChangeObserver {
 public:
  virtual ~IControlChangeObserver() = default;
  virtual void ControlChanged(CControlUI* control, ControlChange change) = 0;
};

// The `Window` element's attributes.
struct WindowSettings {
  SkinSize size;
  SkinRect caption;  // l, t, r, b; a bottom of 0 means no caption. r counts from the right.
  SkinSize roundcorner;
  Colour defaultFontColour = 0xFF000000;
  bool showShadow = false;
  std::wstring shadowImage;
  int shadowSize = 0;
  SkinRect shadowCorner;
  // The control whose text names the window to assistive technology; empty: the window's title.
  std::wstring accessibleTitle;
};

// Units: the tree (control rectangles, FindControl by point, the window settings) is in the
// documents' units, pixels at 96 DPI; what the manager exchanges with its window (client size,
// invalidation, the paint rectangle and surface, the mouse) is in device pixels at the DPI
// given by SetDpi. The manager maps between them with its CDpiScale; at 96 DPI they are one.
class CPaintManager : public IPictureVariants {
 public:
  // `context` (the package, the pictures and the shared fonts) outlives the manager.
  explicit CPaintManager(CSkinContext& context);
  ~CPaintManager();
  CPaintManager(const CPaintManager&) = delete;
  CPaintManager& operator=(const CPaintManager&) = delete;

  // Gives the manager its window's host, which the caller owns and keeps until the manager
  // goes (the manager stops its timers through it then).
  void Init(IPaintHost* host) { m_host = host; }

  // Takes ownership of the tree (the previous one is deleted) and attaches it.
  bool AttachDialog(CControlUI* root);
  CControlUI* GetRoot() const { return m_root; }

  CSkinContext& Context() const { return m_context; }
  WindowSettings& Window() { return m_window; }
  const WindowSettings& Window() const { return m_window; }
  CFontTable& Fonts() { return m_fonts; }
  const CFontTable& Fonts() const { return m_fonts; }

  // A decoded picture of the package, shared with the context's other windows
  // (CSkinContext::GetPicture, `drawnAt` in device pixels) and held by this manager; nullptr
  // when missing.
  const SkinBitmap* GetImage(const std::wstring& file, bool useMask = false, Colour mask = 0, SkinSize drawnAt = {});

  // Has the context decode ahead the large pictures the first paint draws (those drawn whole
  // as a control's background at the current client size).
  void DecodeAhead();

  // IPictureVariants: "name@1.5x.png" or "name@2x.png" of the package for a picture of this
  // manager's "name.png", when its size is the picture's at that scale.
  const SkinBitmap* Variant(const SkinBitmap& picture, int percent) override;

  CControlUI* FindControl(const std::wstring& name) const;
  CControlUI* FindControl(SkinPoint point) const;

  // Per-control timers: the control gets a kTimer event with `id` every period.
  bool SetTimer(CControlUI* control, unsigned id, unsigned periodMs);
  bool KillTimer(CControlUI* control, unsigned id);
  void KillTimers(CControlUI* control);
  bool HasTimer(CControlUI* control, unsigned id) const;
  // Called by the host when its timer `nativeId` fires; false if it is not one of ours.
  bool OnHostTimer(unsigned nativeId);

  // The one that SendNotify tells (nullptr: nobody).
  void SetNotifier(INotifySink* sink) { m_notifier = sink; }
  void SendNotify(CControlUI* sender, const std::wstring& type);

  // The window's DPI: the tree is laid out again in device pixels at it.
  void SetDpi(int dpi);
  const CDpiScale& Scale() const { return m_scale; }
  // The client area in device pixels; GetClientSize gives it in document units.
  void SetClientSize(SkinSize deviceSize);
  SkinSize GetClientSize() const { return m_client; }
  void Invalidate(const SkinRect& rect);
  void NeedUpdate();
  bool IsUpdateNeeded() const { return m_updateNeeded; }
  // Arranges the tree over the client area if something changed since the last layout.
  void Layout();
  // Lays out if needed, then paints the tree clipped to `paint`.
  void Paint(ISurface& surface, const SkinRect& paint);
  // The pictures this window draws scaled, at the sizes it draws them (the Windows paint
  // hands the cache to its surface).
  CScaledPictureCache& ScaledPictures() { return m_scaled; }

  // Mouse routing (client coordinates, device pixels). The tree is laid out first if something
  // changed since the last layout: the mouse finds each control where the next paint shows it,
  // also before the window's first paint.
  void OnMouseMove(SkinPoint point);
  void OnMouseLeave();
  void OnButtonDown(SkinPoint point);
  void OnButtonUp(SkinPoint point);
  // The window lost the mouse capture: the pressed control hears a release away from it (at
  // -1, -1), which is no click.
  void OnCaptureLost();
  CControlUI* GetHot() const { return m_hot; }
  CControlUI* GetPushed() const { return m_pushed; }
  CControlUI* GetFocus() const { return m_focus; }

  // A control going away: forget every reference to it (hot, pushed, focus, timers).
  void ReleaseControl(CControlUI* control);

  // A click made without the mouse (assistive technology's default action): the control's own
  // handling, then the "click" notification, as a press and release on it would. False when
  // the control cannot be clicked (not a button, hidden, disabled).
  bool Click(CControlUI* control);

  // Told of every change of a control's text, value, visibility or state (nullptr: nobody).
  // The observer outlives the tree or is taken away first.
  void SetChangeObserver(IControlChangeObserver* observer) { m_observer = observer; }
  void ControlChanged(CControlUI* control, ControlChange change);

 private:
  struct Timer {
    CControlUI* control;
    unsigned id;
    unsigned nativeId;
  };
  // The hot control is no longer hot, and then hears the mouse leave.
  void LeaveHot(SkinPoint point);

  CSkinContext& m_context;
  IPaintHost* m_host = nullptr;
  IControlChangeObserver* m_observer = nullptr;
  CDpiScale m_scale;
  SkinSize m_deviceClient;
  CControlUI* m_root = nullptr;  // owned
  WindowSettings m_window;
  CFontTable m_fonts;
  std::map<std::wstring, std::shared_ptr<const SkinBitmap>> m_images;
  struct ImageSource {
    std::wstring file;
    bool useMask;
    Colour mask;
  };
  std::map<const SkinBitmap*, ImageSource> m_imageSources;  // of each picture above
  CScaledPictureCache m_scaled;                             // keyed by the pictures above, which outlive its use
  std::vector<Timer> m_timers;
  unsigned m_nextNativeTimer = 0x2000;
  INotifySink* m_notifier = nullptr;
  SkinSize m_client;
  bool m_updateNeeded = true;
  CControlUI* m_hot = nullptr;
  CControlUI* m_pushed = nullptr;
  CControlUI* m_focus = nullptr;
};

}  // namespace Skin
