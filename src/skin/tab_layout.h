// CTabLayoutUI: one page (child) visible at a time, the others hidden; "selectedid" picks the
// first one shown. Selecting another page sends "tabselect".
#pragma once

#include "skin/container.h"

namespace Skin {

inline constexpr wchar_t kTabLayoutName[] = L"TabLayout";
class CTabLayoutUI : public CNamedControl<CContainerUI, kTabLayoutName> {
 public:
  bool Add(CControlUI* control) override;
  // Shows the page with that index and hides the others; false for an index out of range.
  bool SelectItem(int index);
  int GetCurSel() const { return m_current; }
  void SetAttribute(const std::wstring& name, const std::wstring& value) override;

 private:
  int m_current = 0;
};

}  // namespace Skin
