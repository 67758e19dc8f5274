// Where the main window may be dragged from: the decision of WM_NCHITTEST over the window's
// control tree, apart from the engine's default, so that it is checked without a window.
// UI thread (the tree belongs to the window).
#pragma once

#include "skin/geometry.h"

namespace Skin {
class CPaintManager;
}

namespace zr {

enum class MainHitTest {
  kUseDefault,  // the engine's default hit test decides (caption area, buttons)
  kClient,      // HTCLIENT
  kCaption,     // HTCAPTION: a press here drags the window
};

// `point` and `client` in client coordinates:
// 1. the lower-left strip (x <= left + 30 and y > bottom - 100) is client area;
// 2. inside the client rectangle, a control at the point whose class is neither "ButtonUI" nor
//    "TextUI" (any case) drags the window;
// 3. everything else goes to the engine's default.
MainHitTest DecideMainHitTest(const Skin::CPaintManager& manager, Skin::SkinPoint point, const Skin::SkinRect& client);

}  // namespace zr
