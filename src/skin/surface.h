// What the engine draws on. The core never draws itself: controls emit calls on an ISurface,
// whose Windows implementation renders into a 32-bit bitmap and whose test implementation
// records the calls and measures text with fixed metrics.
//
// A surface belongs to the thread that paints; it is used for one paint and then dropped.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "skin/geometry.h"

namespace Skin {

// Text style flags. The values equal the Windows DrawText flags of the same meaning, so the
// Windows surface passes them on unchanged.
enum TextStyle : unsigned {
  kTextLeft = 0x0000,
  kTextCenter = 0x0001,
  kTextRight = 0x0002,
  kTextTop = 0x0000,
  kTextVCenter = 0x0004,
  kTextBottom = 0x0008,
  kTextWordBreak = 0x0010,
  kTextSingleLine = 0x0020,
  kTextNoPrefix = 0x0800,
  kTextEndEllipsis = 0x8000,
};

// A decoded picture: premultiplied alpha, one 0xAARRGGBB word per pixel, rows top down.
struct SkinBitmap {
  int width = 0;
  int height = 0;
  std::vector<std::uint32_t> pixels;
};

class ISurface {
 public:
  virtual ~ISurface() = default;

  // Every later call draws only inside `clip` (in the same coordinates as the drawing).
  virtual void SetClip(const SkinRect& clip) = 0;
  virtual SkinRect GetClip() const = 0;

  // Colours are 0xAARRGGBB, straight alpha; alpha 0 draws nothing.
  virtual void FillRect(const SkinRect& rect, Colour colour) = 0;
  // Rounded corners: `round` gives the width and height of the corner ellipse (as
  // "borderround" in the documents); edges are antialiased.
  virtual void FillRoundRect(const SkinRect& rect, SkinSize round, Colour colour) = 0;
  // A frame of `size` pixels inside `rect`, rounded like FillRoundRect when round is not 0.
  virtual void DrawBorder(const SkinRect& rect, int size, SkinSize round, Colour colour) = 0;
  // Draws `source` of the bitmap scaled into `dest`, blended with its own alpha times
  // `alpha` (0..255).
  virtual void DrawBitmap(const SkinBitmap& bitmap, const SkinRect& dest, const SkinRect& source, int alpha) = 0;
  // Text with the font of index `font` (resolved by the surface's owner), `style` from
  // TextStyle.
  virtual void DrawText(const SkinRect& rect, const std::wstring& text, int font, Colour colour, unsigned style) = 0;
  // Width and height in pixels of the text as one line.
  virtual SkinSize MeasureText(const std::wstring& text, int font, unsigned style) = 0;
};

}  // namespace Skin
