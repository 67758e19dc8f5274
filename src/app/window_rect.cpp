#include "app/window_rect.h"

namespace zr {

WindowRect ComputeInitialWindowRect(int screenWidth, int screenHeight) {
  constexpr int kWidth = 600;
  constexpr int kHeight = 400;
  int left = screenWidth / 2 - kWidth / 2;
  if (left < 0) {
    left = 0;
  } else if (left + kWidth > screenWidth) {
    left = screenWidth - kWidth;
  }
  int top = screenHeight / 2 - kHeight / 2;
  if (top < 0) {
    top = 0;
  } else if (top + kHeight > screenHeight) {
    top = screenHeight - kHeight;
  }
  return {left, top, left + kWidth, top + kHeight};
}

}  // namespace zr
