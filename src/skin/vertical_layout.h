// CVerticalLayoutUI: children one under another (see linear_layout.h); floating children
// are placed by their "pos".
#pragma once

#include "skin/container.h"

namespace Skin {

class CVerticalLayoutUI : public CContainerUI {
 public:
  std::wstring GetClass() const override { return L"VerticalLayoutUI"; }
  CControlUI* GetInterface(const std::wstring& name) override;
  void SetPos(const SkinRect& rect) override;
};

}  // namespace Skin
