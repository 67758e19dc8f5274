// Plain value types of the skin engine: points, sizes, rectangles and ARGB colours.
// Rectangles are half-open: [left, right) x [top, bottom), in window client pixels.
#pragma once

#include <algorithm>
#include <cstdint>

namespace Skin {

struct SkinPoint {
  int x = 0;
  int y = 0;
};

struct SkinSize {
  int cx = 0;
  int cy = 0;
  bool operator==(const SkinSize& o) const { return cx == o.cx && cy == o.cy; }
};

struct SkinRect {
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;

  int Width() const { return right - left; }
  int Height() const { return bottom - top; }
  bool IsEmpty() const { return right <= left || bottom <= top; }
  bool Contains(SkinPoint p) const { return p.x >= left && p.x < right && p.y >= top && p.y < bottom; }
  SkinRect Intersect(const SkinRect& o) const {
    SkinRect r{std::max(left, o.left), std::max(top, o.top), std::min(right, o.right), std::min(bottom, o.bottom)};
    if (r.IsEmpty()) return SkinRect{};
    return r;
  }
  SkinRect Union(const SkinRect& o) const {
    if (IsEmpty()) return o;
    if (o.IsEmpty()) return *this;
    return SkinRect{std::min(left, o.left), std::min(top, o.top), std::max(right, o.right), std::max(bottom, o.bottom)};
  }
  SkinRect Inflated(int dx, int dy) const { return SkinRect{left - dx, top - dy, right + dx, bottom + dy}; }
  // Moved in on each side by that side of `by` (a padding or an inset).
  SkinRect Deflated(const SkinRect& by) const {
    return SkinRect{left + by.left, top + by.top, right - by.right, bottom - by.bottom};
  }
  bool operator==(const SkinRect& o) const {
    return left == o.left && top == o.top && right == o.right && bottom == o.bottom;
  }
};

// 0xAARRGGBB, as written "#AARRGGBB" in the documents. Alpha 0 means "no colour".
using Colour = std::uint32_t;

inline std::uint8_t AlphaOf(Colour c) { return static_cast<std::uint8_t>(c >> 24); }

}  // namespace Skin
