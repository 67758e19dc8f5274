// Bytes written into a line that something reads back (a parser, a person): each byte the
// caller picks becomes a prefix and two hexadecimal digits, every other byte stays as it is.
// Portable; any thread.
#pragma once

#include <string>

namespace zr {

inline constexpr char kUpperHexDigits[] = "0123456789ABCDEF";
inline constexpr char kLowerHexDigits[] = "0123456789abcdef";

template <typename Picks>
std::string EscapeBytes(const std::string& text, Picks mustEscape, const char* prefix, const char* digits) {
  std::string escaped;
  escaped.reserve(text.size());
  for (const unsigned char byte : text) {
    if (!mustEscape(byte)) {
      escaped += static_cast<char>(byte);
      continue;
    }
    escaped += prefix;
    escaped += digits[byte >> 4];
    escaped += digits[byte & 15];
  }
  return escaped;
}

}  // namespace zr
