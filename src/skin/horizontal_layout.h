// CHorizontalLayoutUI: children side by side, left to right (see linear_layout.h); floating
// children are placed by their "pos".
#pragma once

#include "skin/container.h"

namespace Skin {

class CHorizontalLayoutUI : public CContainerUI {
 public:
  std::wstring GetClass() const override { return L"HorizontalLayoutUI"; }
  CControlUI* GetInterface(const std::wstring& name) override;
  void SetPos(const SkinRect& rect) override;
};

}  // namespace Skin
