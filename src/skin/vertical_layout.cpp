#include "skin/vertical_layout.h"

#include "skin/linear_layout.h"

namespace Skin {

CControlUI* CVerticalLayoutUI::GetInterface(const std::wstring& name) {
  if (name == L"VerticalLayout") return this;
  return CContainerUI::GetInterface(name);
}

void CVerticalLayoutUI::SetPos(const SkinRect& rect) {
  CControlUI::SetPos(rect);
  LayOutInLine(m_items, Inner(rect), m_childPadding, /*vertical=*/true);
  PlaceFloats();
}

}  // namespace Skin
