// The native build's conversions (text.h). Invalid input bytes become U+FFFD (as Windows does
// for flags 0); surrogate code points are written as U+FFFD on the way out.
#include "util/text.h"

namespace zr {
namespace {

void AppendUtf8(std::string& out, char32_t c) {
  if ((c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF) c = 0xFFFD;
  static const char32_t kLead[] = {0, 0xC0, 0xE0, 0xF0};
  const int extra = c < 0x80 ? 0 : c < 0x800 ? 1 : c < 0x10000 ? 2 : 3;  // continuation bytes
  out += static_cast<char>(kLead[extra] | (c >> (6 * extra)));
  for (int shift = 6 * (extra - 1); shift >= 0; shift -= 6) out += static_cast<char>(0x80 | ((c >> shift) & 0x3F));
}

}  // namespace

std::wstring Utf8ToWide(const char* text) {
  std::wstring out;
  if (text == nullptr) return out;
  const auto* p = reinterpret_cast<const unsigned char*>(text);
  while (*p != 0) {
    const unsigned char b = *p;
    const int extra = b < 0x80 ? 0 : (b & 0xE0) == 0xC0 ? 1 : (b & 0xF0) == 0xE0 ? 2 : (b & 0xF8) == 0xF0 ? 3 : -1;
    char32_t c = extra <= 0 ? b : b & (0x3F >> extra);
    int i = 1;
    for (; i <= extra && (p[i] & 0xC0) == 0x80; ++i) c = (c << 6) | (p[i] & 0x3F);
    static const char32_t kMin[] = {0, 0x80, 0x800, 0x10000};
    // A stray byte, or a sequence cut short, longer than its value needs or outside Unicode's
    // scalar values: its lead byte and the continuation bytes that were valid give one U+FFFD.
    const bool valid = extra >= 0 && i > extra && c >= kMin[extra] && c <= 0x10FFFF && (c < 0xD800 || c > 0xDFFF);
    out += static_cast<wchar_t>(valid ? c : 0xFFFD);
    p += i;
  }
  return out;
}

std::string WideToUtf8(const wchar_t* text) {
  std::string out;
  if (text == nullptr) return out;
  for (const wchar_t* p = text; *p != 0; ++p) AppendUtf8(out, static_cast<char32_t>(*p));
  return out;
}

std::string WideToLocal(const wchar_t* text) { return WideToUtf8(text); }
std::wstring LocalToWide(const char* text) { return Utf8ToWide(text); }

}  // namespace zr
