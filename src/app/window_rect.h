// The main window's first rectangle, before its skin gives it its real size.
#pragma once

namespace zr {

struct WindowRect {
  int left, top, right, bottom;
};

// A 600 x 400 rectangle centred on a screen of the given size, kept on screen where it fits
// and pinned to the top-left corner where it does not.
WindowRect ComputeInitialWindowRect(int screenWidth, int screenHeight);

}  // namespace zr
