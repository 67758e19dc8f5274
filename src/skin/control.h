// CControlUI: the base of every control. A control has a rectangle in window client
// coordinates, is measured (EstimateSize) and then arranged (SetPos) by its container,
// paints itself through an ISurface, and receives events from its paint manager.
//
// Ownership: a container owns its children; the paint manager owns the root. A control
// holds non-owning pointers to its parent and its manager. All on the window's thread.
#pragma once

#include <functional>
#include <string>

#include "skin/geometry.h"
#include "skin/image_desc.h"
#include "skin/interfaces.h"
#include "skin/surface.h"

namespace Skin {

class CPaintManager;

class CControlUI {
 public:
  CControlUI() = default;
  virtual ~CControlUI();
  CControlUI(const CControlUI&) = delete;
  CControlUI& operator=(const CControlUI&) = delete;

  virtual std::wstring GetClass() const { return L"ControlUI"; }
  // This control when it answers to `name` ("Control" for every control), else nullptr.
  virtual CControlUI* GetInterface(const std::wstring& name) { return name == L"Control" ? this : nullptr; }

  const std::wstring& GetName() const { return m_name; }
  const std::wstring& GetText() const { return m_text; }
  virtual void SetText(const std::wstring& text);
  const std::wstring& GetToolTip() const { return m_tooltip; }
  // What assistive technology is told beside the text (accessible_win.h): a name for a control
  // that shows only a picture ("accname"), a role other than its kind's ("accrole", "link"),
  // and a value such as a link's target ("accvalue").
  struct AccessibleInfo {
    std::wstring name;
    std::wstring role;
    std::wstring value;
  };
  const AccessibleInfo& GetAccessibleInfo() const { return m_accessible; }

  CPaintManager* GetManager() const { return m_manager; }
  CControlUI* GetParent() const { return m_parent; }
  // Attaches the control (and, for containers, its children) to a window.
  virtual void SetManager(CPaintManager* manager, CControlUI* parent);

  bool IsVisible() const { return m_visible; }
  virtual void SetVisible(bool visible);
  bool IsEnabled() const { return m_enabled; }
  virtual void SetEnabled(bool enabled);
  bool IsMouseEnabled() const { return m_mouseEnabled; }
  bool IsFloat() const { return m_float; }

  // Rectangle in window client coordinates, as last arranged or set.
  const SkinRect& GetPos() const { return m_pos; }
  virtual void SetPos(const SkinRect& rect);
  // The float position (relative to the parent) for floating controls.
  const SkinRect& GetFloatPos() const { return m_floatPos; }

  // Measure pass: the size this control asks of its container; 0 on an axis means "as
  // much as there is".
  virtual SkinSize EstimateSize(SkinSize /*available*/) { return m_fixed; }
  int GetFixedWidth() const { return m_fixed.cx; }
  void SetFixedWidth(int cx);
  void SetFixedHeight(int cy);
  SkinSize GetMinSize() const { return m_min; }
  SkinSize GetMaxSize() const { return m_max; }
  const SkinRect& GetPadding() const { return m_padding; }

  const std::wstring& GetBkImage() const { return m_bkimage; }
  void SetBkImage(const std::wstring& description);

  // Repaints the control's rectangle; relayouts the tree on the next paint.
  void Invalidate();
  void NeedUpdate();

  // Paints the control clipped to `paint`: background colour, background image, status
  // image, text, border.
  virtual void DoPaint(ISurface& surface, const SkinRect& paint);
  // The background colour for the control's state (a colour without alpha: none).
  virtual Colour CurrentBkColor() const { return m_bkcolor; }
  virtual void PaintStatusImage(ISurface&) {}
  virtual void PaintText(ISurface&) {}

  // Draws a picture by description into `area` (or the description's dest inside it), clipped
  // to the control's rectangle. False when the picture cannot be loaded or the description
  // names none.
  bool DrawImage(ISurface& surface, const std::wstring& description, const SkinRect& area);

  virtual void DoEvent(SkinEvent&) {}
  // The control's own reaction to a click, before the "click" notification. False when it
  // cannot be clicked (disabled, hidden); the manager then sends nothing.
  virtual bool Activate() { return m_visible && m_enabled; }
  // Whether a press and release on it makes a click (buttons).
  virtual bool IsClickable() const { return false; }

  virtual void SetAttribute(const std::wstring& name, const std::wstring& value);
  // Applies a list such as `width="20" bkimage="file='a.png'"`.
  void ApplyAttributeList(const std::wstring& list);

  // The topmost visible, hit-testable control at the point (this one or a descendant).
  virtual CControlUI* FindControlAt(SkinPoint point);
  virtual CControlUI* FindControlByName(const std::wstring& name) { return m_name == name ? this : nullptr; }
  // Calls `f` for this control and every descendant, parents first.
  virtual void VisitTree(const std::function<void(CControlUI*)>& f) { f(this); }

  // Set by the manager's mouse routing.
  void SetFocusState(bool focused) { m_focused = focused; }

 protected:
  CPaintManager* m_manager = nullptr;
  CControlUI* m_parent = nullptr;
  std::wstring m_name;
  std::wstring m_text;
  std::wstring m_tooltip;
  AccessibleInfo m_accessible;
  SkinRect m_pos;
  SkinRect m_floatPos;
  SkinSize m_fixed;
  SkinSize m_min;
  SkinSize m_max{9999, 9999};
  SkinRect m_padding;
  bool m_visible = true;
  bool m_enabled = true;
  bool m_mouseEnabled = true;
  bool m_float = false;
  bool m_focused = false;
  Colour m_bkcolor = 0;
  std::wstring m_bkimage;
  Colour m_bordercolor = 0;
  Colour m_focusbordercolor = 0;
  int m_bordersize = 0;
  SkinSize m_borderround;
};

// What makes a class of control known by its name. A class derives from it with its base and
// its name ("Label"): GetClass() gives the name followed by "UI" ("LabelUI"), and
// GetInterface(name) gives the control itself for its own name and asks the base for any
// other, so that a control answers to the names of all its bases too.
template <class Base, const wchar_t* kName>
class CNamedControl : public Base {
 public:
  std::wstring GetClass() const override { return std::wstring(kName) + L"UI"; }
  CControlUI* GetInterface(const std::wstring& name) override {
    if (name == kName) return this;
    return Base::GetInterface(name);
  }
};

}  // namespace Skin
