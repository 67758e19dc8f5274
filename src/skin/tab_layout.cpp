#include "skin/tab_layout.h"

#include "skin/paint_manager.h"

namespace Skin {

bool CTabLayoutUI::Add(CControlUI* control) {
  if (!control) return false;
  bool visible = GetCount() == m_current;
  if (!CContainerUI::Add(control)) return false;
  control->SetVisible(visible);
  return true;
}

bool CTabLayoutUI::SelectItem(int index) {
  if (index < 0 || index >= GetCount()) return false;
  if (index == m_current && GetItemAt(index)->IsVisible()) return true;
  m_current = index;
  for (int i = 0; i < GetCount(); ++i) GetItemAt(i)->SetVisible(i == index);
  NeedUpdate();
  if (m_manager) m_manager->SendNotify(this, L"tabselect");
  return true;
}

void CTabLayoutUI::SetAttribute(const std::wstring& name, const std::wstring& value) {
  if (name == L"selectedid") {
    m_current = ParseInt(value);
  } else {
    CContainerUI::SetAttribute(name, value);
  }
}

}  // namespace Skin
