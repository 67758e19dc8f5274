// Letter case as the C runtime compares it in its default locale: the letters A-Z match their
// lower-case forms, every other character must be identical. Portable; any thread.
#pragma once

#include <algorithm>
#include <string>

namespace zr {

inline wchar_t FoldAsciiCase(wchar_t c) { return (c >= L'A' && c <= L'Z') ? wchar_t(c - L'A' + L'a') : c; }

inline std::wstring AsciiLower(std::wstring text) {
  for (wchar_t& c : text) c = FoldAsciiCase(c);
  return text;
}

inline bool EqualsIgnoringAsciiCase(const std::wstring& a, const std::wstring& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                            [](wchar_t x, wchar_t y) { return FoldAsciiCase(x) == FoldAsciiCase(y); });
}

}  // namespace zr
