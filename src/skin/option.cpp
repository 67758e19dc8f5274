#include "skin/option.h"

#include <vector>

#include "skin/paint_manager.h"

namespace Skin {

bool COptionUI::Activate() {
  if (!CButtonUI::Activate()) return false;
  Selected(m_group.empty() ? !m_selected : true);
  return true;
}

void COptionUI::Selected(bool selected) {
  if (m_selected == selected) return;
  m_selected = selected;
  if (m_selected && !m_group.empty() && m_manager && m_manager->GetRoot()) {
    // Unselect the other options of the group.
    std::vector<COptionUI*> others;
    m_manager->GetRoot()->VisitTree([&](CControlUI* c) {
      auto* o = static_cast<COptionUI*>(c->GetInterface(L"Option"));
      if (o && o != this && o->m_group == m_group && o->m_selected) others.push_back(o);
    });
    for (COptionUI* o : others) o->Selected(false);
  }
  Invalidate();
  if (m_manager) m_manager->SendNotify(this, L"selectchanged");
}

void COptionUI::PaintStatusImage(ISurface& surface) {
  if (m_selected && !m_selectedImage.empty()) {
    DrawImage(surface, m_selectedImage);
    return;
  }
  CButtonUI::PaintStatusImage(surface);
}

void COptionUI::SetAttribute(const std::wstring& name, const std::wstring& value) {
  if (name == L"group") {
    m_group = value;
  } else if (name == L"selected") {
    m_selected = ParseBool(value);
  } else if (name == L"selectedimage") {
    m_selectedImage = value;
  } else {
    CButtonUI::SetAttribute(name, value);
  }
}

}  // namespace Skin
