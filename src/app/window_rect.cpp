#include "app/window_rect.h"

#include <algorithm>

namespace zr {

WindowRect ComputeInitialWindowRect(int screenWidth, int screenHeight) {
  constexpr int kWidth = 600;
  constexpr int kHeight = 400;
  // Centred, the rectangle can only stick out on the top-left side (on a screen smaller than
  // it): it is then pinned to the corner.
  const int left = std::max(0, screenWidth / 2 - kWidth / 2);
  const int top = std::max(0, screenHeight / 2 - kHeight / 2);
  return {left, top, left + kWidth, top + kHeight};
}

}  // namespace zr
