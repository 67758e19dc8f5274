// CVerticalLayoutUI: children one under another (see linear_layout.h); floating children
// are placed by their "pos".
#pragma once

#include "skin/linear_layout.h"
#include "skin/named_control.h"

namespace Skin {

inline constexpr wchar_t kVerticalLayoutName[] = L"VerticalLayout";
class CVerticalLayoutUI : public CNamedControl<CLinearLayoutUI<true>, kVerticalLayoutName> {};

}  // namespace Skin
