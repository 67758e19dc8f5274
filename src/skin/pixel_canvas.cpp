#include "skin/pixel_canvas.h"

#include <algorithm>
#include <cmath>
#include <numeric>
#include <vector>

namespace Skin {
namespace {

// Coverage (0..255) of pixel (px, py) by a rounded rectangle with corner radii rx, ry,
// sampled 4 x 4 in the pixel. Pixels away from the corners are fully in or out.
int RoundCoverage(const SkinRect& r, double rx, double ry, int px, int py) {
  if (px < r.left || px >= r.right || py < r.top || py >= r.bottom) return 0;
  const double cxLeft = r.left + rx, cxRight = r.right - rx;
  const double cyTop = r.top + ry, cyBottom = r.bottom - ry;
  bool nearX = px < cxLeft || px + 1 > cxRight;
  bool nearY = py < cyTop || py + 1 > cyBottom;
  if (!(nearX && nearY) || rx <= 0 || ry <= 0) return 255;
  int inside = 0;
  for (int sy = 0; sy < 4; ++sy) {
    for (int sx = 0; sx < 4; ++sx) {
      double x = px + (sx + 0.5) / 4.0;
      double y = py + (sy + 0.5) / 4.0;
      double cx = x < cxLeft ? cxLeft : (x > cxRight ? cxRight : x);
      double cy = y < cyTop ? cyTop : (y > cyBottom ? cyBottom : y);
      double dx = (x - cx) / rx, dy = (y - cy) / ry;
      if (dx * dx + dy * dy <= 1.0) ++inside;
    }
  }
  return inside * 255 / 16;
}

// Scales all four premultiplied channels together.
std::uint32_t Fade(std::uint32_t px, int alpha) {
  if (alpha >= 255) return px;
  std::uint32_t s = 0;
  for (int shift = 24; shift >= 0; shift -= 8) s |= (((px >> shift) & 0xFF) * alpha / 255) << shift;
  return s;
}

}  // namespace

std::vector<std::vector<ScaleTap>> ScaleTaps(int destLen, int srcStart, int srcLen) {
  std::vector<std::vector<ScaleTap>> taps(destLen);
  const double scale = static_cast<double>(srcLen) / destLen;
  for (int d = 0; d < destLen; ++d) {
    auto& t = taps[d];
    if (scale >= 1.0) {
      // Shrinking: average the source span that this destination pixel covers.
      double a = d * scale, b = (d + 1) * scale;
      for (int s = static_cast<int>(a); s < srcLen && s < b; ++s) {
        double w = std::min<double>(b, s + 1) - std::max<double>(a, s);
        if (w > 0) t.push_back({srcStart + s, static_cast<int>(w / scale * 65536 + 0.5)});
      }
    } else {
      // Enlarging: bilinear between the two nearest source centres.
      double c = (d + 0.5) * scale - 0.5;
      int s0 = static_cast<int>(std::floor(c));
      double f = c - s0;
      int a = std::clamp(s0, 0, srcLen - 1), b = std::clamp(s0 + 1, 0, srcLen - 1);
      t.push_back({srcStart + a, static_cast<int>((1 - f) * 65536 + 0.5)});
      t.push_back({srcStart + b, static_cast<int>(f * 65536 + 0.5)});
    }
    int sum = 0;
    for (auto& tap : t) sum += tap.weight;
    if (!t.empty()) t.back().weight += 65536 - sum;
  }
  return taps;
}

// The colour made opaque, then faded by its alpha: the alpha channel comes back as it was.
std::uint32_t Premultiply(Colour c) { return Fade(c | 0xFF000000u, static_cast<int>(c >> 24)); }

CPixelCanvas::CPixelCanvas(std::uint32_t* pixels, int width, int height)
    : m_pixels(pixels), m_width(width), m_height(height), m_clip{0, 0, width, height} {}

void CPixelCanvas::SetClip(const SkinRect& clip) { m_clip = clip.Intersect(SkinRect{0, 0, m_width, m_height}); }

void CPixelCanvas::Blend(int x, int y, std::uint32_t src, int coverage) {
  if (coverage <= 0) return;
  std::uint32_t& d = m_pixels[y * m_width + x];
  src = Fade(src, coverage);
  const std::uint32_t sa = src >> 24;
  if (sa == 255) {
    d = src;
    return;
  }
  std::uint32_t inv = 255 - sa;
  auto ch = [&](int shift) {
    std::uint32_t v = ((src >> shift) & 0xFF) + ((d >> shift) & 0xFF) * inv / 255;
    return std::min<std::uint32_t>(v, 255) << shift;
  };
  d = ch(24) | ch(16) | ch(8) | ch(0);
}

void CPixelCanvas::FillRect(const SkinRect& rect, Colour colour) { FillRoundRect(rect, SkinSize{}, colour); }

void CPixelCanvas::FillRoundRect(const SkinRect& rect, SkinSize round, Colour colour) {
  if (AlphaOf(colour) == 0) return;
  double rx = std::min(round.cx / 2.0, rect.Width() / 2.0);
  double ry = std::min(round.cy / 2.0, rect.Height() / 2.0);
  SkinRect r = rect.Intersect(m_clip);
  std::uint32_t p = Premultiply(colour);
  for (int y = r.top; y < r.bottom; ++y) {
    // An opaque row between the corners (any row of a plain rectangle) is covered whole.
    if (p >> 24 == 255 && y >= rect.top + ry && y + 1 <= rect.bottom - ry) {
      std::fill(m_pixels + y * m_width + r.left, m_pixels + y * m_width + r.right, p);
      continue;
    }
    for (int x = r.left; x < r.right; ++x) Blend(x, y, p, RoundCoverage(rect, rx, ry, x, y));
  }
}

void CPixelCanvas::DrawBorder(const SkinRect& rect, int size, SkinSize round, Colour colour) {
  if (size <= 0 || AlphaOf(colour) == 0 || rect.IsEmpty()) return;
  std::uint32_t p = Premultiply(colour);
  SkinRect inner = rect.Inflated(-size, -size);
  double rx = std::max(0.0, std::min(round.cx / 2.0, rect.Width() / 2.0));
  double ry = std::max(0.0, std::min(round.cy / 2.0, rect.Height() / 2.0));
  double irx = std::max(0.0, rx - size), iry = std::max(0.0, ry - size);
  SkinRect r = rect.Intersect(m_clip);
  for (int y = r.top; y < r.bottom; ++y) {
    for (int x = r.left; x < r.right; ++x) {
      int outer = RoundCoverage(rect, rx, ry, x, y);
      int in = inner.IsEmpty() ? 0 : RoundCoverage(inner, irx, iry, x, y);
      Blend(x, y, p, std::max(0, outer - in));
    }
  }
}

SkinBitmap ScaleRows(IPictureRows& rows, const SkinRect& source, int width, int height) {
  SkinBitmap out;
  if (source.IsEmpty() || width <= 0 || height <= 0) return out;
  out.width = width;
  out.height = height;
  out.pixels.resize(static_cast<std::size_t>(width) * height);
  auto yt = ScaleTaps(height, source.top, source.Height());
  auto xt = ScaleTaps(width, 0, source.Width());
  // Every weight is a multiple of their greatest common divisor, a power of two since each
  // pixel's weights sum to 65536. In units of it, a pixel's weights sum to n each way; at most
  // 16 (a half, a quarter: the illustrations at 100 % and 150 %), a channel's sum is at most
  // n x n x 255 and fits in 16 bits: two channels a 32-bit word, alpha and green, red and blue.
  auto eachTap = [&](auto&& f) {
    for (auto* taps : {&yt, &xt})
      for (auto& pixel : *taps)
        for (auto& tap : pixel) f(tap);
  };
  int unit = 0;
  eachTap([&](ScaleTap& tap) { unit = std::gcd(unit, tap.weight); });
  if (unit >= 65536 / 16) {
    eachTap([&](ScaleTap& tap) { tap.weight /= unit; });
    constexpr std::uint32_t kLanes = 0x00FF00FF;
    const std::uint32_t n = 65536 / unit, half = n * n / 2 * 0x10001;
    const int shift = __builtin_ctz(n * n);  // n x n is 1 << shift
    std::vector<std::uint32_t> down(static_cast<std::size_t>(source.Width()) * 2);
    std::uint32_t *downAG = down.data(), *downRB = downAG + source.Width();
    for (int y = 0; y < height; ++y) {
      std::uint32_t kept = 0;  // the first tap's sums replace the last row's
      for (const auto& a : yt[y]) {
        const std::uint32_t* row = rows.Row(a.index) + source.left;
        const std::uint32_t w = a.weight;
        for (int x = 0; x < source.Width(); ++x) {
          downAG[x] = (downAG[x] & kept) + w * (row[x] >> 8 & kLanes);
          downRB[x] = (downRB[x] & kept) + w * (row[x] & kLanes);
        }
        kept = ~0u;
      }
      std::uint32_t* line = out.pixels.data() + static_cast<std::size_t>(y) * width;
      for (int x = 0; x < width; ++x) {
        std::uint32_t ag = half, rb = half;
        for (const auto& tap : xt[x]) {
          ag += tap.weight * downAG[tap.index];
          rb += tap.weight * downRB[tap.index];
        }
        line[x] = (ag >> shift & kLanes) << 8 | (rb >> shift & kLanes);
      }
    }
    return out;
  }
  // Down the source's columns first, then across, two channels a word, 32 bits apart: alpha and
  // green, red and blue. A column's sum down is at most 65536 x 255 a channel, so the halves
  // never carry into each other; the sums are exact, so the order of the axes changes nothing.
  const int columns = source.Width();
  std::vector<std::uint64_t> down(static_cast<std::size_t>(columns) * 2);
  auto channel = [](std::uint64_t sum) { return std::min<std::uint32_t>((sum + (1ull << 31)) >> 32, 255); };
  for (int y = 0; y < height; ++y) {
    std::uint64_t kept = 0;  // the first tap's sums replace the last row's
    for (const auto& a : yt[y]) {
      const std::uint32_t* row = rows.Row(a.index) + source.left;
      const std::uint64_t w = static_cast<std::uint32_t>(a.weight);
      for (int x = 0; x < columns; ++x) {
        const std::uint32_t px = row[x];
        down[x * 2] = (down[x * 2] & kept) + w * ((static_cast<std::uint64_t>(px >> 24) << 32) | ((px >> 8) & 0xFF));
        down[x * 2 + 1] =
            (down[x * 2 + 1] & kept) + w * ((static_cast<std::uint64_t>((px >> 16) & 0xFF) << 32) | (px & 0xFF));
      }
      kept = ~0ull;
    }
    std::uint32_t* line = out.pixels.data() + static_cast<std::size_t>(y) * width;
    for (int x = 0; x < width; ++x) {
      std::uint64_t a = 0, r = 0, g = 0, b = 0;
      for (const auto& tap : xt[x]) {
        const std::uint64_t w = static_cast<std::uint32_t>(tap.weight);
        const std::uint64_t ag = down[tap.index * 2], rb = down[tap.index * 2 + 1];
        a += w * (ag >> 32);
        r += w * (rb >> 32);
        g += w * (ag & 0xFFFFFFFF);
        b += w * (rb & 0xFFFFFFFF);
      }
      line[x] = channel(a) << 24 | channel(r) << 16 | channel(g) << 8 | channel(b);
    }
  }
  return out;
}

SkinBitmap ScalePicture(const SkinBitmap& picture, const SkinRect& source, int width, int height) {
  struct BitmapRows : IPictureRows {
    const SkinBitmap& bitmap;
    explicit BitmapRows(const SkinBitmap& b) : bitmap(b) {}
    const std::uint32_t* Row(int y) override { return bitmap.pixels.data() + static_cast<size_t>(y) * bitmap.width; }
  } rows(picture);
  return ScaleRows(rows, source.Intersect(SkinRect{0, 0, picture.width, picture.height}), width, height);
}

const SkinBitmap& CScaledPictureCache::Get(const SkinBitmap& picture, const SkinRect& source, int width, int height) {
  Key key{&picture, source.left, source.top, source.right, source.bottom, width, height};
  auto it = m_entries.find(key);
  if (it != m_entries.end()) return it->second;
  const std::size_t size = static_cast<std::size_t>(width) * height * 4;
  if (m_bytes + size > m_limit) {
    m_entries.clear();
    m_bytes = 0;
  }
  ++m_scaled;
  m_bytes += size;
  return m_entries.emplace(key, ScalePicture(picture, source, width, height)).first->second;
}

void CPixelCanvas::BlitUnscaled(const SkinBitmap& picture, int sx, int sy, const SkinRect& dest, const SkinRect& r,
                                int alpha) {
  for (int y = r.top; y < r.bottom; ++y) {
    const std::uint32_t* row = picture.pixels.data() + static_cast<size_t>(sy + y - dest.top) * picture.width;
    std::uint32_t* to = m_pixels + y * m_width;
    for (int x = r.left; x < r.right; ++x) {
      std::uint32_t out = Fade(row[sx + x - dest.left], alpha);
      if (out >> 24 == 255)
        to[x] = out;  // opaque: no blending
      else if (out >> 24)
        Blend(x, y, out, 255);
    }
  }
}

void CPixelCanvas::DrawBitmap(const SkinBitmap& bitmap, const SkinRect& dest, const SkinRect& source, int alpha) {
  SkinRect src = source.Intersect(SkinRect{0, 0, bitmap.width, bitmap.height});
  if (src.IsEmpty() || dest.IsEmpty() || alpha <= 0) return;
  SkinRect r = dest.Intersect(m_clip);
  if (r.IsEmpty()) return;
  alpha = std::min(alpha, 255);
  if (src.Width() == dest.Width() && src.Height() == dest.Height()) {
    return BlitUnscaled(bitmap, src.left, src.top, dest, r, alpha);
  }
  if (!m_scaleCache) return BlitUnscaled(ScalePicture(bitmap, src, dest.Width(), dest.Height()), 0, 0, dest, r, alpha);
  BlitUnscaled(m_scaleCache->Get(bitmap, src, dest.Width(), dest.Height()), 0, 0, dest, r, alpha);
}

}  // namespace Skin
