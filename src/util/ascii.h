// Letter case as the C runtime compares it in its default locale: the letters A-Z match their
// lower-case forms, every other character must be identical. Portable; any thread.
#pragma once

#include <string>

namespace zr {

inline wchar_t FoldAsciiCase(wchar_t c) { return (c >= L'A' && c <= L'Z') ? wchar_t(c - L'A' + L'a') : c; }

inline std::wstring AsciiLower(std::wstring text) {
  for (wchar_t& c : text) c = FoldAsciiCase(c);
  return text;
}

inline bool EqualsIgnoringAsciiCase(const std::wstring& a, const std::wstring& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (FoldAsciiCase(a[i]) != FoldAsciiCase(b[i])) return false;
  }
  return true;
}

}  // namespace zr
