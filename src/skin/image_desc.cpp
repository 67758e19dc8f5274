#include "skin/image_desc.h"

#include <cwchar>
#include <cwctype>

#include "util/ascii.h"

namespace Skin {
namespace {

int HexDigit(wchar_t c) {
  if (c >= L'0' && c <= L'9') return c - L'0';
  if (c >= L'a' && c <= L'f') return c - L'a' + 10;
  if (c >= L'A' && c <= L'F') return c - L'A' + 10;
  return -1;
}

std::vector<int> ParseInts(const std::wstring& text, size_t count) {
  std::vector<int> out(count, 0);
  const wchar_t* p = text.c_str();
  for (size_t i = 0; i < count && *p; ++i) {
    while (*p == L' ' || *p == L'\t') ++p;
    wchar_t* end = nullptr;
    long v = std::wcstol(p, &end, 10);
    if (end == p) break;
    out[i] = static_cast<int>(v);
    p = end;
    while (*p == L' ' || *p == L'\t') ++p;
    if (*p != L',') break;
    ++p;
  }
  return out;
}

}  // namespace

Colour ParseColour(const std::wstring& text) {
  size_t start = (!text.empty() && text[0] == L'#') ? 1 : 0;
  size_t digits = text.size() - start;
  if (digits != 8 && digits != 6) return 0;
  Colour v = 0;
  for (size_t i = start; i < text.size(); ++i) {
    int d = HexDigit(text[i]);
    if (d < 0) return 0;
    v = (v << 4) | static_cast<Colour>(d);
  }
  if (digits == 6) v |= 0xFF000000u;
  return v;
}

SkinRect ParseRect(const std::wstring& text) {
  auto v = ParseInts(text, 4);
  return SkinRect{v[0], v[1], v[2], v[3]};
}

SkinSize ParseSize(const std::wstring& text) {
  auto v = ParseInts(text, 2);
  return SkinSize{v[0], v[1]};
}

int ParseInt(const std::wstring& text) { return ParseInts(text, 1)[0]; }

bool ParseBool(const std::wstring& text) { return zr::EqualsIgnoringAsciiCase(text, L"true"); }

bool ParseImageDesc(const std::wstring& text, ImageDesc* out) {
  *out = ImageDesc{};
  if (text.find(L'=') == std::wstring::npos) {
    // A bare file name, possibly padded.
    size_t b = text.find_first_not_of(L" \t");
    size_t e = text.find_last_not_of(L" \t");
    if (b == std::wstring::npos) return false;
    out->file = text.substr(b, e - b + 1);
    return true;
  }
  size_t i = 0;
  const size_t n = text.size();
  while (i < n) {
    while (i < n && std::iswspace(text[i])) ++i;
    size_t keyStart = i;
    while (i < n && text[i] != L'=' && !std::iswspace(text[i])) ++i;
    std::wstring key = zr::AsciiLower(text.substr(keyStart, i - keyStart));
    while (i < n && std::iswspace(text[i])) ++i;
    if (i >= n || text[i] != L'=') break;
    ++i;
    while (i < n && std::iswspace(text[i])) ++i;
    std::wstring value;
    if (i < n && (text[i] == L'\'' || text[i] == L'"')) {
      wchar_t quote = text[i++];
      size_t close = text.find(quote, i);
      if (close == std::wstring::npos) close = n;
      value = text.substr(i, close - i);
      i = close < n ? close + 1 : n;
    } else {
      size_t s = i;
      while (i < n && !std::iswspace(text[i])) ++i;
      value = text.substr(s, i - s);
    }
    if (key == L"file" || key == L"res") {
      out->file = value;
    } else if (key == L"source") {
      out->source = ParseRect(value);
    } else if (key == L"corner") {
      out->corner = ParseRect(value);
    } else if (key == L"dest") {
      out->dest = ParseRect(value);
    } else if (key == L"mask") {
      out->mask = ParseColour(value);
      out->hasMask = true;
    } else if (key == L"fade") {
      out->fade = ParseInt(value);
    }
  }
  return !out->file.empty();
}

SkinRect ImageDest(const ImageDesc& desc, const SkinRect& area) {
  if (desc.dest.IsEmpty()) return area;
  return SkinRect{area.left + desc.dest.left, area.top + desc.dest.top, area.left + desc.dest.right,
                  area.top + desc.dest.bottom}
      .Intersect(area);
}

std::vector<std::pair<SkinRect, SkinRect>> NineGrid(const SkinRect& dest, const SkinRect& source,
                                                    const SkinRect& corner, std::optional<SkinRect> destCorner) {
  std::vector<std::pair<SkinRect, SkinRect>> pieces;
  if (dest.IsEmpty() || source.IsEmpty()) return pieces;
  // Source borders can never exceed the source itself.
  int sl = std::max(0, std::min(corner.left, source.Width()));
  int sr = std::max(0, std::min(corner.right, source.Width() - sl));
  int st = std::max(0, std::min(corner.top, source.Height()));
  int sb = std::max(0, std::min(corner.bottom, source.Height() - st));
  // Destination borders: as in the source, shrunk when the destination is too small.
  auto destSide = [](int sourceSide, int cornerSide, int destCornerSide) {
    return sourceSide == 0 ? 0 : (cornerSide == destCornerSide ? sourceSide : std::max(0, destCornerSide));
  };
  const SkinRect to = destCorner.value_or(corner);
  int dl = destSide(sl, corner.left, to.left);
  int dr = destSide(sr, corner.right, to.right);
  int dt = destSide(st, corner.top, to.top);
  int db = destSide(sb, corner.bottom, to.bottom);
  if (dl + dr > dest.Width()) {
    dl = dest.Width() * dl / (dl + dr);
    dr = dest.Width() - dl;
  }
  if (dt + db > dest.Height()) {
    dt = dest.Height() * dt / (dt + db);
    db = dest.Height() - dt;
  }
  const int dx[4] = {dest.left, dest.left + dl, dest.right - dr, dest.right};
  const int dy[4] = {dest.top, dest.top + dt, dest.bottom - db, dest.bottom};
  const int sx[4] = {source.left, source.left + sl, source.right - sr, source.right};
  const int sy[4] = {source.top, source.top + st, source.bottom - sb, source.bottom};
  for (int row = 0; row < 3; ++row) {
    for (int col = 0; col < 3; ++col) {
      SkinRect d{dx[col], dy[row], dx[col + 1], dy[row + 1]};
      SkinRect s{sx[col], sy[row], sx[col + 1], sy[row + 1]};
      if (d.IsEmpty() || s.IsEmpty()) continue;
      pieces.emplace_back(d, s);
    }
  }
  return pieces;
}

}  // namespace Skin
