// CHorizontalLayoutUI: children side by side, left to right (see linear_layout.h); floating
// children are placed by their "pos".
#pragma once

#include "skin/linear_layout.h"
#include "skin/named_control.h"

namespace Skin {

inline constexpr wchar_t kHorizontalLayoutName[] = L"HorizontalLayout";
class CHorizontalLayoutUI : public CNamedControl<CLinearLayoutUI<false>, kHorizontalLayoutName> {};

}  // namespace Skin
