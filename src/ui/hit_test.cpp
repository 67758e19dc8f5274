#include "ui/hit_test.h"

#include "skin/paint_manager.h"
#include "skin/skin_string.h"

namespace zr {
namespace {

constexpr int kStripWidth = 30;
constexpr int kStripHeight = 100;

bool IsPressable(const Skin::CControlUI& control) {
  const std::wstring kind = control.GetClass();
  return Skin::EqualsNoCase(kind, L"ButtonUI") || Skin::EqualsNoCase(kind, L"TextUI");
}

}  // namespace

MainHitTest DecideMainHitTest(const Skin::CPaintManager& manager, Skin::SkinPoint point, const Skin::SkinRect& client) {
  if (point.x <= client.left + kStripWidth && point.y > client.bottom - kStripHeight) {
    return MainHitTest::kClient;
  }
  if (client.Contains(point)) {
    const Skin::CControlUI* control = manager.FindControl(point);
    if (control != nullptr && !IsPressable(*control)) return MainHitTest::kCaption;
  }
  return MainHitTest::kUseDefault;
}

}  // namespace zr
