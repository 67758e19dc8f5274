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

std::vector<int> ShareSpace(int available, const std::vector<std::pair<int, int>>& limits) {
  const size_t n = limits.size();
  std::vector<int> sizes(n, 0);
  std::vector<bool> fixed(n, false);
  size_t open = n;
  int left = available;
  // Fix every item whose limit binds at the current even share, until none does.
  bool changed = true;
  while (changed && open > 0) {
    changed = false;
    int share = std::max(0, left) / static_cast<int>(open);
    for (size_t i = 0; i < n; ++i) {
      if (fixed[i]) continue;
      int clamped = std::max(limits[i].first, std::min(share, limits[i].second));
      if (clamped != share) {
        sizes[i] = clamped;
        fixed[i] = true;
        left -= clamped;
        --open;
        changed = true;
      }
    }
  }
  if (open > 0) {
    int share = std::max(0, left) / static_cast<int>(open);
    int rest = std::max(0, left) - share * static_cast<int>(open);
    size_t last = n;
    for (size_t i = 0; i < n; ++i) {
      if (fixed[i]) continue;
      sizes[i] = share;
      last = i;
    }
    if (last < n) sizes[last] += rest;
  }
  return sizes;
}

namespace {

// One axis of a linear layout: `main` picks the axis the children follow each other on.
template <bool kVertical>
void LinearLayout(const std::vector<CControlUI*>& items, const SkinRect& inner,
                  int child_padding) {
  auto main_of = [](SkinSize s) { return kVertical ? s.cy : s.cx; };
  auto cross_of = [](SkinSize s) { return kVertical ? s.cx : s.cy; };
  auto pad_before = [](const SkinRect& p) { return kVertical ? p.top : p.left; };
  auto pad_after = [](const SkinRect& p) { return kVertical ? p.bottom : p.right; };
  auto cross_before = [](const SkinRect& p) { return kVertical ? p.left : p.top; };
  auto cross_after = [](const SkinRect& p) { return kVertical ? p.right : p.bottom; };
  auto min_main = [](CControlUI* c) { return kVertical ? c->GetMinHeight() : c->GetMinWidth(); };
  auto max_main = [](CControlUI* c) { return kVertical ? c->GetMaxHeight() : c->GetMaxWidth(); };
  auto min_cross = [](CControlUI* c) { return kVertical ? c->GetMinWidth() : c->GetMinHeight(); };
  auto max_cross = [](CControlUI* c) { return kVertical ? c->GetMaxWidth() : c->GetMaxHeight(); };
  const int main_len = kVertical ? inner.Height() : inner.Width();
  const int cross_len = kVertical ? inner.Width() : inner.Height();

  // Measure.
  std::vector<CControlUI*> flow;
  std::vector<SkinSize> wants;
  for (CControlUI* c : items) {
    if (!c->IsVisible() || c->IsFloat()) continue;
    flow.push_back(c);
    wants.push_back(c->EstimateSize(SkinSize{inner.Width(), inner.Height()}));
  }
  int used = 0;
  std::vector<std::pair<int, int>> flex_limits;
  for (size_t i = 0; i < flow.size(); ++i) {
    const SkinRect& pad = flow[i]->GetPadding();
    used += pad_before(pad) + pad_after(pad);
    if (i > 0) used += child_padding;
    int m = main_of(wants[i]);
    if (m > 0) {
      used += std::max(min_main(flow[i]), std::min(m, max_main(flow[i])));
    } else {
      flex_limits.emplace_back(min_main(flow[i]), max_main(flow[i]));
    }
  }
  std::vector<int> shares = ShareSpace(main_len - used, flex_limits);

  // Arrange.
  int cursor = kVertical ? inner.top : inner.left;
  size_t flex_index = 0;
  for (size_t i = 0; i < flow.size(); ++i) {
    CControlUI* c = flow[i];
    const SkinRect& pad = c->GetPadding();
    if (i > 0) cursor += child_padding;
    cursor += pad_before(pad);
    int m = main_of(wants[i]);
    int len = m > 0 ? std::max(min_main(c), std::min(m, max_main(c))) : shares[flex_index++];
    int cw = cross_of(wants[i]);
    int cross = cw > 0 ? cw : cross_len - cross_before(pad) - cross_after(pad);
    cross = std::max(min_cross(c), std::min(cross, max_cross(c)));
    cross = std::max(0, cross);
    int cross_start = (kVertical ? inner.left : inner.top) + cross_before(pad);
    SkinRect r = kVertical ? SkinRect{cross_start, cursor, cross_start + cross, cursor + len}
                           : SkinRect{cursor, cross_start, cursor + len, cross_start + cross};
    c->SetPos(r);
    cursor += len + pad_after(pad);
  }
}

}  // namespace

CControlUI* CVerticalLayoutUI::GetInterface(const std::wstring& name) {
  if (name == L"VerticalLayout") return this;
  return CContainerUI::GetInterface(name);
}

void CVerticalLayoutUI::SetPos(const SkinRect& rect) {
  CControlUI::SetPos(rect);
  LinearLayout<true>(items_, Inner(rect), child_padding_);
  for (CControlUI* c : items_) {
    if (c->IsVisible() && c->IsFloat()) PlaceFloat(c);
  }
}

CControlUI* CHorizontalLayoutUI::GetInterface(const std::wstring& name) {
  if (name == L"HorizontalLayout") return this;
  return CContainerUI::GetInterface(name);
}

void CHorizontalLayoutUI::SetPos(const SkinRect& rect) {
  CControlUI::SetPos(rect);
  LinearLayout<false>(items_, Inner(rect), child_padding_);
  for (CControlUI* c : items_) {
    if (c->IsVisible() && c->IsFloat()) PlaceFloat(c);
  }
}

CControlUI* CTabLayoutUI::GetInterface(const std::wstring& name) {
  if (name == L"TabLayout") return this;
  return CContainerUI::GetInterface(name);
}

bool CTabLayoutUI::Add(CControlUI* control) {
  if (!control) return false;
  bool visible = GetCount() == current_;
  if (!CContainerUI::Add(control)) return false;
  control->SetVisible(visible);
  return true;
}

bool CTabLayoutUI::SelectItem(int index) {
  if (index < 0 || index >= GetCount()) return false;
  if (index == current_ && GetItemAt(index)->IsVisible()) return true;
  current_ = index;
  for (int i = 0; i < GetCount(); ++i) GetItemAt(i)->SetVisible(i == index);
  NeedUpdate();
  if (manager_) manager_->SendNotify(this, L"tabselect", static_cast<WParam>(index));
  return true;
}

void CTabLayoutUI::SetAttribute(const std::wstring& name, const std::wstring& value) {
  if (name == L"selectedid") {
    current_ = ParseInt(value);
  } else {
    CContainerUI::SetAttribute(name, value);
  }
}

}  // namespace Skin
