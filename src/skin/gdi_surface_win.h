// Windows only. The GDI side of painting: a 32-bit top-down bitmap that the pixel canvas
// draws shapes and pictures into and GDI draws text onto, and the window's font cache.
//
// All objects belong to the window's thread. Every GDI handle is owned by one RAII object.
#pragma once

#include <windows.h>

#include <map>
#include <optional>
#include <string>

#include "skin/font_table.h"
#include "skin/pixel_canvas.h"
#include "util/handle_win.h"

namespace Skin {

// HFONTs made from font descriptions, kept until the cache goes.
class CGdiFontCache {
 public:
  CGdiFontCache() = default;
  CGdiFontCache(const CGdiFontCache&) = delete;
  CGdiFontCache& operator=(const CGdiFontCache&) = delete;
  // The font at its size scaled from 96 DPI to `dpi`; nullptr when GDI refuses it.
  HFONT Get(const FontInfo& font, int dpi = 96);

 private:
  std::map<std::wstring, zr::CGdiObject> m_fonts;
};

// A 32-bit DIB section with a memory DC selected into it.
class CDibBuffer {
 public:
  CDibBuffer() = default;
  CDibBuffer(const CDibBuffer&) = delete;
  CDibBuffer& operator=(const CDibBuffer&) = delete;
  // (Re)creates the buffer when the size differs. False when GDI refuses.
  bool Ensure(int width, int height);
  HDC dc() const { return m_dc.get(); }
  std::uint32_t* bits() const { return m_bits; }
  int width() const { return m_width; }
  int height() const { return m_height; }

 private:
  void Release();
  // Destroyed in reverse order: the bitmap leaves the DC, then goes, then the DC.
  zr::CMemoryDC m_dc;
  zr::CGdiObject m_bitmap;
  std::optional<zr::CSelectObject> m_selected;
  std::uint32_t* m_bits = nullptr;
  int m_width = 0;
  int m_height = 0;
};

// The surface controls paint on: shapes and pictures through the pixel canvas, text
// through GDI on the same pixels (ClearType quality), its fonts at the window's DPI.
class CGdiSurface : public CPixelCanvas {
 public:
  // GDI is flushed when the surface is made and after each text, so the canvas never draws
  // while GDI still works on the pixels.
  CGdiSurface(CDibBuffer& buffer, const CFontTable& fonts, CGdiFontCache& cache, int dpi = 96);

  void DrawText(const SkinRect& rect, const std::wstring& text, int font, Colour colour, unsigned style) override;
  SkinSize MeasureText(const std::wstring& text, int font, unsigned style) override;

 private:
  HDC m_dc;
  const CFontTable& m_fonts;
  CGdiFontCache& m_cache;
  int m_dpi;
};

// Width and height in pixels of `text` as one line on `dc` with that font at `dpi`.
SkinSize MeasureTextOn(HDC dc, const CFontTable& fonts, CGdiFontCache& cache, const std::wstring& text, int font,
                       unsigned style, int dpi = 96);

}  // namespace Skin
