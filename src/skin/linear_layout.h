// The linear layouts, CVerticalLayoutUI (children one under another) and CHorizontalLayoutUI
// (side by side, left to right), and their arithmetic: children one after another along one
// axis, fixed sizes first, the rest shared by the flexible ones within their limits. Measures
// (EstimateSize) and then arranges (SetPos) the children it is given. CLinearLayoutUI<vertical>
// is the container that lays its children out so; floating children are placed by their "pos".
#pragma once

#include <utility>
#include <vector>

#include "skin/container.h"
#include "skin/control.h"

namespace Skin {

// Shares `available` pixels among flexible items with [min, max] limits: items whose limit
// binds get the limit, the others split the rest evenly (the last takes the remainder).
std::vector<int> ShareSpace(int available, const std::vector<std::pair<int, int>>& limits);

// Places the visible, non-floating `items` inside `inner`, top to bottom when `vertical`, else
// left to right, `childPadding` apart, each with its own padding around it. A size a child
// asks for on the axis is kept (within its limits); the others share what is left. Across the
// axis a child takes its own size or, without one, the whole width (height) less its padding.
// Floating items are left to the caller.
void LayOutInLine(const std::vector<CControlUI*>& items, const SkinRect& inner, int childPadding, bool vertical);

// A container whose children follow each other down (kVertical) or across.
template <bool kVertical>
class CLinearLayoutUI : public CContainerUI {
 public:
  void SetPos(const SkinRect& rect) override {
    CControlUI::SetPos(rect);
    LayOutInLine(m_items, Inner(rect), m_childPadding, kVertical);
    PlaceFloats();
  }
};

inline constexpr wchar_t kVerticalLayoutName[] = L"VerticalLayout";
class CVerticalLayoutUI : public CNamedControl<CLinearLayoutUI<true>, kVerticalLayoutName> {};
inline constexpr wchar_t kHorizontalLayoutName[] = L"HorizontalLayout";
class CHorizontalLayoutUI : public CNamedControl<CLinearLayoutUI<false>, kHorizontalLayoutName> {};

}  // namespace Skin
