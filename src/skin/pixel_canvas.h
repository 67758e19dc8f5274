// A software renderer over a premultiplied 32-bit pixel buffer: antialiased rounded
// rectangles and frames, and filtered picture scaling (area averaging when shrinking,
// bilinear when enlarging). It draws no text itself (text calls do nothing and measure 0):
// the Windows surface adds text with GDI on the same pixels.
//
// The canvas does not own the pixels: the caller keeps the buffer alive while drawing.
#pragma once

#include <cstdint>

#include "skin/surface.h"

namespace Skin {

class CPixelCanvas : public ISurface {
 public:
  CPixelCanvas(std::uint32_t* pixels, int width, int height);

  void SetClip(const SkinRect& clip) override;
  SkinRect GetClip() const override { return clip_; }
  void FillRect(const SkinRect& rect, Colour colour) override;
  void FillRoundRect(const SkinRect& rect, SkinSize round, Colour colour) override;
  void DrawBorder(const SkinRect& rect, int size, SkinSize round, Colour colour) override;
  void DrawBitmap(const SkinBitmap& bitmap, const SkinRect& dest, const SkinRect& source,
                  int alpha) override;
  void DrawText(const SkinRect&, const std::wstring&, int, Colour, unsigned) override {}
  SkinSize MeasureText(const std::wstring&, int, unsigned) override { return SkinSize{}; }

  std::uint32_t PixelAt(int x, int y) const { return pixels_[y * width_ + x]; }

 protected:
  // Blends a premultiplied colour into one pixel with coverage 0..255.
  void Blend(int x, int y, std::uint32_t premultiplied, int coverage);

  std::uint32_t* pixels_;
  int width_;
  int height_;
  SkinRect clip_;
};

// Straight 0xAARRGGBB to premultiplied.
std::uint32_t Premultiply(Colour colour);

}  // namespace Skin
