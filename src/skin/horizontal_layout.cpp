#include "skin/horizontal_layout.h"

#include "skin/linear_layout.h"

namespace Skin {

CControlUI* CHorizontalLayoutUI::GetInterface(const std::wstring& name) {
  if (name == L"HorizontalLayout") return this;
  return CContainerUI::GetInterface(name);
}

void CHorizontalLayoutUI::SetPos(const SkinRect& rect) {
  CControlUI::SetPos(rect);
  LayOutInLine(items_, Inner(rect), child_padding_, /*vertical=*/false);
  PlaceFloats();
}

}  // namespace Skin
