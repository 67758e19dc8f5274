#include "skin/control.h"

#include "skin/paint_manager.h"
#include "skin/skin_string.h"

namespace Skin {

CControlUI::~CControlUI() {
  if (manager_) manager_->ReleaseControl(this);
}

CControlUI* CControlUI::GetInterface(const std::wstring& name) {
  return name == L"Control" ? this : nullptr;
}

void CControlUI::SetText(const std::wstring& text) {
  if (text_ == text) return;
  text_ = text;
  Invalidate();
}

void CControlUI::SetManager(CPaintManager* manager, CControlUI* parent) {
  manager_ = manager;
  parent_ = parent;
}

void CControlUI::SetVisible(bool visible) {
  if (visible_ == visible) return;
  visible_ = visible;
  if (!visible && manager_) manager_->ReleaseControl(this);
  NeedParentUpdate();
}

void CControlUI::SetEnabled(bool enabled) {
  if (enabled_ == enabled) return;
  enabled_ = enabled;
  Invalidate();
}

void CControlUI::SetPos(const SkinRect& rect) {
  if (rect == pos_) return;
  SkinRect old = pos_;
  pos_ = rect;
  if (manager_) manager_->Invalidate(old.Union(pos_));
}

SkinSize CControlUI::EstimateSize(SkinSize) { return fixed_; }

void CControlUI::SetFixedWidth(int cx) {
  if (cx < 0 || cx == fixed_.cx) return;
  fixed_.cx = cx;
  NeedParentUpdate();
}

void CControlUI::SetFixedHeight(int cy) {
  if (cy < 0 || cy == fixed_.cy) return;
  fixed_.cy = cy;
  NeedParentUpdate();
}

void CControlUI::SetBkColor(Colour c) {
  bkcolor_ = c;
  Invalidate();
}

void CControlUI::SetBkImage(const std::wstring& description) {
  if (bkimage_ == description) return;
  bkimage_ = description;
  Invalidate();
}

void CControlUI::Invalidate() {
  if (manager_ && visible_) manager_->Invalidate(pos_);
}

void CControlUI::NeedUpdate() {
  if (manager_) manager_->NeedUpdate();
}

void CControlUI::NeedParentUpdate() { NeedUpdate(); }

void CControlUI::DoPaint(ISurface& surface, const SkinRect& paint) {
  if (pos_.Intersect(paint).IsEmpty()) return;
  PaintBkColor(surface);
  PaintBkImage(surface);
  PaintStatusImage(surface);
  PaintText(surface);
  PaintBorder(surface);
}

void CControlUI::PaintBkColor(ISurface& surface) {
  if (AlphaOf(bkcolor_) == 0) return;
  surface.FillRoundRect(pos_, borderround_, bkcolor_);
}

void CControlUI::PaintBkImage(ISurface& surface) {
  if (!bkimage_.empty()) DrawImage(surface, bkimage_);
}

void CControlUI::PaintStatusImage(ISurface&) {}
void CControlUI::PaintText(ISurface&) {}

void CControlUI::PaintBorder(ISurface& surface) {
  if (bordersize_ <= 0) return;
  Colour c = (focused_ && AlphaOf(focusbordercolor_)) ? focusbordercolor_ : bordercolor_;
  surface.DrawBorder(pos_, bordersize_, borderround_, c);
}

bool CControlUI::DrawImage(ISurface& surface, const std::wstring& description) {
  return DrawImage(surface, description, pos_);
}

bool CControlUI::DrawImage(ISurface& surface, const std::wstring& description,
                           const SkinRect& area) {
  ImageDesc desc;
  if (!manager_ || !ParseImageDesc(description, &desc)) return false;
  const SkinBitmap* bitmap = manager_->GetImage(desc.file, desc.has_mask, desc.mask);
  if (!bitmap) return false;
  SkinRect dest = area;
  if (!desc.dest.IsEmpty()) {
    dest = SkinRect{area.left + desc.dest.left, area.top + desc.dest.top,
                    area.left + desc.dest.right, area.top + desc.dest.bottom}
               .Intersect(area);
  }
  SkinRect source = desc.source.IsEmpty() ? SkinRect{0, 0, bitmap->width, bitmap->height}
                                          : desc.source;
  SkinRect saved = surface.GetClip();
  surface.SetClip(saved.Intersect(pos_));
  for (const auto& piece : NineGrid(dest, source, desc.corner)) {
    surface.DrawBitmap(*bitmap, piece.first, piece.second, desc.fade);
  }
  surface.SetClip(saved);
  return true;
}

void CControlUI::DoEvent(SkinEvent&) {}

bool CControlUI::Activate() { return visible_ && enabled_; }

void CControlUI::SetAttribute(const std::wstring& name, const std::wstring& value) {
  if (name == L"name") {
    name_ = value;
  } else if (name == L"text") {
    SetText(value);
  } else if (name == L"tooltip") {
    tooltip_ = value;
  } else if (name == L"width") {
    SetFixedWidth(ParseInt(value));
  } else if (name == L"height") {
    SetFixedHeight(ParseInt(value));
  } else if (name == L"minwidth") {
    min_.cx = ParseInt(value);
  } else if (name == L"maxwidth") {
    max_.cx = ParseInt(value);
  } else if (name == L"minheight") {
    min_.cy = ParseInt(value);
  } else if (name == L"maxheight") {
    max_.cy = ParseInt(value);
  } else if (name == L"float") {
    float_ = ParseBool(value);
  } else if (name == L"pos") {
    float_pos_ = ParseRect(value);
    fixed_.cx = float_pos_.Width();
    fixed_.cy = float_pos_.Height();
  } else if (name == L"padding") {
    padding_ = ParseRect(value);
  } else if (name == L"bkcolor") {
    bkcolor_ = ParseColour(value);
  } else if (name == L"bkimage") {
    bkimage_ = value;
  } else if (name == L"bordercolor") {
    bordercolor_ = ParseColour(value);
  } else if (name == L"focusbordercolor") {
    focusbordercolor_ = ParseColour(value);
  } else if (name == L"bordersize") {
    bordersize_ = ParseInt(value);
  } else if (name == L"borderround") {
    borderround_ = ParseSize(value);
  } else if (name == L"visible") {
    SetVisible(ParseBool(value));
  } else if (name == L"enabled") {
    SetEnabled(ParseBool(value));
  } else if (name == L"mouse") {
    mouse_enabled_ = ParseBool(value);
  }
}

void CControlUI::ApplyAttributeList(const std::wstring& list) {
  ForEachAttribute(list, [this](const std::wstring& n, const std::wstring& v) { SetAttribute(n, v); });
}

CControlUI* CControlUI::FindControlAt(SkinPoint point) {
  if (!visible_ || !mouse_enabled_) return nullptr;
  return pos_.Contains(point) ? this : nullptr;
}

CControlUI* CControlUI::FindControlByName(const std::wstring& name) {
  return name_ == name ? this : nullptr;
}

}  // namespace Skin
