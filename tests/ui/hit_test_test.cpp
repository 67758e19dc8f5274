// The main window's drag rule on the real "wnd_main.xml" laid out at 580 x 400: the lower-left
// strip at its edges, labels and the progress bar drag, buttons and texts leave it to the
// engine's default, points outside the client area too.
#include "ui/hit_test.h"

#include <gtest/gtest.h>

#include <memory>

#include "skin/paint_manager.h"
#include "skin/tab_layout.h"
#include "support/skin_fixtures.h"

namespace {

using zr::MainHitTest;

class MainHitTestRule : public zr::test::MainDocumentTest {
 protected:
  void SetUp() override {
    zr::test::MainDocumentTest::SetUp();
    if (HasFatalFailure()) return;
    m_pm.SetClientSize(m_pm.Window().size);
    // As the window's initialisation leaves it.
    m_pm.FindControl(L"lab_install_tip")->SetVisible(true);
    m_pm.FindControl(L"lab_install_name")->SetVisible(true);
    m_pm.Layout();
  }

  MainHitTest At(int x, int y) {
    return zr::DecideMainHitTest(m_pm, Skin::SkinPoint{x, y}, m_client);
  }

  const Skin::SkinRect m_client{0, 0, 580, 400};
};

struct HitCase {
  int x, y;
  MainHitTest expected;
  const char* what;
};

TEST_F(MainHitTestRule, ProgressPage) {
  ASSERT_EQ(m_pm.GetClientSize(), (Skin::SkinSize{580, 400}));
  const HitCase cases[] = {
      // The lower-left strip: x up to 30, y from 301 on, even outside the client area.
      {30, 301, MainHitTest::kClient, "strip, inner corner"},
      {0, 399, MainHitTest::kClient, "strip, outer corner"},
      {10, 400, MainHitTest::kClient, "strip, below the client area"},
      {-5, 350, MainHitTest::kClient, "strip, left of the client area"},
      {31, 301, MainHitTest::kCaption, "right of the strip"},
      {30, 300, MainHitTest::kCaption, "above the strip"},
      // Labels, layouts and the progress bar drag.
      {300, 200, MainHitTest::kCaption, "background picture"},
      {100, 150, MainHitTest::kCaption, "updating caption"},
      {100, 354, MainHitTest::kCaption, "progress bar"},
      {200, 325, MainHitTest::kCaption, "file line"},
      {500, 325, MainHitTest::kCaption, "speed line"},
      {560, 380, MainHitTest::kCaption, "white tab area"},
      // Buttons and the title text are left to the default hit test.
      {529, 26, MainHitTest::kUseDefault, "minimise button"},
      {519, 16, MainHitTest::kUseDefault, "minimise button, corner"},
      {563, 35, MainHitTest::kUseDefault, "close button, corner"},
      {60, 25, MainHitTest::kUseDefault, "title text"},
      // Outside the client rectangle.
      {580, 10, MainHitTest::kUseDefault, "right of the window"},
      {100, -1, MainHitTest::kUseDefault, "above the window"},
      {100, 400, MainHitTest::kUseDefault, "below the window, outside the strip"},
  };
  for (const HitCase& c : cases) {
    EXPECT_EQ(At(c.x, c.y), c.expected) << c.what << " at " << c.x << "," << c.y;
  }
}

TEST_F(MainHitTestRule, CompletionPageButtonDoesNotDrag) {
  auto* tab = dynamic_cast<Skin::CTabLayoutUI*>(m_pm.FindControl(L"tab_update_view"));
  ASSERT_NE(tab, nullptr);
  // On the progress page the start button is hidden: its place drags.
  EXPECT_EQ(At(290, 345), MainHitTest::kCaption);
  ASSERT_TRUE(tab->SelectItem(1));
  m_pm.Layout();
  const Skin::SkinRect button = m_pm.FindControl(L"btn_runprogram")->GetPos();
  EXPECT_EQ(button, (Skin::SkinRect{218, 322, 362, 368})) << button.left << "," << button.top;
  EXPECT_EQ(At(290, 345), MainHitTest::kUseDefault);
  EXPECT_EQ(At(218, 322), MainHitTest::kUseDefault);
  EXPECT_EQ(At(217, 322), MainHitTest::kCaption);
  EXPECT_EQ(At(362, 345), MainHitTest::kCaption);
}

}  // namespace
