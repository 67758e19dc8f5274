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
  virtual CControlUI* GetInterface(const std::wstring& name);

  const std::wstring& GetName() const { return name_; }
  void SetName(const std::wstring& name) { name_ = name; }
  const std::wstring& GetText() const { return text_; }
  virtual void SetText(const std::wstring& text);
  const std::wstring& GetToolTip() const { return tooltip_; }

  CPaintManager* GetManager() const { return manager_; }
  CControlUI* GetParent() const { return parent_; }
  // Attaches the control (and, for containers, its children) to a window.
  virtual void SetManager(CPaintManager* manager, CControlUI* parent);

  bool IsVisible() const { return visible_; }
  virtual void SetVisible(bool visible);
  bool IsEnabled() const { return enabled_; }
  virtual void SetEnabled(bool enabled);
  bool IsMouseEnabled() const { return mouse_enabled_; }
  bool IsFloat() const { return float_; }
  bool IsFocused() const { return focused_; }

  // Rectangle in window client coordinates, as last arranged or set.
  const SkinRect& GetPos() const { return pos_; }
  virtual void SetPos(const SkinRect& rect);
  // The float position (relative to the parent) for floating controls.
  const SkinRect& GetFloatPos() const { return float_pos_; }

  // Measure pass: the size this control asks of its container; 0 on an axis means "as
  // much as there is".
  virtual SkinSize EstimateSize(SkinSize available);
  int GetFixedWidth() const { return fixed_.cx; }
  int GetFixedHeight() const { return fixed_.cy; }
  void SetFixedWidth(int cx);
  void SetFixedHeight(int cy);
  int GetMinWidth() const { return min_.cx; }
  int GetMaxWidth() const { return max_.cx; }
  int GetMinHeight() const { return min_.cy; }
  int GetMaxHeight() const { return max_.cy; }
  const SkinRect& GetPadding() const { return padding_; }

  Colour GetBkColor() const { return bkcolor_; }
  void SetBkColor(Colour c);
  const std::wstring& GetBkImage() const { return bkimage_; }
  void SetBkImage(const std::wstring& description);
  void SetBorderColor(Colour c) { bordercolor_ = c; Invalidate(); }

  // Repaints the control's rectangle; relayouts the tree on the next paint.
  void Invalidate();
  void NeedUpdate();
  void NeedParentUpdate();

  // Paints the control clipped to `paint`: background colour, background image, status
  // image, text, border.
  virtual void DoPaint(ISurface& surface, const SkinRect& paint);
  virtual void PaintBkColor(ISurface& surface);
  virtual void PaintBkImage(ISurface& surface);
  virtual void PaintStatusImage(ISurface& surface);
  virtual void PaintText(ISurface& surface);
  virtual void PaintBorder(ISurface& surface);

  // Draws a picture by description into the control's rectangle (or the description's dest
  // inside it). False when the picture cannot be loaded or the description names none.
  bool DrawImage(ISurface& surface, const std::wstring& description);
  // The same into `dest` instead of the control's rectangle (still clipped to it).
  bool DrawImage(ISurface& surface, const std::wstring& description, const SkinRect& dest);

  virtual void DoEvent(SkinEvent& event);
  // The control's own reaction to a click, before the "click" notification. False when it
  // cannot be clicked (disabled, hidden); the manager then sends nothing.
  virtual bool Activate();
  // Whether a press and release on it makes a click (buttons).
  virtual bool IsClickable() const { return false; }

  virtual void SetAttribute(const std::wstring& name, const std::wstring& value);
  // Applies a list such as `width="20" bkimage="file='a.png'"`.
  void ApplyAttributeList(const std::wstring& list);

  // The topmost visible, hit-testable control at the point (this one or a descendant).
  virtual CControlUI* FindControlAt(SkinPoint point);
  virtual CControlUI* FindControlByName(const std::wstring& name);
  // Calls `f` for this control and every descendant, parents first.
  virtual void VisitTree(const std::function<void(CControlUI*)>& f) { f(this); }

  // Set by the manager's mouse routing.
  void SetFocusState(bool focused) { focused_ = focused; }

 protected:
  CPaintManager* manager_ = nullptr;
  CControlUI* parent_ = nullptr;
  std::wstring name_;
  std::wstring text_;
  std::wstring tooltip_;
  SkinRect pos_;
  SkinRect float_pos_;
  SkinSize fixed_;
  SkinSize min_;
  SkinSize max_{9999, 9999};
  SkinRect padding_;
  bool visible_ = true;
  bool enabled_ = true;
  bool mouse_enabled_ = true;
  bool float_ = false;
  bool focused_ = false;
  Colour bkcolor_ = 0;
  std::wstring bkimage_;
  Colour bordercolor_ = 0;
  Colour focusbordercolor_ = 0;
  int bordersize_ = 0;
  SkinSize borderround_;
};

// Splits `name="value" name2='value2'` into pairs; the callback gets each pair in order.
template <typename F>
void ForEachAttribute(const std::wstring& list, F&& f);

}  // namespace Skin

#include "skin/control_inl.h"
