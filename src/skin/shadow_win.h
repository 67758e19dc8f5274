// Windows only. The drop shadow: a layered popup owned by the window, `size` pixels larger
// on every side, showing the nine-grid shadow picture around the window (its centre, which
// lies under the window, is left transparent). It follows the window as it moves, resizes,
// hides and shows, and goes with it. Its picture is rendered and handed to the system only
// when its size changes or it is shown again; a move only moves it.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>

#include "skin/gdi_surface_win.h"
#include "skin/geometry.h"
#include "skin/surface.h"

namespace Skin {

class CShadowWindow {
 public:
  CShadowWindow() = default;
  ~CShadowWindow();
  CShadowWindow(const CShadowWindow&) = delete;
  CShadowWindow& operator=(const CShadowWindow&) = delete;

  // `size` and `destCorner` are device pixels; `corner` is in the picture's pixels.
  void Setup(HWND owner, std::shared_ptr<const SkinBitmap> picture, int size, const SkinRect& corner,
             const SkinRect& destCorner);
  // Called on every move, size and show change of the owner. False when the shadow must be
  // rendered again and its picture has gone.
  bool Follow();
  // Hides it until the next Follow finds the owner shown.
  void Hide();
  void Destroy();
  // Bytes of picture handed to the system so far (UpdateLayeredWindow).
  std::uint64_t UploadedBytes() const { return m_uploaded; }

 private:
  // Draws the nine-grid picture, its centre left transparent, into a new buffer.
  bool Render(CDibBuffer& buffer, int width, int height);

  HWND m_owner = nullptr;
  HWND m_hwnd = nullptr;
  std::shared_ptr<const SkinBitmap> m_picture;  // until handed to the system
  int m_size = 0;
  SkinRect m_corner;
  SkinRect m_destCorner;
  bool m_shown = false;  // placed and showing its current picture
  SIZE m_sizeShown{};    // the size of that picture
  POINT m_where{};       // its top-left corner on the screen while shown
  std::uint64_t m_uploaded = 0;
};

}  // namespace Skin
