#include "skin/skin_string.h"


#include <cwchar>
#include <vector>

namespace Skin {

int CSkinString::Format(const wchar_t* format, ...) {
  va_list args;
  va_start(args, format);
  int n = FormatV(format, args);
  va_end(args);
  return n;
}

int CSkinString::FormatV(const wchar_t* format, va_list args) {
  m_text.clear();
  if (!format) return 0;
  std::vector<wchar_t> buffer(256);
  // vswprintf reports truncation only as a negative result, so grow until it fits, with a
  // limit so that a format the runtime rejects cannot make this loop forever.
  while (buffer.size() <= (1u << 20)) {
    va_list copy;
    va_copy(copy, args);
    int n = std::vswprintf(buffer.data(), buffer.size(), format, copy);
    va_end(copy);
    if (n >= 0 && static_cast<size_t>(n) < buffer.size()) {
      m_text.assign(buffer.data(), static_cast<size_t>(n));
      return n;
    }
    buffer.resize(buffer.size() * 4);
  }
  return 0;
}

bool EqualsNoCase(const std::wstring& a, const std::wstring& b) { return zr::EqualsIgnoringAsciiCase(a, b); }

int CSkinString::CompareNoCase(const wchar_t* other) const {
  return zr::AsciiLower(m_text).compare(zr::AsciiLower(other ? other : L""));
}

}  // namespace Skin
