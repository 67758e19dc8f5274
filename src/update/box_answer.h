// What a modal box answers: its first button, its second, or closed any other way (its close
// button, Alt+F4, WM_QUIT, or not shown because the process is ending). Other values may come
// from a box that failed; callers treat them as the first button unless they say otherwise.
#pragma once

namespace zr {

enum class BoxAnswer : int { kFirst = 6, kSecond = 7, kClosed = 8 };

}  // namespace zr
