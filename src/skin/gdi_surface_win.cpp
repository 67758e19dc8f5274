#include "skin/gdi_surface_win.h"

namespace Skin {

HFONT CGdiFontCache::Get(const FontInfo& font, int dpi) {
  const int size = dpi > 0 ? MulDiv(font.size, dpi, 96) : font.size;
  std::wstring key = font.name + L"|" + std::to_wstring(size) + (font.bold ? L"b" : L"") +
                     (font.underline ? L"u" : L"") + (font.italic ? L"i" : L"");
  auto it = m_fonts.find(key);
  if (it != m_fonts.end()) return static_cast<HFONT>(it->second.get());
  LOGFONTW lf = {};
  lf.lfHeight = -size;
  lf.lfWeight = font.bold ? FW_BOLD : FW_NORMAL;
  lf.lfItalic = font.italic ? TRUE : FALSE;
  lf.lfUnderline = font.underline ? TRUE : FALSE;
  lf.lfCharSet = DEFAULT_CHARSET;
  lf.lfQuality = CLEARTYPE_QUALITY;
  lstrcpynW(lf.lfFaceName, font.name.c_str(), LF_FACESIZE);
  HFONT h = CreateFontIndirectW(&lf);
  if (h) m_fonts.emplace(key, zr::CGdiObject(h));
  return h;
}

void CDibBuffer::Release() {
  m_selected.reset();
  m_bitmap.Reset();
  m_dc.Reset();
  m_bits = nullptr;
  m_width = m_height = 0;
}

bool CDibBuffer::Ensure(int width, int height) {
  if (width <= 0 || height <= 0) return false;
  if (m_bits && width == m_width && height == m_height) return true;
  Release();
  BITMAPINFO bi = {};
  bi.bmiHeader.biSize = sizeof(bi.bmiHeader);
  bi.bmiHeader.biWidth = width;
  bi.bmiHeader.biHeight = -height;  // top-down
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 32;
  bi.bmiHeader.biCompression = BI_RGB;
  m_dc.Reset(CreateCompatibleDC(nullptr));
  if (!m_dc) return false;
  void* bits = nullptr;
  m_bitmap.Reset(CreateDIBSection(m_dc.get(), &bi, DIB_RGB_COLORS, &bits, nullptr, 0));
  if (!m_bitmap || !bits) {
    Release();
    return false;
  }
  m_selected.emplace(m_dc.get(), m_bitmap.get());
  m_bits = static_cast<std::uint32_t*>(bits);
  m_width = width;
  m_height = height;
  return true;
}

CGdiSurface::CGdiSurface(CDibBuffer& buffer, const CFontTable& fonts, CGdiFontCache& cache, int dpi)
    : CPixelCanvas(buffer.bits(), buffer.width(), buffer.height()),
      m_dc(buffer.dc()),
      m_fonts(fonts),
      m_cache(cache),
      m_dpi(dpi) {
  GdiFlush();  // GDI may still be busy with the pixels (the last frame's copy to the screen)
}

void CGdiSurface::DrawText(const SkinRect& rect, const std::wstring& text, int font, Colour colour, unsigned style) {
  if (text.empty() || AlphaOf(colour) == 0) return;
  SkinRect clip = m_clip.Intersect(rect);
  if (clip.IsEmpty()) return;
  int saved = SaveDC(m_dc);
  IntersectClipRect(m_dc, clip.left, clip.top, clip.right, clip.bottom);
  {
    zr::CSelectObject selected(m_dc, m_cache.Get(m_fonts.Get(font), m_dpi));
    SetBkMode(m_dc, TRANSPARENT);
    SetTextColor(m_dc, RGB((colour >> 16) & 0xFF, (colour >> 8) & 0xFF, colour & 0xFF));
    RECT r{rect.left, rect.top, rect.right, rect.bottom};
    std::wstring copy = text;
    ::DrawTextW(m_dc, &copy[0], static_cast<int>(copy.size()), &r, style);
  }
  RestoreDC(m_dc, saved);
  GdiFlush();
  // GDI leaves the alpha byte of the pixels it wrote at 0; the window is opaque.
  for (int y = clip.top; y < clip.bottom; ++y) {
    std::uint32_t* row = m_pixels + static_cast<size_t>(y) * m_width;
    for (int x = clip.left; x < clip.right; ++x) row[x] |= 0xFF000000u;
  }
}

SkinSize CGdiSurface::MeasureText(const std::wstring& text, int font, unsigned style) {
  return MeasureTextOn(m_dc, m_fonts, m_cache, text, font, style, m_dpi);
}

SkinSize MeasureTextOn(HDC dc, const CFontTable& fonts, CGdiFontCache& cache, const std::wstring& text, int font,
                       unsigned style, int dpi) {
  zr::CSelectObject selected(dc, cache.Get(fonts.Get(font), dpi));
  RECT r{0, 0, 9999, 9999};
  std::wstring copy = text.empty() ? std::wstring(L" ") : text;
  ::DrawTextW(dc, &copy[0], static_cast<int>(copy.size()), &r,
              (style & ~(kTextWordBreak | kTextEndEllipsis | kTextVCenter | kTextBottom | kTextCenter | kTextRight)) |
                  kTextSingleLine | DT_CALCRECT);
  return SkinSize{text.empty() ? 0 : static_cast<int>(r.right - r.left), static_cast<int>(r.bottom - r.top)};
}

}  // namespace Skin
