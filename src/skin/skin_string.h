// The engine's text value: a wide string with printf-style formatting.
//
// Progress messages carry heap objects of this type from the update worker to the window;
// whoever receives such a pointer owns it. Formatting uses the C runtime's wide printf, so
// "%d" and "%.2f" behave as in printf. Wide strings must be passed with "%ls", which means
// a wide string on every runtime (a bare "%s" does not on all of them).
#pragma once

#include <cstdarg>
#include <string>

#include "util/ascii.h"

namespace Skin {

class CSkinString {
 public:
  CSkinString() = default;
  CSkinString(const wchar_t* text) : m_text(text ? text : L"") {}  // NOLINT: implicit by design
  CSkinString(std::wstring text) : m_text(std::move(text)) {}      // NOLINT

  // Replaces the contents with the formatted text; returns the new length. A format that
  // the runtime rejects leaves the string empty.
  int Format(const wchar_t* format, ...);
  int FormatV(const wchar_t* format, va_list args);

  bool IsEmpty() const { return m_text.empty(); }
  int GetLength() const { return static_cast<int>(m_text.size()); }
  void Empty() { m_text.clear(); }
  void Append(const wchar_t* text) { m_text += text ? text : L""; }
  const wchar_t* GetData() const { return m_text.c_str(); }
  operator const wchar_t*() const { return m_text.c_str(); }  // NOLINT
  const std::wstring& str() const { return m_text; }

  int Compare(const wchar_t* other) const { return m_text.compare(other ? other : L""); }
  // Case-insensitive for ASCII letters, which is all the engine's names use.
  int CompareNoCase(const wchar_t* other) const;

  CSkinString& operator+=(const wchar_t* text) { Append(text); return *this; }
  CSkinString& operator+=(const CSkinString& text) { m_text += text.m_text; return *this; }
  bool operator==(const wchar_t* other) const { return Compare(other) == 0; }
  bool operator!=(const wchar_t* other) const { return Compare(other) != 0; }
  bool operator==(const CSkinString& other) const { return m_text == other.m_text; }

 private:
  std::wstring m_text;
};

// Lower-cases ASCII letters only; other characters pass unchanged.
using zr::AsciiLower;
bool EqualsNoCase(const std::wstring& a, const std::wstring& b);

}  // namespace Skin
