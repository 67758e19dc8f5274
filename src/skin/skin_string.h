// The engine's name comparisons: control names, class names and notification types are
// ASCII, compared without regard to ASCII case where the documents' conventions say so.
#pragma once

#include <string>

#include "util/ascii.h"

namespace Skin {

// Lower-cases ASCII letters only; other characters pass unchanged.
using zr::AsciiLower;
inline bool EqualsNoCase(const std::wstring& a, const std::wstring& b) { return zr::EqualsIgnoringAsciiCase(a, b); }

}  // namespace Skin
