#include "skin/container.h"

#include <algorithm>

#include "skin/paint_manager.h"

namespace Skin {

CContainerUI::~CContainerUI() {
  auto items = std::move(items_);
  items_.clear();
  for (CControlUI* c : items) delete c;
}

CControlUI* CContainerUI::GetInterface(const std::wstring& name) {
  if (name == L"Container") return this;
  return CControlUI::GetInterface(name);
}

bool CContainerUI::Add(CControlUI* control) {
  if (!control) return false;
  items_.push_back(control);
  control->SetManager(manager_, this);
  NeedUpdate();
  return true;
}

bool CContainerUI::Remove(CControlUI* control) {
  auto it = std::find(items_.begin(), items_.end(), control);
  if (it == items_.end()) return false;
  items_.erase(it);
  if (manager_) {
    manager_->AddDelayedCleanup(control);
  } else {
    delete control;
  }
  NeedUpdate();
  return true;
}

void CContainerUI::RemoveAll() {
  while (!items_.empty()) Remove(items_.back());
}

CControlUI* CContainerUI::GetItemAt(int index) const {
  if (index < 0 || index >= GetCount()) return nullptr;
  return items_[static_cast<size_t>(index)];
}

int CContainerUI::GetItemIndex(CControlUI* control) const {
  auto it = std::find(items_.begin(), items_.end(), control);
  return it == items_.end() ? -1 : static_cast<int>(it - items_.begin());
}

void CContainerUI::SetManager(CPaintManager* manager, CControlUI* parent) {
  CControlUI::SetManager(manager, parent);
  for (CControlUI* c : items_) c->SetManager(manager, this);
}

SkinRect CContainerUI::Inner(const SkinRect& rect) const {
  return SkinRect{rect.left + inset_.left, rect.top + inset_.top, rect.right - inset_.right,
                  rect.bottom - inset_.bottom};
}

void CContainerUI::PlaceFloat(CControlUI* child) {
  const SkinRect& f = child->GetFloatPos();
  child->EstimateSize(SkinSize{f.Width(), f.Height()});
  child->SetPos(SkinRect{pos_.left + f.left, pos_.top + f.top, pos_.left + f.right,
                         pos_.top + f.bottom});
}

void CContainerUI::PlaceFloats() {
  for (CControlUI* c : items_) {
    if (c->IsVisible() && c->IsFloat()) PlaceFloat(c);
  }
}

void CContainerUI::SetPos(const SkinRect& rect) {
  CControlUI::SetPos(rect);
  SkinRect inner = Inner(rect);
  for (CControlUI* c : items_) {
    if (!c->IsVisible()) continue;
    if (c->IsFloat()) {
      PlaceFloat(c);
      continue;
    }
    const SkinRect& pad = c->GetPadding();
    SkinSize want = c->EstimateSize(SkinSize{inner.Width(), inner.Height()});
    int w = want.cx > 0 ? want.cx : inner.Width() - pad.left - pad.right;
    int h = want.cy > 0 ? want.cy : inner.Height() - pad.top - pad.bottom;
    int x = inner.left + pad.left, y = inner.top + pad.top;
    c->SetPos(SkinRect{x, y, x + std::max(0, w), y + std::max(0, h)});
  }
}

void CContainerUI::DoPaint(ISurface& surface, const SkinRect& paint) {
  SkinRect area = pos_.Intersect(paint);
  if (area.IsEmpty()) return;
  CControlUI::DoPaint(surface, paint);
  SkinRect saved = surface.GetClip();
  for (CControlUI* c : items_) {
    if (!c->IsVisible()) continue;
    SkinRect child_area = c->GetPos().Intersect(area);
    if (child_area.IsEmpty()) continue;
    surface.SetClip(saved.Intersect(child_area));
    c->DoPaint(surface, child_area);
  }
  surface.SetClip(saved);
}

void CContainerUI::SetAttribute(const std::wstring& name, const std::wstring& value) {
  if (name == L"inset") {
    inset_ = ParseRect(value);
  } else if (name == L"childpadding") {
    child_padding_ = ParseInt(value);
  } else {
    CControlUI::SetAttribute(name, value);
  }
}

CControlUI* CContainerUI::FindControlAt(SkinPoint point) {
  if (!IsVisible() || !pos_.Contains(point)) return nullptr;
  for (auto it = items_.rbegin(); it != items_.rend(); ++it) {
    if (CControlUI* hit = (*it)->FindControlAt(point)) return hit;
  }
  return IsMouseEnabled() ? this : nullptr;
}

CControlUI* CContainerUI::FindControlByName(const std::wstring& name) {
  if (name_ == name) return this;
  for (CControlUI* c : items_) {
    if (CControlUI* found = c->FindControlByName(name)) return found;
  }
  return nullptr;
}

void CContainerUI::VisitTree(const std::function<void(CControlUI*)>& f) {
  f(this);
  for (CControlUI* c : items_) c->VisitTree(f);
}

}  // namespace Skin
