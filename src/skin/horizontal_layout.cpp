#include "skin/horizontal_layout.h"

#include "skin/linear_layout.h"

namespace Skin {

CControlUI* CHorizontalLayoutUI::GetInterface(const std::wstring& name) {
  if (name == L"HorizontalLayout") return this;
  return CContainerUI::GetInterface(name);
}

void CHorizontalLayoutUI::SetPos(const SkinRect& rect) {
  CControlUI::SetPos(rect);
  LayOutInLine(m_items, Inner(rect), m_childPadding, /*vertical=*/false);
  PlaceFloats();
}

}  // namespace Skin
