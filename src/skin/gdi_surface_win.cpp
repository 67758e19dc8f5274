#include "skin/gdi_surface_win.h"

namespace Skin {

HFONT CGdiFontCache::Get(const FontInfo& font) {
  std::wstring key = font.name + L"|" + std::to_wstring(font.size) + (font.bold ? L"b" : L"") +
                     (font.underline ? L"u" : L"") + (font.italic ? L"i" : L"");
  auto it = fonts_.find(key);
  if (it != fonts_.end()) return static_cast<HFONT>(it->second.get());
  LOGFONTW lf = {};
  lf.lfHeight = -font.size;
  lf.lfWeight = font.bold ? FW_BOLD : FW_NORMAL;
  lf.lfItalic = font.italic ? TRUE : FALSE;
  lf.lfUnderline = font.underline ? TRUE : FALSE;
  lf.lfCharSet = DEFAULT_CHARSET;
  lf.lfQuality = CLEARTYPE_QUALITY;
  lstrcpynW(lf.lfFaceName, font.name.c_str(), LF_FACESIZE);
  HFONT h = CreateFontIndirectW(&lf);
  if (h) fonts_.emplace(key, zr::CGdiObject(h));
  return h;
}

void CDibBuffer::Release() {
  selected_.reset();
  bitmap_.Reset();
  dc_.Reset();
  bits_ = nullptr;
  width_ = height_ = 0;
}

bool CDibBuffer::Ensure(int width, int height) {
  if (width <= 0 || height <= 0) return false;
  if (bits_ && width == width_ && height == height_) return true;
  Release();
  BITMAPINFO bi = {};
  bi.bmiHeader.biSize = sizeof(bi.bmiHeader);
  bi.bmiHeader.biWidth = width;
  bi.bmiHeader.biHeight = -height;  // top-down
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 32;
  bi.bmiHeader.biCompression = BI_RGB;
  dc_.Reset(CreateCompatibleDC(nullptr));
  if (!dc_) return false;
  void* bits = nullptr;
  bitmap_.Reset(CreateDIBSection(dc_.get(), &bi, DIB_RGB_COLORS, &bits, nullptr, 0));
  if (!bitmap_ || !bits) {
    Release();
    return false;
  }
  selected_.emplace(dc_.get(), bitmap_.get());
  bits_ = static_cast<std::uint32_t*>(bits);
  width_ = width;
  height_ = height;
  return true;
}

CGdiSurface::CGdiSurface(CDibBuffer& buffer, const CFontTable& fonts, CGdiFontCache& cache)
    : CPixelCanvas(buffer.bits(), buffer.width(), buffer.height()),
      dc_(buffer.dc()),
      fonts_(fonts),
      cache_(cache) {}

// GDI may still be writing text into the pixels: flush before the canvas touches them.
void CGdiSurface::FillRect(const SkinRect& rect, Colour colour) {
  GdiFlush();
  CPixelCanvas::FillRect(rect, colour);
}
void CGdiSurface::FillRoundRect(const SkinRect& rect, SkinSize round, Colour colour) {
  GdiFlush();
  CPixelCanvas::FillRoundRect(rect, round, colour);
}
void CGdiSurface::DrawBorder(const SkinRect& rect, int size, SkinSize round, Colour colour) {
  GdiFlush();
  CPixelCanvas::DrawBorder(rect, size, round, colour);
}
void CGdiSurface::DrawBitmap(const SkinBitmap& bitmap, const SkinRect& dest,
                             const SkinRect& source, int alpha) {
  GdiFlush();
  CPixelCanvas::DrawBitmap(bitmap, dest, source, alpha);
}

void CGdiSurface::DrawText(const SkinRect& rect, const std::wstring& text, int font,
                           Colour colour, unsigned style) {
  if (text.empty() || AlphaOf(colour) == 0) return;
  SkinRect clip = clip_.Intersect(rect);
  if (clip.IsEmpty()) return;
  int saved = SaveDC(dc_);
  IntersectClipRect(dc_, clip.left, clip.top, clip.right, clip.bottom);
  {
    zr::CSelectObject selected(dc_, cache_.Get(fonts_.Get(font)));
    SetBkMode(dc_, TRANSPARENT);
    SetTextColor(dc_, RGB((colour >> 16) & 0xFF, (colour >> 8) & 0xFF, colour & 0xFF));
    RECT r{rect.left, rect.top, rect.right, rect.bottom};
    std::wstring copy = text;
    ::DrawTextW(dc_, &copy[0], static_cast<int>(copy.size()), &r, style);
  }
  RestoreDC(dc_, saved);
  GdiFlush();
  // GDI leaves the alpha byte of the pixels it wrote at 0; the window is opaque.
  for (int y = clip.top; y < clip.bottom; ++y) {
    std::uint32_t* row = pixels_ + static_cast<size_t>(y) * width_;
    for (int x = clip.left; x < clip.right; ++x) row[x] |= 0xFF000000u;
  }
}

SkinSize CGdiSurface::MeasureText(const std::wstring& text, int font, unsigned style) {
  return MeasureTextOn(dc_, fonts_, cache_, text, font, style);
}

SkinSize MeasureTextOn(HDC dc, const CFontTable& fonts, CGdiFontCache& cache,
                       const std::wstring& text, int font, unsigned style) {
  zr::CSelectObject selected(dc, cache.Get(fonts.Get(font)));
  RECT r{0, 0, 9999, 9999};
  std::wstring copy = text.empty() ? std::wstring(L" ") : text;
  ::DrawTextW(dc, &copy[0], static_cast<int>(copy.size()), &r,
              (style & ~(kTextWordBreak | kTextEndEllipsis | kTextVCenter | kTextBottom |
                         kTextCenter | kTextRight)) |
                  kTextSingleLine | DT_CALCRECT);
  return SkinSize{text.empty() ? 0 : static_cast<int>(r.right - r.left),
                  static_cast<int>(r.bottom - r.top)};
}

}  // namespace Skin
