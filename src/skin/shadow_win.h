// Windows only. The drop shadow: a layered popup owned by the window, `size` pixels larger
// on every side, showing the nine-grid shadow picture around the window (its centre, which
// lies under the window, is left transparent). It follows the window as it moves, resizes,
// hides and shows, and goes with it.
#pragma once

#include <windows.h>

#include "skin/gdi_surface.h"
#include "skin/geometry.h"
#include "skin/surface.h"

namespace Skin {

class CShadowWindow {
 public:
  CShadowWindow() = default;
  ~CShadowWindow();
  CShadowWindow(const CShadowWindow&) = delete;
  CShadowWindow& operator=(const CShadowWindow&) = delete;

  // The picture is owned by the window's paint manager and outlives the shadow.
  void Setup(HWND owner, const SkinBitmap* picture, int size, const SkinRect& corner);
  // Called on every move, size and show change of the owner.
  void Follow();
  void Destroy();
  HWND hwnd() const { return hwnd_; }

 private:
  void Render(int width, int height);

  HWND owner_ = nullptr;
  HWND hwnd_ = nullptr;
  const SkinBitmap* picture_ = nullptr;
  int size_ = 0;
  SkinRect corner_;
  CDibBuffer buffer_;
};

}  // namespace Skin
