// The main window's behaviour on the real "wnd_main.xml", deterministically: a fake window
// records what the controller asks of it, and the timer fires when the test says so.
#include "ui/main_controller.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "skin/label.h"
#include "skin/paint_manager.h"
#include "skin/progress.h"
#include "skin/tab_layout.h"
#include "strings/string_table.h"
#include "support/fake_texts.h"
#include "support/skin_fixtures.h"
#include "util/text.h"

namespace {

class FakeWindow : public zr::IMainWindowActions {
 public:
  std::vector<std::string> calls;
  std::wstring boxText;
  int otherBoxes = 0;
  std::function<void()> whileBoxOpen;  // what happens while the fatal box waits

  void StartCompletionTimer(unsigned ms) override { calls.push_back("timer " + std::to_string(ms)); }
  void StopCompletionTimer() override { calls.push_back("stop timer"); }
  void LaunchProduct() override { calls.push_back("launch"); }
  void PostCloseAndQuit() override { calls.push_back("close"); }
  void PostQuit() override { calls.push_back("quit"); }
  void Minimise() override { calls.push_back("minimise"); }
  void ShowFatalBox(const std::wstring& text) override {
    calls.push_back("box");
    boxText = text;
    if (whileBoxOpen) whileBoxOpen();
  }
  int ModalBoxesOver() const override { return otherBoxes; }
};

class MainController : public zr::test::MainDocumentTest {
 protected:
  void SetUp() override {
    zr::test::MainDocumentTest::SetUp();
    if (HasFatalFailure()) return;
    m_controller.Init(m_pm);
  }

  template <typename T>
  T& Control(const wchar_t* name) {
    T* control = dynamic_cast<T*>(m_pm.FindControl(name));
    EXPECT_NE(control, nullptr) << "no control " << zr::WideToUtf8(name);
    return *control;
  }
  int Page() { return Control<Skin::CTabLayoutUI>(L"tab_update_view").GetCurSel(); }
  bool Visible(const wchar_t* name) { return Control<Skin::CControlUI>(name).IsVisible(); }
  std::wstring Text(const wchar_t* name) { return Control<Skin::CControlUI>(name).GetText(); }

  zr::test::FakeTexts m_texts;
  FakeWindow m_window;
  zr::CMainController m_controller{m_window, m_texts};
};

TEST_F(MainController, TheProgressPageShowsTheProductAndTheWorkersMessages) {
  EXPECT_EQ(Page(), zr::CMainController::kProgressPage);
  EXPECT_EQ(Text(L"lab_captionTitle"), L"updateproduct_name");
  EXPECT_EQ(Text(L"lab_install_name"), L"product_name");
  {
    // With the shipped texts, as the user sees them.
    const zr::StringTable shipped(zr::StringTable::ProgramDocument());
    FakeWindow window;
    zr::CMainController controller(window, shipped);
    controller.Init(m_pm);
    EXPECT_EQ(Text(L"lab_captionTitle"), L"更新Zoria投屏助手");
    EXPECT_EQ(Text(L"lab_install_name"), L"Zoria投屏助手");
  }
  EXPECT_TRUE(Visible(L"lab_install_tip"));
  EXPECT_TRUE(Visible(L"lab_install_name"));
  EXPECT_FALSE(Visible(L"lab_install_completed"));

  auto& progress = Control<Skin::CProgressUI>(L"pro_pos");
  const struct {
    std::intptr_t posted;
    int shown;
  } steps[] = {{40, 40}, {-1, 40}, {101, 40}, {100, 100}, {0, 0}};
  for (const auto& step : steps) {
    m_controller.OnProgress(step.posted);
    EXPECT_EQ(progress.GetValue(), step.shown) << "after " << step.posted;
  }

  const struct {
    std::int64_t posted;
    const wchar_t* shown;
  } speeds[] = {
      {2048, L"2.00 KB/s"}, {-1, L""}, {std::int64_t{1} << 33, L"2.00 GB/s"}, {0, L"0 B/s"}};
  for (const auto& speed : speeds) {
    m_controller.OnSpeed(speed.posted);
    EXPECT_EQ(zr::WideToUtf8(Text(L"lb_speed")), zr::WideToUtf8(speed.shown))
        << "after " << speed.posted;
  }
  m_controller.OnStatusText(L"正在更新 a.dll");
  EXPECT_EQ(Text(L"lb_file"), L"正在更新 a.dll");
  EXPECT_TRUE(m_window.calls.empty());
}

TEST_F(MainController, SuccessShowsTheCompletionPageAndStartsTheProductAfterThreeSeconds) {
  m_controller.OnSucceeded();
  EXPECT_EQ(Page(), zr::CMainController::kCompletionPage);
  EXPECT_EQ(Control<Skin::CLabelUI>(L"labBk").GetBkImage(), L"file = 'install_img_03@2x.png'");
  EXPECT_FALSE(Visible(L"lab_install_tip"));
  EXPECT_FALSE(Visible(L"lab_install_name"));
  EXPECT_TRUE(Visible(L"lab_install_completed"));
  EXPECT_EQ(zr::WideToUtf8(Text(L"btn_runprogram")), "ok");
  EXPECT_EQ(m_window.calls, (std::vector<std::string>{"timer 3000"}));

  m_window.calls.clear();
  m_controller.OnCompletionTimer();
  EXPECT_EQ(m_window.calls, (std::vector<std::string>{"stop timer", "stop timer", "launch", "close"}));
}

// Whatever comes after the completion page, the product starts at most once, and only when
// the timer or the button is first to end the page.
TEST_F(MainController, TheProductStartsAtMostOnceAndNeverAfterClosingBegan) {
  using Event = std::function<void(zr::CMainController&)>;
  const Event timer = [](zr::CMainController& c) { c.OnCompletionTimer(); };
  const Event button = [](zr::CMainController& c) { c.OnClick(L"btn_runprogram"); };
  const Event closeButton = [](zr::CMainController& c) { c.OnClick(L"closebtn"); };
  const Event wmClose = [](zr::CMainController& c) { c.OnClose(); };
  const Event finished = [](zr::CMainController& c) { c.OnFinished(); };
  const struct {
    const char* name;
    std::vector<Event> events;
    int launches;
  } cases[] = {
      {"timer, button, timer", {timer, button, timer}, 1},
      {"button, timer", {button, timer}, 1},
      {"button twice", {button, button}, 1},
      {"close button, then timer", {closeButton, timer, button}, 0},
      {"WM_CLOSE, then timer", {wmClose, timer}, 0},
      {"worker finished, then button", {finished, button}, 0},
  };
  for (const auto& c : cases) {
    FakeWindow window;
    zr::CMainController controller(window, m_texts);
    controller.Init(m_pm);
    controller.OnSucceeded();
    for (const Event& event : c.events) event(controller);
    int launches = 0;
    for (const std::string& call : window.calls) launches += call == "launch";
    EXPECT_EQ(launches, c.launches) << c.name;
    EXPECT_TRUE(controller.Closing()) << c.name;
  }
}

TEST_F(MainController, ButtonsCloseOrMinimise) {
  EXPECT_TRUE(m_controller.OnClick(L"minbtn"));  // the engine's own minimise must not follow
  EXPECT_FALSE(m_controller.Closing());
  EXPECT_FALSE(m_controller.OnClick(L"labBk"));
  EXPECT_EQ(m_window.calls, (std::vector<std::string>{"minimise"}));
  EXPECT_FALSE(m_controller.OnClick(L"closebtn"));
  EXPECT_EQ(m_window.calls, (std::vector<std::string>{"minimise", "close"}));
  m_controller.OnClose();
  EXPECT_EQ(m_window.calls.back(), "quit");
}

// The fatal box keeps the window object alive while it is open: the object may go only once
// its window is gone and no box over it, of this thread or another, is open.
TEST_F(MainController, TheFatalBoxClosesTheWindowAndKeepsItsObjectAlive) {
  m_controller.OnFatalText(L"更新失败");
  EXPECT_EQ(m_window.boxText, L"更新失败");
  EXPECT_EQ(m_window.calls, (std::vector<std::string>{"box", "close"}));
  EXPECT_FALSE(m_controller.MayDelete());  // the window is still there
  m_controller.OnWindowGone();
  EXPECT_TRUE(m_controller.MayDelete());

  // The window goes while the box is open (a second box nested in it): nothing is posted to
  // it after, and the object stays until the outer box is answered.
  FakeWindow window;
  zr::CMainController controller(window, m_texts);
  controller.Init(m_pm);
  bool mayDeleteInside = true;
  int depth = 0;
  window.whileBoxOpen = [&] {
    if (++depth == 1) {
      controller.OnFatalText(L"second");
    } else {
      controller.OnWindowGone();
      mayDeleteInside = controller.MayDelete();
    }
  };
  controller.OnFatalText(L"first");
  EXPECT_FALSE(mayDeleteInside);
  EXPECT_EQ(window.calls, (std::vector<std::string>{"box", "box"}));
  EXPECT_TRUE(controller.MayDelete());
  window.otherBoxes = 1;  // the worker's box is still open over the window
  EXPECT_FALSE(controller.MayDelete());
}

// The main window's drag rule on the real "wnd_main.xml" laid out at 580 x 400: the lower-left
// strip at its edges, labels and the progress bar drag, buttons and texts leave it to the
// engine's default, points outside the client area too.
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

namespace zr {
namespace {

struct RectCase {
  int width, height;
  Skin::SkinRect expected;
};

TEST(InitialWindowRect, CentresAndKeepsOnScreen) {
  const RectCase cases[] = {
      {1024, 768, {212, 184, 812, 584}},
      {500, 300, {0, 0, 600, 400}},  // too small: pinned to the corner
      {1920, 1080, {660, 340, 1260, 740}},
      {601, 401, {0, 0, 600, 400}},   // 300 - 300 = 0, fits exactly
      {599, 399, {0, 0, 600, 400}},   // odd sizes truncate towards zero, then pin
      {600, 400, {0, 0, 600, 400}},
      {0, 0, {0, 0, 600, 400}},
  };
  for (const RectCase& c : cases) {
    Skin::SkinRect r = ComputeInitialWindowRect(c.width, c.height);
    EXPECT_EQ(r.left, c.expected.left) << c.width << "x" << c.height;
    EXPECT_EQ(r.top, c.expected.top) << c.width << "x" << c.height;
    EXPECT_EQ(r.right, c.expected.right) << c.width << "x" << c.height;
    EXPECT_EQ(r.bottom, c.expected.bottom) << c.width << "x" << c.height;
  }
}

TEST(FormatTransferSpeed, EveryBoundary) {
  const struct {
    int32_t input;
    const wchar_t* text;
  } cases[] = {
      {0, L"0 B/s"},
      {1, L"1 B/s"},
      {1024, L"1024 B/s"},           // strict: exactly one KB is still bytes
      {1025, L"1.00 KB/s"},
      {1536, L"1.50 KB/s"},
      {2048, L"2.00 KB/s"},
      {1048576, L"1024.00 KB/s"},     // exactly one MB is still kilobytes
      {1048577, L"1.00 MB/s"},
      {1073741824, L"1024.00 MB/s"},  // exactly one GB is still megabytes
      {1073741825, L"1.00 GB/s"},
      {2147483647, L"2.00 GB/s"},
      {1048575, L"1024.00 KB/s"},     // rounds up at two decimals
      {1127, L"1.10 KB/s"},
  };
  for (const auto& c : cases) EXPECT_EQ(FormatTransferSpeed(c.input), c.text) << c.input;
}

}  // namespace
}  // namespace zr
