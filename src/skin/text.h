// CTextUI: a label used for longer texts (a box's message); it behaves as CLabelUI.
#pragma once

#include "skin/label.h"

namespace Skin {

class CTextUI : public CLabelUI {
 public:
  std::wstring GetClass() const override { return L"TextUI"; }
  CControlUI* GetInterface(const std::wstring& name) override;
};

}  // namespace Skin
