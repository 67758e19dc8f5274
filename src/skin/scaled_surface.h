// CScaledSurface: a surface in document units (96 DPI) over a surface in device pixels. The
// controls paint on it as at 96 DPI; it hands the device surface every call at the window's
// DPI: rectangles mapped by CDpiScale, corner rounds scaled, frames of 1 unit kept 1 pixel
// thick, pictures drawn from the package's larger rendering where one fits the device size
// better (IPictureVariants), text measured back in document units. Fonts are chosen by index;
// the device surface creates them at its DPI.
//
// Used for one paint, on the painting thread. At 96 DPI the paint manager does not use it.
#pragma once

#include "skin/dpi_scale.h"
#include "skin/surface.h"

namespace Skin {

// The larger renderings of the window's pictures.
class IPictureVariants {
 public:
  virtual ~IPictureVariants() = default;
  // The rendering of `picture` at `percent` of its size (150 or 200), or nullptr when the
  // package has none. It lives as long as `picture`.
  virtual const SkinBitmap* Variant(const SkinBitmap& picture, int percent) = 0;
};

// The percentages of the renderings the package may hold besides the picture itself.
inline constexpr int kPictureVariantPercents[] = {150, 200};

// Which rendering to draw `source` of a picture from into `deviceDest`: the smallest of 100
// (the picture itself) and the variants that is at least as large as the device size on both
// axes, else the largest.
int ChooseVariantPercent(const SkinRect& source, const SkinRect& deviceDest);
// "name@1.5x.png" or "name@2x.png": a picture's rendering at `percent` (empty without an extension);
// one whose size is not the picture's at that scale, within a pixel, is another picture's.
std::wstring VariantName(const std::wstring& file, int percent);
bool IsRenderingAt(const SkinBitmap& rendering, const SkinBitmap& picture, int percent);
// `rect` of a picture's pixels (or a nine-grid's corner widths) in a `rendering` of the picture
// at another size, rounded to the nearest pixel so that the pieces of a nine-grid still meet.
SkinRect ToRendering(const SkinRect& rect, const SkinBitmap& picture, const SkinBitmap& rendering);

class CScaledSurface : public ISurface {
 public:
  // `device` keeps its current clip as the limit of everything drawn through this surface.
  CScaledSurface(ISurface& device, CDpiScale scale, IPictureVariants* variants);

  void SetClip(const SkinRect& clip) override;
  SkinRect GetClip() const override { return m_clip; }
  void FillRect(const SkinRect& rect, Colour colour) override;
  void FillRoundRect(const SkinRect& rect, SkinSize round, Colour colour) override;
  void DrawBorder(const SkinRect& rect, int size, SkinSize round, Colour colour) override;
  void DrawBitmap(const SkinBitmap& bitmap, const SkinRect& dest, const SkinRect& source, int alpha) override;
  void DrawText(const SkinRect& rect, const std::wstring& text, int font, Colour colour, unsigned style) override;
  SkinSize MeasureText(const std::wstring& text, int font, unsigned style) override;

 private:
  ISurface& m_device;
  CDpiScale m_scale;
  IPictureVariants* m_variants;
  SkinRect m_limit;  // device pixels
  SkinRect m_clip;   // document units
};

}  // namespace Skin
