#include "skin/paint_manager.h"

#include <gtest/gtest.h>

#include "skin/button.h"
#include "skin/container.h"
#include "skin/label.h"
#include "skin/markup_builder.h"
#include "skin/progress.h"
#include "skin/skin_context.h"
#include "support/skin_fixtures.h"

namespace {

using Skin::SkinPoint;
using Skin::SkinRect;

class RecordingSink : public Skin::INotifySink {
 public:
  void Notify(Skin::SkinNotify& msg) override {
    log.push_back(msg.type + L":" + (msg.sender ? msg.sender->GetName() : L"-"));
    if (onNotify) onNotify(msg);
  }
  std::vector<std::wstring> log;
  std::function<void(Skin::SkinNotify&)> onNotify;
};

// A button that records the order of its own click handling against the notification.
class OrderButton : public Skin::CButtonUI {
 public:
  explicit OrderButton(std::vector<std::wstring>* log) : m_log(log) {}
  bool Activate() override {
    m_log->push_back(L"activate:" + GetName());
    return CButtonUI::Activate();
  }

 private:
  std::vector<std::wstring>* m_log;
};

class Factory : public Skin::IControlFactory {
 public:
  explicit Factory(std::vector<std::wstring>* log) : m_log(log) {}
  Skin::CControlUI* CreateControl(const wchar_t* name) override {
    return std::wstring(name) == L"OrderButton" ? new OrderButton(m_log) : nullptr;
  }

 private:
  std::vector<std::wstring>* m_log;
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
    m_factory = std::make_unique<Factory>(&m_log);
    m_pm.Init(&m_host, L"test");
    Skin::CControlUI* root =
        Skin::CMarkupBuilder::CreateFromText(kDocument, m_pm, m_factory.get());
    ASSERT_NE(root, nullptr);
    m_pm.AttachDialog(root);
    m_pm.SetClientSize({200, 100});
    m_pm.Layout();
    m_sink.onNotify = [this](Skin::SkinNotify& m) { m_log.push_back(L"notify:" + m.type); };
    m_pm.AddNotifier(&m_sink);
  }
  void Click(SkinPoint down, SkinPoint up) {
    m_pm.OnMouseMove(down);
    m_pm.OnButtonDown(down);
    m_pm.OnMouseMove(up);
    m_pm.OnButtonUp(up);
  }

  std::vector<std::wstring> m_log;
  std::unique_ptr<Factory> m_factory;
  zr::test::FakeHost m_host;
  Skin::CSkinContext m_skin;
  Skin::CPaintManager m_pm{m_skin};
  RecordingSink m_sink;
};

TEST_F(PaintManagerTest, FindsControlsByNameAndTopmostAtAPoint) {
  EXPECT_EQ(m_pm.FindControl(L"ok")->GetPos(), (SkinRect{100, 0, 150, 30}));
  EXPECT_EQ(m_pm.FindControl(L"nothing"), nullptr);
  EXPECT_EQ(m_pm.FindControl(L""), nullptr);
  const struct {
    SkinPoint p;
    const wchar_t* want;
  } table[] = {
      {{5, 5}, L"title"},      {{120, 5}, L"ok"},        {{170, 5}, L"off"},
      {{20, 45}, L"floating"}, {{60, 45}, L"under"},     // the hidden label is not hit
      {{150, 80}, L"under"},
  };
  for (const auto& row : table) {
    Skin::CControlUI* c = m_pm.FindControl(row.p);
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(c->GetName(), row.want) << row.p.x << "," << row.p.y;
  }
  EXPECT_EQ(m_pm.FindControl(SkinPoint{250, 5}), nullptr);
  EXPECT_EQ(m_pm.FindControl(SkinPoint{-1, 5}), nullptr);
}

TEST_F(PaintManagerTest, ClickNotifiesAfterTheButtonsOwnHandling) {
  Click({120, 10}, {125, 12});
  EXPECT_EQ(m_log, (std::vector<std::wstring>{L"activate:ok", L"notify:click"}));
  EXPECT_EQ(m_sink.log, (std::vector<std::wstring>{L"click:ok"}));
  EXPECT_EQ(m_host.captures, 0);  // captured on press, released on release
}

TEST_F(PaintManagerTest, NoClickWithoutPressAndReleaseOnTheSameEnabledButton) {
  Click({120, 10}, {20, 10});    // released elsewhere
  Click({170, 10}, {170, 10});   // disabled
  Click({5, 5}, {5, 5});         // a label
  m_pm.OnButtonUp({120, 10});     // release without press
  m_pm.OnButtonDown({120, 10});   // pressed, then the capture is lost: released, no click
  m_pm.OnCaptureLost();
  EXPECT_EQ(m_pm.GetPushed(), nullptr);
  EXPECT_FALSE(static_cast<Skin::CButtonUI*>(m_pm.FindControl(L"ok"))->IsPushed());
  m_pm.OnButtonUp({120, 10});
  EXPECT_TRUE(m_sink.log.empty());
  Click({20, 45}, {21, 46});     // the floating button
  EXPECT_EQ(m_sink.log, (std::vector<std::wstring>{L"click:floating"}));
  // The title hidden and nothing painted since: the mouse finds "ok" where it moved to.
  m_pm.FindControl(L"title")->SetVisible(false);
  Click({20, 10}, {20, 10});
  EXPECT_EQ(m_sink.log, (std::vector<std::wstring>{L"click:floating", L"click:ok"}));
}

TEST_F(PaintManagerTest, HotAndPushedStatesFollowTheMouse) {
  auto* ok = static_cast<Skin::CButtonUI*>(m_pm.FindControl(L"ok"));
  m_pm.OnMouseMove({120, 10});
  EXPECT_EQ(m_pm.GetHot(), ok);
  EXPECT_TRUE(ok->IsHot());
  m_pm.OnButtonDown({120, 10});
  EXPECT_TRUE(ok->IsPushed());
  EXPECT_EQ(m_pm.GetPushed(), ok);
  m_pm.OnMouseMove({5, 5});  // held outside: not pushed-looking, still the pushed control
  EXPECT_FALSE(ok->IsPushed());
  EXPECT_EQ(m_pm.GetPushed(), ok);
  m_pm.OnMouseMove({121, 10});
  EXPECT_TRUE(ok->IsPushed());
  m_pm.OnButtonUp({121, 10});
  EXPECT_FALSE(ok->IsPushed());
  m_pm.OnMouseLeave();
  EXPECT_EQ(m_pm.GetHot(), nullptr);
  EXPECT_FALSE(ok->IsHot());
}

TEST_F(PaintManagerTest, NotifiersAndFiltersAreListsWithoutDuplicates) {
  RecordingSink second;
  EXPECT_TRUE(m_pm.AddNotifier(&second));
  EXPECT_FALSE(m_pm.AddNotifier(&second));
  m_pm.SendNotify(m_pm.FindControl(L"ok"), L"click");
  EXPECT_EQ(second.log.size(), 1u);
  EXPECT_TRUE(m_pm.RemoveNotifier(&second));
  EXPECT_FALSE(m_pm.RemoveNotifier(&second));
  m_pm.SendNotify(m_pm.FindControl(L"ok"), L"click");
  EXPECT_EQ(second.log.size(), 1u);
  EXPECT_EQ(m_sink.log.size(), 2u);

  struct Filter : Skin::IMessageFilter {
    Skin::LResult FilterMessage(unsigned msg, Skin::WParam, Skin::LParam, bool& handled) override {
      seen.push_back(msg);
      handled = msg == 0x100;
      return handled ? 7 : 0;
    }
    std::vector<unsigned> seen;
  } filter;
  EXPECT_TRUE(m_pm.AddPreMessageFilter(&filter));
  EXPECT_FALSE(m_pm.AddPreMessageFilter(&filter));
  Skin::LResult r = 0;
  EXPECT_FALSE(m_pm.PreMessageFilter(0x200, 0, 0, r));
  EXPECT_TRUE(m_pm.PreMessageFilter(0x100, 0, 0, r));
  EXPECT_EQ(r, 7);
  EXPECT_TRUE(m_pm.RemovePreMessageFilter(&filter));
  EXPECT_FALSE(m_pm.PreMessageFilter(0x100, 0, 0, r));
  EXPECT_EQ(filter.seen.size(), 2u);
}

TEST_F(PaintManagerTest, AsyncNotificationsAndCleanupWaitForTheDeferredWork) {
  m_pm.SendNotify(m_pm.FindControl(L"ok"), L"later", 0, 0, true);
  EXPECT_TRUE(m_sink.log.empty());
  EXPECT_EQ(m_host.deferredPosts, 1);
  auto* body = static_cast<Skin::CContainerUI*>(m_pm.FindControl(L"body"));
  Skin::CControlUI* under = m_pm.FindControl(L"under");
  m_pm.OnMouseMove({150, 80});
  EXPECT_EQ(m_pm.GetHot(), under);
  ASSERT_TRUE(body->Remove(under));
  EXPECT_EQ(m_pm.GetHot(), nullptr);  // no dangling hot control
  EXPECT_EQ(m_pm.FindControl(L"under"), nullptr);
  EXPECT_TRUE(m_pm.HasDeferredWork());
  m_pm.ProcessDeferredWork();
  EXPECT_EQ(m_sink.log, (std::vector<std::wstring>{L"later:ok"}));
  EXPECT_FALSE(m_pm.HasDeferredWork());
}

class TickCounter : public Skin::CLabelUI {
 public:
  void DoEvent(Skin::SkinEvent& e) override {
    if (e.type == Skin::EventType::kTimer) ticks.push_back(static_cast<unsigned>(e.wparam));
  }
  std::vector<unsigned> ticks;
};

TEST_F(PaintManagerTest, TimersBelongToTheirControl) {
  auto* body = static_cast<Skin::CContainerUI*>(m_pm.FindControl(L"body"));
  auto* a = new TickCounter();
  auto* b = new TickCounter();
  body->Add(a);
  body->Add(b);
  ASSERT_TRUE(m_pm.SetTimer(a, 16, 30));
  ASSERT_TRUE(m_pm.SetTimer(b, 16, 50));
  ASSERT_EQ(m_host.started.size(), 2u);
  EXPECT_NE(m_host.started[0].first, m_host.started[1].first);
  EXPECT_EQ(m_host.started[0].second, 30u);
  EXPECT_TRUE(m_pm.OnHostTimer(m_host.started[1].first));
  EXPECT_TRUE(a->ticks.empty());
  EXPECT_EQ(b->ticks, (std::vector<unsigned>{16}));
  EXPECT_FALSE(m_pm.OnHostTimer(12345));

  EXPECT_TRUE(m_pm.KillTimer(a, 16));
  EXPECT_FALSE(m_pm.KillTimer(a, 16));
  EXPECT_FALSE(m_pm.HasTimer(a, 16));
  EXPECT_EQ(m_host.stopped, (std::vector<unsigned>{m_host.started[0].first}));
  // A control that goes takes its timers with it.
  unsigned bTimer = m_host.started[1].first;
  body->Remove(b);
  EXPECT_FALSE(m_pm.HasTimer(b, 16));
  EXPECT_FALSE(m_pm.OnHostTimer(bTimer));
  m_pm.ProcessDeferredWork();

  m_host.timersWork = false;
  EXPECT_FALSE(m_pm.SetTimer(a, 1, 10));
  EXPECT_FALSE(m_pm.HasTimer(a, 1));
}

TEST_F(PaintManagerTest, VisibilityAndSizeChangesRelayout) {
  Skin::CControlUI* hidden = m_pm.FindControl(L"hidden");
  EXPECT_EQ(hidden->GetPos(), (SkinRect{}));
  hidden->SetVisible(true);
  EXPECT_TRUE(m_pm.IsUpdateNeeded());
  m_pm.Layout();
  EXPECT_EQ(hidden->GetPos(), (SkinRect{50, 40, 90, 60}));
  m_pm.SetClientSize({300, 120});
  m_pm.Layout();
  EXPECT_EQ(m_pm.FindControl(L"under")->GetPos(), (SkinRect{0, 30, 300, 120}));
  m_pm.FindControl(L"title")->SetVisible(false);
  m_pm.Layout();
  EXPECT_EQ(m_pm.FindControl(L"ok")->GetPos(), (SkinRect{0, 0, 50, 30}));
}

TEST_F(PaintManagerTest, PaintingDrawsInTreeOrderClippedToThePaintArea) {
  zr::test::RecordingSurface surface;
  m_pm.Paint(surface, SkinRect{0, 0, 200, 100});
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
  m_pm.Paint(lower, SkinRect{0, 50, 200, 100});
  EXPECT_TRUE(lower.Of(zr::test::DrawCall::kText).empty());
  ASSERT_FALSE(lower.Of(zr::test::DrawCall::kRound).empty()) << "the background is painted there";
  for (const auto& c : lower.calls) {
    EXPECT_GE(c.clip.top, 50);
  }
}

TEST_F(PaintManagerTest, InvalidationReachesTheHost) {
  m_host.invalidated.clear();
  m_pm.FindControl(L"title")->SetText(L"Other");
  ASSERT_EQ(m_host.invalidated.size(), 1u);
  EXPECT_EQ(m_host.invalidated[0], (SkinRect{0, 0, 100, 30}));
  m_host.invalidated.clear();
  m_pm.FindControl(L"title")->SetText(L"Other");  // unchanged: no repaint
  EXPECT_TRUE(m_host.invalidated.empty());
}

}  // namespace
