#include "skin/dpi_scale.h"

namespace Skin {
namespace {

// a / b rounded down, for any sign of a (b > 0).
long long FloorDiv(long long a, long long b) { return a >= 0 ? a / b : -((-a + b - 1) / b); }

}  // namespace

int CDpiScale::ToDevice(int units) const {
  if (IsIdentity()) return units;
  long long scaled = static_cast<long long>(units) * m_dpi;
  // Nearest, halves away from zero: symmetric, so a mirrored layout stays mirrored.
  long long half = kDocumentDpi / 2;
  return static_cast<int>(scaled >= 0 ? (scaled + half) / kDocumentDpi : -((-scaled + half) / kDocumentDpi));
}

SkinRect CDpiScale::ToDevice(const SkinRect& rect) const {
  if (IsIdentity()) return rect;
  SkinRect r{ToDevice(rect.left), ToDevice(rect.top), ToDevice(rect.right), ToDevice(rect.bottom)};
  if (rect.Width() == 1) r.right = r.left + 1;
  if (rect.Height() == 1) r.bottom = r.top + 1;
  return r;
}

int CDpiScale::LineToDevice(int units) const {
  if (units <= 1) return units;
  return std::max(1, ToDevice(units));
}

SkinPoint CDpiScale::ToDocument(SkinPoint device) const {
  if (IsIdentity()) return device;
  return SkinPoint{static_cast<int>(FloorDiv(static_cast<long long>(device.x) * kDocumentDpi, m_dpi)),
                   static_cast<int>(FloorDiv(static_cast<long long>(device.y) * kDocumentDpi, m_dpi))};
}

int CDpiScale::LengthToDocument(int device) const {
  if (IsIdentity()) return device;
  return static_cast<int>(-FloorDiv(-static_cast<long long>(device) * kDocumentDpi, m_dpi));
}

// The top-left corner rounded down as a point, the bottom-right one rounded up as a length.
SkinRect CDpiScale::CoverToDocument(const SkinRect& device) const {
  const SkinPoint topLeft = ToDocument(SkinPoint{device.left, device.top});
  return SkinRect{topLeft.x, topLeft.y, LengthToDocument(device.right), LengthToDocument(device.bottom)};
}

}  // namespace Skin
