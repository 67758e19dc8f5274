#include "skin/container.h"

#include <algorithm>

#include "skin/paint_manager.h"

namespace Skin {

CContainerUI::~CContainerUI() {
  auto items = std::move(m_items);
  m_items.clear();
  for (CControlUI* c : items) delete c;
}

bool CContainerUI::Add(CControlUI* control) {
  if (!control) return false;
  m_items.push_back(control);
  control->SetManager(m_manager, this);
  NeedUpdate();
  return true;
}

CControlUI* CContainerUI::GetItemAt(int index) const {
  if (index < 0 || index >= GetCount()) return nullptr;
  return m_items[static_cast<size_t>(index)];
}

void CContainerUI::SetManager(CPaintManager* manager, CControlUI* parent) {
  CControlUI::SetManager(manager, parent);
  for (CControlUI* c : m_items) c->SetManager(manager, this);
}

void CContainerUI::PlaceFloats() {
  for (CControlUI* c : m_items) {
    if (!c->IsVisible() || !c->IsFloat()) continue;
    const SkinRect& f = c->GetFloatPos();
    c->EstimateSize(SkinSize{f.Width(), f.Height()});
    c->SetPos(SkinRect{m_pos.left + f.left, m_pos.top + f.top, m_pos.left + f.right, m_pos.top + f.bottom});
  }
}

void CContainerUI::SetPos(const SkinRect& rect) {
  CControlUI::SetPos(rect);
  SkinRect inner = Inner(rect);
  for (CControlUI* c : m_items) {
    if (!c->IsVisible() || c->IsFloat()) continue;
    const SkinRect& pad = c->GetPadding();
    SkinSize want = c->EstimateSize(SkinSize{inner.Width(), inner.Height()});
    int w = want.cx > 0 ? want.cx : inner.Width() - pad.left - pad.right;
    int h = want.cy > 0 ? want.cy : inner.Height() - pad.top - pad.bottom;
    int x = inner.left + pad.left, y = inner.top + pad.top;
    c->SetPos(SkinRect{x, y, x + std::max(0, w), y + std::max(0, h)});
  }
  PlaceFloats();
}

void CContainerUI::DoPaint(ISurface& surface, const SkinRect& paint) {
  SkinRect area = m_pos.Intersect(paint);
  if (area.IsEmpty()) return;
  CControlUI::DoPaint(surface, paint);
  SkinRect saved = surface.GetClip();
  for (CControlUI* c : m_items) {
    if (!c->IsVisible()) continue;
    SkinRect childArea = c->GetPos().Intersect(area);
    if (childArea.IsEmpty()) continue;
    surface.SetClip(saved.Intersect(childArea));
    c->DoPaint(surface, childArea);
  }
  surface.SetClip(saved);
}

void CContainerUI::SetAttribute(const std::wstring& name, const std::wstring& value) {
  if (name == L"inset") {
    m_inset = ParseRect(value);
  } else if (name == L"childpadding") {
    m_childPadding = ParseInt(value);
  } else {
    CControlUI::SetAttribute(name, value);
  }
}

CControlUI* CContainerUI::FindControlAt(SkinPoint point) {
  if (!IsVisible() || !m_pos.Contains(point)) return nullptr;
  for (auto it = m_items.rbegin(); it != m_items.rend(); ++it) {
    if (CControlUI* hit = (*it)->FindControlAt(point)) return hit;
  }
  return IsMouseEnabled() ? this : nullptr;
}

CControlUI* CContainerUI::FindControlByName(const std::wstring& name) {
  if (m_name == name) return this;
  for (CControlUI* c : m_items) {
    if (CControlUI* found = c->FindControlByName(name)) return found;
  }
  return nullptr;
}

void CContainerUI::VisitTree(const std::function<void(CControlUI*)>& f) {
  f(this);
  for (CControlUI* c : m_items) c->VisitTree(f);
}

}  // namespace Skin
