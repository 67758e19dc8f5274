#include "skin/scaled_surface.h"

#include <cstdlib>

namespace Skin {
namespace {

// `value` of a picture's pixels in a rendering of size `to` against the picture's `from`.
int ToRendering(int value, int from, int to) {
  if (from <= 0) return value;
  return static_cast<int>((static_cast<long long>(value) * to * 2 + from) / (2LL * from));
}

}  // namespace

SkinRect ToRendering(const SkinRect& rect, const SkinBitmap& picture, const SkinBitmap& rendering) {
  return SkinRect{ToRendering(rect.left, picture.width, rendering.width),
                  ToRendering(rect.top, picture.height, rendering.height),
                  ToRendering(rect.right, picture.width, rendering.width),
                  ToRendering(rect.bottom, picture.height, rendering.height)};
}

std::wstring VariantName(const std::wstring& file, int percent) {
  const size_t dot = file.rfind(L'.');
  if (dot == std::wstring::npos) return {};
  const std::wstring suffix = percent == 150 ? L"@1.5x" : L"@" + std::to_wstring(percent / 100) + L"x";
  return file.substr(0, dot) + suffix + file.substr(dot);
}

bool IsRenderingAt(const SkinBitmap& rendering, const SkinBitmap& picture, int percent) {
  auto near = [percent](int rendered, int base) { return std::abs(rendered - (base * percent + 50) / 100) <= 1; };
  return near(rendering.width, picture.width) && near(rendering.height, picture.height);
}

int ChooseVariantPercent(const SkinRect& source, const SkinRect& deviceDest) {
  if (source.IsEmpty()) return 100;
  // The enlargement the device size asks for, in percent, on the larger axis.
  long long needX = 100LL * deviceDest.Width() / source.Width();
  long long needY = 100LL * deviceDest.Height() / source.Height();
  long long need = needX > needY ? needX : needY;
  if (need <= 100) return 100;
  int largest = 100;
  for (int percent : kPictureVariantPercents) {
    if (percent >= need) return percent;
    largest = percent;
  }
  return largest;
}

CScaledSurface::CScaledSurface(ISurface& device, CDpiScale scale, IPictureVariants* variants)
    : m_device(device),
      m_scale(scale),
      m_variants(variants),
      m_limit(device.GetClip()),
      m_clip(scale.CoverToDocument(device.GetClip())) {}

void CScaledSurface::SetClip(const SkinRect& clip) {
  m_clip = clip;
  m_device.SetClip(m_scale.ToDevice(clip).Intersect(m_limit));
}

void CScaledSurface::FillRect(const SkinRect& rect, Colour colour) {
  m_device.FillRect(m_scale.ToDevice(rect), colour);
}

void CScaledSurface::FillRoundRect(const SkinRect& rect, SkinSize round, Colour colour) {
  m_device.FillRoundRect(m_scale.ToDevice(rect), m_scale.ToDevice(round), colour);
}

void CScaledSurface::DrawBorder(const SkinRect& rect, int size, SkinSize round, Colour colour) {
  m_device.DrawBorder(m_scale.ToDevice(rect), m_scale.LineToDevice(size), m_scale.ToDevice(round), colour);
}

void CScaledSurface::DrawBitmap(const SkinBitmap& bitmap, const SkinRect& dest, const SkinRect& source, int alpha) {
  SkinRect device = m_scale.ToDevice(dest);
  int percent = ChooseVariantPercent(source, device);
  const SkinBitmap* variant = nullptr;
  // The best fitting rendering the package has, trying the larger ones after it.
  for (int p : kPictureVariantPercents) {
    if (percent <= 100 || p < percent || variant != nullptr || m_variants == nullptr) continue;
    variant = m_variants->Variant(bitmap, p);
  }
  if (variant == nullptr) return m_device.DrawBitmap(bitmap, device, source, alpha);
  m_device.DrawBitmap(*variant, device, ToRendering(source, bitmap, *variant), alpha);
}

void CScaledSurface::DrawText(const SkinRect& rect, const std::wstring& text, int font, Colour colour, unsigned style) {
  m_device.DrawText(m_scale.ToDevice(rect), text, font, colour, style);
}

SkinSize CScaledSurface::MeasureText(const std::wstring& text, int font, unsigned style) {
  return m_scale.ToDocument(m_device.MeasureText(text, font, style));
}

}  // namespace Skin
