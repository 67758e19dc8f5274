// A software renderer over a premultiplied 32-bit pixel buffer: antialiased rounded
// rectangles and frames, and filtered picture scaling (area averaging when shrinking,
// bilinear when enlarging). It draws no text itself (text calls do nothing and measure 0):
// the Windows surface adds text with GDI on the same pixels.
//
// The canvas does not own the pixels: the caller keeps the buffer alive while drawing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <tuple>
#include <vector>

#include "skin/surface.h"

namespace Skin {

// Filter taps along one axis: for each destination index, (source index, weight) pairs
// whose weights sum to 65536. Area averaging where it shrinks, bilinear where it enlarges.
struct ScaleTap {
  int index;
  int weight;
};
std::vector<std::vector<ScaleTap>> ScaleTaps(int destLen, int srcStart, int srcLen);

// The premultiplied rows of a picture, one at a time.
class IPictureRows {
 public:
  // Row y of the whole picture. ScaleRows asks top to bottom, never for a row above one it asked
  // for before.
  virtual const std::uint32_t* Row(int y) = 0;

 protected:
  ~IPictureRows() = default;
};

// `source` (within the picture) of a picture given by its rows, filtered to
// width x height as the canvas draws it. Each source row is filtered across once per
// destination row that takes it, and each pixel is rounded once from exact sums.
SkinBitmap ScaleRows(IPictureRows& rows, const SkinRect& source, int width, int height);

// `source` of the picture filtered to width x height, as the canvas draws it.
SkinBitmap ScalePicture(const SkinBitmap& picture, const SkinRect& source, int width, int height);

// Pictures scaled to the sizes they are drawn at, kept so that a repaint copies them instead
// of filtering them again (hovering a button repaints the large background under it).
// Keyed by picture, source rectangle and size: the pictures must stay alive and unchanged
// while the cache lives (a window's paint manager holds both). When the kept pixels would pass
// `limitBytes`, the cache starts over. One window's thread only.
class CScaledPictureCache {
 public:
  explicit CScaledPictureCache(std::size_t limitBytes = std::size_t{8} << 20) : m_limit(limitBytes) {}
  const SkinBitmap& Get(const SkinBitmap& picture, const SkinRect& source, int width, int height);
  // Pictures scaled so far, and the bytes kept now.
  unsigned ScaledCount() const { return m_scaled; }
  std::size_t Bytes() const { return m_bytes; }

 private:
  using Key = std::tuple<const SkinBitmap*, int, int, int, int, int, int>;
  std::map<Key, SkinBitmap> m_entries;
  std::size_t m_limit;
  std::size_t m_bytes = 0;
  unsigned m_scaled = 0;
};

class CPixelCanvas : public ISurface {
 public:
  CPixelCanvas(std::uint32_t* pixels, int width, int height);

  void SetClip(const SkinRect& clip) override;
  SkinRect GetClip() const override { return m_clip; }
  void FillRect(const SkinRect& rect, Colour colour) override;
  void FillRoundRect(const SkinRect& rect, SkinSize round, Colour colour) override;
  void DrawBorder(const SkinRect& rect, int size, SkinSize round, Colour colour) override;
  void DrawBitmap(const SkinBitmap& bitmap, const SkinRect& dest, const SkinRect& source, int alpha) override;
  void DrawText(const SkinRect&, const std::wstring&, int, Colour, unsigned) override {}
  SkinSize MeasureText(const std::wstring&, int, unsigned) override { return SkinSize{}; }

  std::uint32_t PixelAt(int x, int y) const { return m_pixels[y * m_width + x]; }
  // Scaled pictures are taken from (and kept in) `cache` from now on; nullptr: filtered on
  // every draw. The cache outlives the canvas.
  void SetScaleCache(CScaledPictureCache* cache) { m_scaleCache = cache; }

 protected:
  // Blends a premultiplied colour into one pixel with coverage 0..255.
  void Blend(int x, int y, std::uint32_t premultiplied, int coverage);
  // Copies the part `r` of `dest` from a picture of dest's size whose pixel (sx, sy) goes to
  // dest's top-left corner, faded by alpha.
  void BlitUnscaled(const SkinBitmap& picture, int sx, int sy, const SkinRect& dest, const SkinRect& r, int alpha);

  std::uint32_t* m_pixels;
  int m_width;
  int m_height;
  SkinRect m_clip;
  CScaledPictureCache* m_scaleCache = nullptr;
};

// Straight 0xAARRGGBB to premultiplied.
std::uint32_t Premultiply(Colour colour);

}  // namespace Skin
