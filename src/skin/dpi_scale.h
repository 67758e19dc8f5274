// CDpiScale: the map between the documents' units (pixels at 96 DPI, in which every size,
// position and control rectangle of the engine is kept) and a window's device pixels at its
// DPI. At 96 DPI both are the same and every conversion returns its argument.
//
// Rectangles map edge by edge (each edge rounded to the nearest device pixel), so controls
// that touch in the document still touch on the screen; a rectangle 1 unit wide or tall stays
// 1 device pixel (a hairline stays a hairline), and so does a frame 1 unit thick.
// Pure values: any thread.
#pragma once

#include "skin/geometry.h"

namespace Skin {

inline constexpr int kDocumentDpi = 96;

class CDpiScale {
 public:
  CDpiScale() = default;
  // A DPI of 0 or less is taken as 96.
  explicit CDpiScale(int dpi) : m_dpi(dpi > 0 ? dpi : kDocumentDpi) {}

  int Dpi() const { return m_dpi; }
  bool IsIdentity() const { return m_dpi == kDocumentDpi; }

  // A coordinate or length, rounded to the nearest device pixel (halves away from zero).
  int ToDevice(int units) const;
  SkinSize ToDevice(SkinSize size) const { return SkinSize{ToDevice(size.cx), ToDevice(size.cy)}; }
  SkinRect ToDevice(const SkinRect& rect) const;
  // A frame's thickness: 1 stays 1, 0 stays 0, more is scaled (at least 1).
  int LineToDevice(int units) const;

  // The document point whose unit holds the device pixel.
  SkinPoint ToDocument(SkinPoint device) const;
  // A device length as document units, rounded up (a measured text still fits).
  int LengthToDocument(int device) const;
  SkinSize ToDocument(SkinSize device) const {
    return SkinSize{LengthToDocument(device.cx), LengthToDocument(device.cy)};
  }
  // The document rectangle that covers the device rectangle.
  SkinRect CoverToDocument(const SkinRect& device) const;

 private:
  int m_dpi = kDocumentDpi;
};

}  // namespace Skin
