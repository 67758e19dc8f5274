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

const char kDocument[] =
    "<Window size=\"200,100\" caption=\"0,0,0,30\">"
    "<VerticalLayout name=\"root\" bkcolor=\"#FF101010\">"
    "  <HorizontalLayout name=\"bar\" height=\"30\">"
    "    <Label name=\"title\" width=\"100\" text=\"Title\"/>"
    "    <Container name=\"okslot\" width=\"50\"/>"
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
    m_pm.Init(&m_host);
    Skin::CControlUI* root = Skin::CMarkupBuilder::CreateFromText(kDocument, m_pm);
    ASSERT_NE(root, nullptr);
    m_pm.AttachDialog(root);
    // "ok" fills its slot: a button of the test's own class.
    auto* ok = new OrderButton(&m_log);
    ok->SetAttribute(L"name", L"ok");
    static_cast<Skin::CContainerUI*>(m_pm.FindControl(L"okslot"))->Add(ok);
    m_pm.SetClientSize({200, 100});
    m_pm.Layout();
    m_sink.onNotify = [this](Skin::SkinNotify& m) { m_log.push_back(L"notify:" + m.type); };
    m_pm.SetNotifier(&m_sink);
  }
  void Click(SkinPoint down, SkinPoint up) {
    m_pm.OnMouseMove(down);
    m_pm.OnButtonDown(down);
    m_pm.OnMouseMove(up);
    m_pm.OnButtonUp(up);
  }

  std::vector<std::wstring> m_log;
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
  // A control hidden takes its timers with it.
  unsigned bTimer = m_host.started[1].first;
  b->SetVisible(false);
  EXPECT_FALSE(m_pm.HasTimer(b, 16));
  EXPECT_FALSE(m_pm.OnHostTimer(bTimer));

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
  // Relayouts asked for before the layout is done invalidate the whole client once.
  m_pm.SetClientSize({301, 120});
  m_pm.FindControl(L"hidden")->SetVisible(true);
  EXPECT_EQ(m_host.invalidated, (std::vector<SkinRect>{{0, 0, 301, 120}}));
}

// The documents' units against device pixels, at 125 % and 150 %: edges round to the nearest
// pixel, hairlines and 1-unit frames stay one pixel, a device pixel belongs to the unit that
// holds it, and a device area is covered by the units over it.
TEST(DpiScale, MapsDocumentUnitsToDevicePixelsAndBack) {
  const Skin::CDpiScale at96(96), at120(120), at144(144), unset(0);
  EXPECT_TRUE(unset.IsIdentity());
  EXPECT_EQ(at96.ToDevice(SkinRect{3, 5, 7, 9}), (SkinRect{3, 5, 7, 9}));
  const struct {
    const Skin::CDpiScale& scale;
    SkinRect document, device;
  } rects[] = {
      {at144, {0, 0, 580, 400}, {0, 0, 870, 600}},  {at144, {1, 1, 2, 4}, {2, 2, 3, 6}},
      {at144, {3, 10, 5, 11}, {5, 15, 8, 16}},      {at120, {0, 0, 380, 168}, {0, 0, 475, 210}},
      {at120, {-2, 1, 2, 3}, {-3, 1, 3, 4}},        {at144, {36, 16, 544, 20}, {54, 24, 816, 30}},
  };
  for (const auto& row : rects) {
    EXPECT_EQ(row.scale.ToDevice(row.document), row.device) << row.scale.Dpi() << " " << row.document.left;
  }
  EXPECT_EQ(at144.LineToDevice(1), 1);
  EXPECT_EQ(at144.LineToDevice(2), 3);
  EXPECT_EQ(at120.LineToDevice(0), 0);
  EXPECT_EQ(at144.ToDocument(SkinPoint{0, 2}).y, 1);
  EXPECT_EQ(at144.ToDocument(SkinPoint{869, 599}).x, 579);
  EXPECT_EQ(at144.ToDocument(SkinPoint{-1, 0}).x, -1);
  EXPECT_EQ(at144.ToDocument(Skin::SkinSize{870, 601}), (Skin::SkinSize{580, 401}));
  EXPECT_EQ(at144.CoverToDocument(SkinRect{1, 1, 4, 5}), (SkinRect{0, 0, 3, 4}));
}

TEST(DpiScale, PicturesComeFromTheSmallestRenderingThatIsLargeEnough) {
  const struct {
    SkinRect source, device;
    int percent;
  } table[] = {
      {{0, 0, 20, 20}, {0, 0, 20, 20}, 100},  {{0, 0, 20, 20}, {0, 0, 25, 25}, 150},
      {{0, 0, 20, 20}, {0, 0, 30, 30}, 150},  {{0, 0, 20, 20}, {0, 0, 31, 30}, 200},
      {{0, 0, 20, 20}, {0, 0, 60, 60}, 200},  {{0, 0, 1160, 580}, {0, 0, 870, 435}, 100},
      {{0, 0, 0, 5}, {0, 0, 30, 30}, 100},
  };
  for (const auto& row : table) {
    EXPECT_EQ(Skin::ChooseVariantPercent(row.source, row.device), row.percent) << row.device.right;
  }
}

class RecordingObserver : public Skin::IControlChangeObserver {
 public:
  void ControlChanged(Skin::CControlUI* c, Skin::ControlChange change) override {
    log.push_back(c->GetName() + L":" + std::to_wstring(static_cast<int>(change)));
  }
  std::vector<std::wstring> log;
};

// At 144 DPI the tree keeps its document rectangles while the window deals in device pixels:
// the client size, the mouse, invalidation and the surface's calls are all 1.5 times larger,
// a frame of 1 stays 1 pixel, and text is measured back in document units.
TEST_F(PaintManagerTest, AtAnotherDpiTheWindowDealsInDevicePixels) {
  m_pm.SetDpi(144);
  m_pm.SetClientSize({300, 150});
  m_pm.Layout();
  EXPECT_EQ(m_pm.GetClientSize(), (Skin::SkinSize{200, 100}));
  EXPECT_EQ(m_pm.FindControl(L"ok")->GetPos(), (SkinRect{100, 0, 150, 30}));
  Click({151, 44}, {224, 1});  // the button's device corners (150..225, 0..45)
  Click({149, 10}, {149, 10});  // the title's last device column
  Click({20, 61}, {59, 89});    // the floating button (15..60, 60..90)
  EXPECT_EQ(m_sink.log, (std::vector<std::wstring>{L"click:ok", L"click:floating"}));

  m_host.invalidated.clear();
  m_pm.FindControl(L"title")->SetText(L"Wide");
  ASSERT_EQ(m_host.invalidated.size(), 1u);
  EXPECT_EQ(m_host.invalidated[0], (SkinRect{-1, -1, 151, 46}));

  auto* floating = m_pm.FindControl(L"floating");
  floating->ApplyAttributeList(L"bordersize=\"1\" bordercolor=\"#FF000000\" borderround=\"4,4\"");
  zr::test::RecordingSurface surface;
  surface.clip = SkinRect{0, 0, 300, 150};
  m_pm.Paint(surface, SkinRect{0, 0, 300, 150});
  auto texts = surface.Of(zr::test::DrawCall::kText);
  ASSERT_EQ(texts.size(), 1u);
  EXPECT_EQ(texts[0].rect, (SkinRect{0, 0, 150, 45}));
  auto borders = surface.Of(zr::test::DrawCall::kBorder);
  ASSERT_EQ(borders.size(), 1u);
  EXPECT_EQ(borders[0].rect, (SkinRect{15, 60, 60, 90}));
  EXPECT_EQ(borders[0].size, 1) << "a hairline stays one device pixel";
  EXPECT_EQ(borders[0].round, (Skin::SkinSize{6, 6}));
  Skin::CScaledSurface scaled(surface, m_pm.Scale(), nullptr);
  EXPECT_EQ(scaled.MeasureText(L"abc", 0, 0), (Skin::SkinSize{14, 11})) << "21 x 16 device pixels";
}

// Assistive technology's click, and what it is told of changes.
TEST_F(PaintManagerTest, ClickWithoutTheMouseAndChangeReports) {
  EXPECT_TRUE(m_pm.Click(m_pm.FindControl(L"ok")));
  EXPECT_FALSE(m_pm.Click(m_pm.FindControl(L"off"))) << "disabled";
  EXPECT_FALSE(m_pm.Click(m_pm.FindControl(L"title"))) << "not a button";
  m_pm.FindControl(L"body")->SetVisible(false);
  EXPECT_FALSE(m_pm.Click(m_pm.FindControl(L"floating"))) << "inside a hidden container";
  EXPECT_EQ(m_log, (std::vector<std::wstring>{L"activate:ok", L"notify:click"}));

  RecordingObserver observer;
  m_pm.SetChangeObserver(&observer);
  m_pm.FindControl(L"title")->SetText(L"New");
  m_pm.FindControl(L"title")->SetText(L"New");  // unchanged: not reported
  m_pm.FindControl(L"off")->SetEnabled(true);
  m_pm.FindControl(L"body")->SetVisible(true);
  EXPECT_EQ(observer.log, (std::vector<std::wstring>{L"title:0", L"off:3", L"body:2"}));
  m_pm.SetChangeObserver(nullptr);
}

// A picture drawn larger than its pixels comes from the package's rendering at 150 % or 200 %
// (its source rectangle scaled along), and not from one whose size is not the picture's; one
// drawn whole and smaller is kept at the size it is drawn at.
TEST(DpiPictures, LargerRenderingsReplaceThePictureWhereTheyFit) {
  zr::test::ZipWriter zip;
  zip.Add("a.png", zr::test::TinyPng(20, 10), false);
  zip.Add("a@1.5x.png", zr::test::TinyPng(30, 15), false);
  zip.Add("a@2x.png", zr::test::TinyPng(40, 20), false);
  zip.Add("b.png", zr::test::TinyPng(20, 10), false);
  zip.Add("b@2x.png", zr::test::TinyPng(41, 30), false);  // not b's size at 200 %
  zr::test::OwnWindow window(zip.Finish(),
                             "<Window><VerticalLayout>"
                             "<Label width=\"10\" height=\"10\" bkimage=\"file='a.png' source='10,0,20,10'\"/>"
                             "<Label width=\"10\" height=\"10\" bkimage=\"file='b.png'\"/>"
                             "</VerticalLayout></Window>");
  ASSERT_NE(window.root, nullptr);
  Skin::CPaintManager& pm = window.pm;
  const struct {
    int dpi;
    int aWidth;       // of the picture drawn for a.png
    SkinRect source;  // of a.png's right half in it
    int bWidth;
  } table[] = {{96, 20, {10, 0, 20, 10}, 10}, {120, 30, {15, 0, 30, 15}, 20},
               {144, 30, {15, 0, 30, 15}, 20}, {192, 40, {20, 0, 40, 20}, 20}};
  for (const auto& row : table) {
    pm.SetDpi(row.dpi);
    pm.SetClientSize(pm.Scale().ToDevice(Skin::SkinSize{20, 20}));
    zr::test::RecordingSurface surface;
    pm.Paint(surface, SkinRect{0, 0, 1000, 1000});
    auto bitmaps = surface.Of(zr::test::DrawCall::kBitmap);
    ASSERT_EQ(bitmaps.size(), 2u) << row.dpi;
    EXPECT_EQ(bitmaps[0].bitmap->width, row.aWidth) << row.dpi;
    EXPECT_EQ(bitmaps[0].source, row.source) << row.dpi;
    EXPECT_EQ(bitmaps[0].rect, pm.Scale().ToDevice(SkinRect{0, 0, 10, 10})) << row.dpi;
    EXPECT_EQ(bitmaps[1].bitmap->width, row.bWidth) << row.dpi;
  }
}

}  // namespace
