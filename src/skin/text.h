// CTextUI: a label used for longer texts (a box's message); it behaves as CLabelUI.
#pragma once

#include "skin/label.h"
#include "skin/named_control.h"

namespace Skin {

inline constexpr wchar_t kTextName[] = L"Text";
class CTextUI : public CNamedControl<CLabelUI, kTextName> {};

}  // namespace Skin
