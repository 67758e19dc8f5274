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

}  // namespace
