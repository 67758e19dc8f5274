#include "skin/paint_manager.h"

#include <gtest/gtest.h>

#include "skin/button.h"
#include "skin/container.h"
#include "skin/label.h"
#include "skin/markup_builder.h"
#include "skin/progress.h"
#include "skin/resources.h"
#include "support/skin_fixtures.h"

namespace {

using Skin::SkinPoint;
using Skin::SkinRect;

class RecordingSink : public Skin::INotifySink {
 public:
  void Notify(Skin::SkinNotify& msg) override {
    log.push_back(msg.type + L":" + (msg.sender ? msg.sender->GetName() : L"-"));
    if (on_notify) on_notify(msg);
  }
  std::vector<std::wstring> log;
  std::function<void(Skin::SkinNotify&)> on_notify;
};

// A button that records the order of its own click handling against the notification.
class OrderButton : public Skin::CButtonUI {
 public:
  explicit OrderButton(std::vector<std::wstring>* log) : log_(log) {}
  bool Activate() override {
    log_->push_back(L"activate:" + GetName());
    return CButtonUI::Activate();
  }

 private:
  std::vector<std::wstring>* log_;
};

class Factory : public Skin::IControlFactory {
 public:
  explicit Factory(std::vector<std::wstring>* log) : log_(log) {}
  Skin::CControlUI* CreateControl(const wchar_t* name) override {
    return std::wstring(name) == L"OrderButton" ? new OrderButton(log_) : nullptr;
  }

 private:
  std::vector<std::wstring>* log_;
};

const char kDocument[] =
    "<Window size=\"200,100\" caption=\"0,0,0,30\">"
    "<VerticalLayout name=\"root\" bkcolor=\"#FF101010\">"
    "  <HorizontalLayout name=\"bar\" height=\"30\">"
    "    <Label name=\"title\" width=\"100\" text=\"Title\"/>"
    "    <OrderButton name=\"ok\" width=\"50\"/>"
    "    <Button name=\"off\" width=\"50\" enabled=\"false\"/>"
    "  </HorizontalLayout>"
    "  <Container name=\"body\">"
    "    <Label name=\"under\"/>"
    "    <Button name=\"floating\" float=\"true\" pos=\"10,10,40,30\"/>"
    "    <Label name=\"hidden\" float=\"true\" pos=\"50,10,90,30\" visible=\"false\"/>"
    "  </Container>"
    "</VerticalLayout></Window>";

class PaintManagerTest : public testing::Test {
 protected:
  void SetUp() override {
    factory_ = std::make_unique<Factory>(&log_);
    pm_.Init(&host_, L"test");
    Skin::CControlUI* root =
        Skin::CMarkupBuilder::CreateFromText(kDocument, &pm_, factory_.get());
    ASSERT_NE(root, nullptr);
    pm_.AttachDialog(root);
    pm_.SetClientSize({200, 100});
    pm_.Layout();
    sink_.on_notify = [this](Skin::SkinNotify& m) { log_.push_back(L"notify:" + m.type); };
    pm_.AddNotifier(&sink_);
  }
  void Click(SkinPoint down, SkinPoint up) {
    pm_.OnMouseMove(down);
    pm_.OnButtonDown(down);
    pm_.OnMouseMove(up);
    pm_.OnButtonUp(up);
  }

  std::vector<std::wstring> log_;
  std::unique_ptr<Factory> factory_;
  zr::test::FakeHost host_;
  Skin::CPaintManager pm_;
  RecordingSink sink_;
};

TEST_F(PaintManagerTest, FindsControlsByNameAndTopmostAtAPoint) {
  EXPECT_EQ(pm_.FindControl(L"ok")->GetPos(), (SkinRect{100, 0, 150, 30}));
  EXPECT_EQ(pm_.FindControl(L"nothing"), nullptr);
  EXPECT_EQ(pm_.FindControl(L""), nullptr);
  const struct {
    SkinPoint p;
    const wchar_t* want;
  } table[] = {
      {{5, 5}, L"title"},      {{120, 5}, L"ok"},        {{170, 5}, L"off"},
      {{20, 45}, L"floating"}, {{60, 45}, L"under"},     // the hidden label is not hit
      {{150, 80}, L"under"},
  };
  for (const auto& row : table) {
    Skin::CControlUI* c = pm_.FindControl(row.p);
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(c->GetName(), row.want) << row.p.x << "," << row.p.y;
  }
  EXPECT_EQ(pm_.FindControl(SkinPoint{250, 5}), nullptr);
  EXPECT_EQ(pm_.FindControl(SkinPoint{-1, 5}), nullptr);
}

TEST_F(PaintManagerTest, ClickNotifiesAfterTheButtonsOwnHandling) {
  Click({120, 10}, {125, 12});
  EXPECT_EQ(log_, (std::vector<std::wstring>{L"activate:ok", L"notify:click"}));
  EXPECT_EQ(sink_.log, (std::vector<std::wstring>{L"click:ok"}));
  EXPECT_EQ(host_.captures, 0);  // captured on press, released on release
}

TEST_F(PaintManagerTest, NoClickWithoutPressAndReleaseOnTheSameEnabledButton) {
  Click({120, 10}, {20, 10});    // released elsewhere
  Click({170, 10}, {170, 10});   // disabled
  Click({5, 5}, {5, 5});         // a label
  pm_.OnButtonUp({120, 10});     // release without press
  pm_.OnButtonDown({120, 10});   // pressed, then the capture is lost: released, no click
  pm_.OnCaptureLost();
  EXPECT_EQ(pm_.GetPushed(), nullptr);
  EXPECT_FALSE(static_cast<Skin::CButtonUI*>(pm_.FindControl(L"ok"))->IsPushed());
  pm_.OnButtonUp({120, 10});
  EXPECT_TRUE(sink_.log.empty());
  Click({20, 45}, {21, 46});     // the floating button
  EXPECT_EQ(sink_.log, (std::vector<std::wstring>{L"click:floating"}));
}

TEST_F(PaintManagerTest, HotAndPushedStatesFollowTheMouse) {
  auto* ok = static_cast<Skin::CButtonUI*>(pm_.FindControl(L"ok"));
  pm_.OnMouseMove({120, 10});
  EXPECT_EQ(pm_.GetHot(), ok);
  EXPECT_TRUE(ok->IsHot());
  pm_.OnButtonDown({120, 10});
  EXPECT_TRUE(ok->IsPushed());
  EXPECT_EQ(pm_.GetPushed(), ok);
  pm_.OnMouseMove({5, 5});  // held outside: not pushed-looking, still the pushed control
  EXPECT_FALSE(ok->IsPushed());
  EXPECT_EQ(pm_.GetPushed(), ok);
  pm_.OnMouseMove({121, 10});
  EXPECT_TRUE(ok->IsPushed());
  pm_.OnButtonUp({121, 10});
  EXPECT_FALSE(ok->IsPushed());
  pm_.OnMouseLeave();
  EXPECT_EQ(pm_.GetHot(), nullptr);
  EXPECT_FALSE(ok->IsHot());
}

TEST_F(PaintManagerTest, NotifiersAndFiltersAreListsWithoutDuplicates) {
  RecordingSink second;
  EXPECT_TRUE(pm_.AddNotifier(&second));
  EXPECT_FALSE(pm_.AddNotifier(&second));
  pm_.SendNotify(pm_.FindControl(L"ok"), L"click");
  EXPECT_EQ(second.log.size(), 1u);
  EXPECT_TRUE(pm_.RemoveNotifier(&second));
  EXPECT_FALSE(pm_.RemoveNotifier(&second));
  pm_.SendNotify(pm_.FindControl(L"ok"), L"click");
  EXPECT_EQ(second.log.size(), 1u);
  EXPECT_EQ(sink_.log.size(), 2u);

  struct Filter : Skin::IMessageFilter {
    Skin::LResult FilterMessage(unsigned msg, Skin::WParam, Skin::LParam, bool& handled) override {
      seen.push_back(msg);
      handled = msg == 0x100;
      return handled ? 7 : 0;
    }
    std::vector<unsigned> seen;
  } filter;
  EXPECT_TRUE(pm_.AddPreMessageFilter(&filter));
  EXPECT_FALSE(pm_.AddPreMessageFilter(&filter));
  Skin::LResult r = 0;
  EXPECT_FALSE(pm_.PreMessageFilter(0x200, 0, 0, r));
  EXPECT_TRUE(pm_.PreMessageFilter(0x100, 0, 0, r));
  EXPECT_EQ(r, 7);
  EXPECT_TRUE(pm_.RemovePreMessageFilter(&filter));
  EXPECT_FALSE(pm_.PreMessageFilter(0x100, 0, 0, r));
  EXPECT_EQ(filter.seen.size(), 2u);
}

TEST_F(PaintManagerTest, AsyncNotificationsAndCleanupWaitForTheDeferredWork) {
  pm_.SendNotify(pm_.FindControl(L"ok"), L"later", 0, 0, true);
  EXPECT_TRUE(sink_.log.empty());
  EXPECT_EQ(host_.deferred_posts, 1);
  auto* body = static_cast<Skin::CContainerUI*>(pm_.FindControl(L"body"));
  Skin::CControlUI* under = pm_.FindControl(L"under");
  pm_.OnMouseMove({150, 80});
  EXPECT_EQ(pm_.GetHot(), under);
  ASSERT_TRUE(body->Remove(under));
  EXPECT_EQ(pm_.GetHot(), nullptr);  // no dangling hot control
  EXPECT_EQ(pm_.FindControl(L"under"), nullptr);
  EXPECT_TRUE(pm_.HasDeferredWork());
  pm_.ProcessDeferredWork();
  EXPECT_EQ(sink_.log, (std::vector<std::wstring>{L"later:ok"}));
  EXPECT_FALSE(pm_.HasDeferredWork());
}

class TickCounter : public Skin::CLabelUI {
 public:
  void DoEvent(Skin::SkinEvent& e) override {
    if (e.type == Skin::EventType::kTimer) ticks.push_back(static_cast<unsigned>(e.wparam));
  }
  std::vector<unsigned> ticks;
};

TEST_F(PaintManagerTest, TimersBelongToTheirControl) {
  auto* body = static_cast<Skin::CContainerUI*>(pm_.FindControl(L"body"));
  auto* a = new TickCounter();
  auto* b = new TickCounter();
  body->Add(a);
  body->Add(b);
  ASSERT_TRUE(pm_.SetTimer(a, 16, 30));
  ASSERT_TRUE(pm_.SetTimer(b, 16, 50));
  ASSERT_EQ(host_.started.size(), 2u);
  EXPECT_NE(host_.started[0].first, host_.started[1].first);
  EXPECT_EQ(host_.started[0].second, 30u);
  EXPECT_TRUE(pm_.OnHostTimer(host_.started[1].first));
  EXPECT_TRUE(a->ticks.empty());
  EXPECT_EQ(b->ticks, (std::vector<unsigned>{16}));
  EXPECT_FALSE(pm_.OnHostTimer(12345));

  EXPECT_TRUE(pm_.KillTimer(a, 16));
  EXPECT_FALSE(pm_.KillTimer(a, 16));
  EXPECT_FALSE(pm_.HasTimer(a, 16));
  EXPECT_EQ(host_.stopped, (std::vector<unsigned>{host_.started[0].first}));
  // A control that goes takes its timers with it.
  unsigned b_timer = host_.started[1].first;
  body->Remove(b);
  EXPECT_FALSE(pm_.HasTimer(b, 16));
  EXPECT_FALSE(pm_.OnHostTimer(b_timer));
  pm_.ProcessDeferredWork();

  host_.timers_work = false;
  EXPECT_FALSE(pm_.SetTimer(a, 1, 10));
  EXPECT_FALSE(pm_.HasTimer(a, 1));
}

TEST_F(PaintManagerTest, VisibilityAndSizeChangesRelayout) {
  Skin::CControlUI* hidden = pm_.FindControl(L"hidden");
  EXPECT_EQ(hidden->GetPos(), (SkinRect{}));
  hidden->SetVisible(true);
  EXPECT_TRUE(pm_.IsUpdateNeeded());
  pm_.Layout();
  EXPECT_EQ(hidden->GetPos(), (SkinRect{50, 40, 90, 60}));
  pm_.SetClientSize({300, 120});
  pm_.Layout();
  EXPECT_EQ(pm_.FindControl(L"under")->GetPos(), (SkinRect{0, 30, 300, 120}));
  pm_.FindControl(L"title")->SetVisible(false);
  pm_.Layout();
  EXPECT_EQ(pm_.FindControl(L"ok")->GetPos(), (SkinRect{0, 0, 50, 30}));
}

TEST_F(PaintManagerTest, PaintingDrawsInTreeOrderClippedToThePaintArea) {
  zr::test::RecordingSurface surface;
  pm_.Paint(surface, SkinRect{0, 0, 200, 100});
  auto fills = surface.Of(zr::test::DrawCall::kRound);
  ASSERT_FALSE(fills.empty());
  EXPECT_EQ(fills[0].rect, (SkinRect{0, 0, 200, 100}));
  EXPECT_EQ(fills[0].colour, 0xFF101010u);
  auto texts = surface.Of(zr::test::DrawCall::kText);
  ASSERT_EQ(texts.size(), 1u);
  EXPECT_EQ(texts[0].text, L"Title");
  EXPECT_EQ(texts[0].rect, (SkinRect{0, 0, 100, 30}));

  // A paint of the lower part only leaves the title alone.
  zr::test::RecordingSurface lower;
  pm_.Paint(lower, SkinRect{0, 50, 200, 100});
  EXPECT_TRUE(lower.Of(zr::test::DrawCall::kText).empty());
  ASSERT_FALSE(lower.Of(zr::test::DrawCall::kRound).empty()) << "the background is painted there";
  for (const auto& c : lower.calls) {
    EXPECT_GE(c.clip.top, 50);
  }
}

TEST_F(PaintManagerTest, InvalidationReachesTheHost) {
  host_.invalidated.clear();
  pm_.FindControl(L"title")->SetText(L"Other");
  ASSERT_EQ(host_.invalidated.size(), 1u);
  EXPECT_EQ(host_.invalidated[0], (SkinRect{0, 0, 100, 30}));
  host_.invalidated.clear();
  pm_.FindControl(L"title")->SetText(L"Other");  // unchanged: no repaint
  EXPECT_TRUE(host_.invalidated.empty());
}

}  // namespace
