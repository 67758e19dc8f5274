// The controls' own rules: progress values, tab pages, shared space, text styles, state
// colours and pictures, the engine string.
#include <gtest/gtest.h>

#include <memory>

#include "skin/button.h"
#include "skin/label.h"
#include "skin/linear_layout.h"
#include "skin/markup_builder.h"
#include "skin/paint_manager.h"
#include "skin/progress.h"
#include "skin/tab_layout.h"
#include "support/skin_fixtures.h"

namespace {

using Skin::SkinRect;
using zr::test::DrawCall;

TEST(ProgressValue, ChangesOnlyWithinTheRangeAndWhenDifferent) {
  Skin::CProgressUI bar;  // 0..100, value 0
  const struct {
    int set;
    bool changed;
    int now;
  } steps[] = {
      {0, false, 0},   {50, true, 50},  {50, false, 50}, {150, false, 50}, {-1, false, 50},
      {100, true, 100}, {101, false, 100}, {0, true, 0},
  };
  for (const auto& s : steps) {
    EXPECT_EQ(bar.SetValue(s.set), s.changed) << s.set;
    EXPECT_EQ(bar.GetValue(), s.now) << s.set;
  }
}

TEST(ProgressValue, RepaintsOnlyWhenTheValueChanges) {
  zr::test::FakeHost host;
  Skin::CSkinContext skin;
  Skin::CPaintManager pm(skin);
  pm.Init(&host);
  auto* bar = new Skin::CProgressUI();
  pm.AttachDialog(bar);
  pm.SetClientSize({508, 4});
  pm.Layout();
  host.invalidated.clear();
  bar->SetValue(150);
  bar->SetValue(0);
  EXPECT_TRUE(host.invalidated.empty());
  bar->SetValue(25);
  EXPECT_EQ(host.invalidated.size(), 1u);
}

TEST(ProgressValue, FilledPartFollowsTheValueWithinTheRange) {
  Skin::CProgressUI bar;
  bar.SetPos(SkinRect{36, 352, 544, 356});
  EXPECT_EQ(bar.FilledRect().Width(), 0);
  bar.SetValue(50);
  EXPECT_EQ(bar.FilledRect(), (SkinRect{36, 352, 290, 356}));
  bar.SetValue(100);
  EXPECT_EQ(bar.FilledRect(), (SkinRect{36, 352, 544, 356}));
  bar.SetAttribute(L"min", L"100");  // an empty range fills nothing
  EXPECT_EQ(bar.FilledRect().Width(), 0);
}

TEST(TabLayout, SelectItemShowsOnePage) {
  zr::test::FakeHost host;
  Skin::CSkinContext skin;
  Skin::CPaintManager pm(skin);
  pm.Init(&host);
  std::unique_ptr<Skin::CControlUI> holder;
  auto* tab = new Skin::CTabLayoutUI();
  for (int i = 0; i < 3; ++i) tab->Add(new Skin::CLabelUI());
  pm.AttachDialog(tab);
  struct Sink : Skin::INotifySink {
    void Notify(Skin::SkinNotify& m) override { types.push_back(m.type); }
    std::vector<std::wstring> types;
  } sink;
  pm.SetNotifier(&sink);
  EXPECT_TRUE(tab->GetItemAt(0)->IsVisible());
  EXPECT_FALSE(tab->GetItemAt(1)->IsVisible());
  EXPECT_TRUE(tab->SelectItem(2));
  EXPECT_EQ(tab->GetCurSel(), 2);
  EXPECT_FALSE(tab->GetItemAt(0)->IsVisible());
  EXPECT_TRUE(tab->GetItemAt(2)->IsVisible());
  EXPECT_FALSE(tab->SelectItem(3));
  EXPECT_FALSE(tab->SelectItem(-1));
  EXPECT_EQ(tab->GetCurSel(), 2);
  EXPECT_EQ(sink.types, (std::vector<std::wstring>{L"tabselect"}));
}

TEST(ShareSpace, Table) {
  using Limits = std::vector<std::pair<int, int>>;
  const struct {
    int available;
    Limits limits;
    std::vector<int> want;
  } table[] = {
      {100, {{0, 9999}, {0, 9999}}, {50, 50}},
      {101, {{0, 9999}, {0, 9999}}, {50, 51}},
      {328, {{30, 120}, {0, 9999}}, {120, 208}},  // the link box's link button
      {20, {{30, 120}, {0, 9999}}, {30, 0}},      // a minimum holds even without room
      {-5, {{0, 9999}}, {0}},
      {0, {}, {}},
  };
  for (const auto& row : table) {
    EXPECT_EQ(Skin::ShareSpace(row.available, row.limits), row.want) << row.available;
  }
}

TEST(TextStyle, AlignWords) {
  using namespace Skin;
  const unsigned label = kTextVCenter | kTextSingleLine;
  const struct {
    unsigned start;
    const wchar_t* value;
    unsigned want;
  } table[] = {
      {label, L"left", label},
      {label, L"right-vcenter", kTextRight | kTextVCenter | kTextSingleLine},
      {label, L"center", kTextCenter | kTextVCenter | kTextSingleLine},
      {label, L"left-top-multiline", kTextWordBreak},
      {label, L"bottom", kTextBottom | kTextSingleLine},
      {kTextRight | kTextBottom, L"vcenter", kTextRight | kTextVCenter},
      {label, L"sideways", label},
  };
  for (const auto& row : table) {
    EXPECT_EQ(ApplyAlign(row.start, row.value), row.want)
        << std::string(row.value, row.value + wcslen(row.value));
  }
}

class Painted : public testing::Test {
 protected:
  void SetUp() override {
    zr::test::ZipWriter zip;
    zip.Add("sheet.png", zr::test::TinyPng(60, 80, 0xFF336699), false);
    m_package = zip.Finish();
    ASSERT_TRUE(m_skin.OpenPackage(m_package.data(), m_package.size()));
    m_pm.Init(&m_host);
  }
  void Build(const char* doc, Skin::SkinSize size) {
    Skin::CControlUI* root = Skin::CMarkupBuilder::CreateFromText(doc, m_pm);
    ASSERT_NE(root, nullptr);
    m_pm.AttachDialog(root);
    m_pm.SetClientSize(size);
    m_pm.Layout();
  }
  std::vector<DrawCall> Paint(const wchar_t* name, DrawCall::Kind kind) {
    zr::test::RecordingSurface s;
    Skin::CControlUI* c = m_pm.FindControl(name);
    c->DoPaint(s, c->GetPos());
    return s.Of(kind);
  }
  std::string m_package;
  Skin::CSkinContext m_skin;
  zr::test::FakeHost m_host;
  Skin::CPaintManager m_pm{m_skin};
};

TEST_F(Painted, LabelTextUsesItsColourOrTheWindowDefaultAndKeepsEllipsis) {
  Build("<Window defaultfontcolor=\"#FF333333\"><HorizontalLayout>"
        "<Label name=\"file\" width=\"408\" font=\"6\" textcolor=\"#FF2E323D\" endellipsis=\"true\""
        " text=\"a very long status text\"/>"
        "<Label name=\"plain\" text=\"x\" padding=\"0,26,0,0\" height=\"20\"/></HorizontalLayout></Window>",
        {600, 46});
  auto t = Paint(L"file", DrawCall::kText);
  ASSERT_EQ(t.size(), 1u);
  EXPECT_EQ(t[0].colour, 0xFF2E323Du);
  EXPECT_EQ(t[0].font, 6);
  EXPECT_TRUE(t[0].style & Skin::kTextEndEllipsis);
  EXPECT_EQ(t[0].rect, (SkinRect{0, 0, 408, 46}));
  auto p = Paint(L"plain", DrawCall::kText);
  ASSERT_EQ(p.size(), 1u);
  EXPECT_EQ(p[0].colour, 0xFF333333u);
  EXPECT_EQ(p[0].font, -1);
  EXPECT_EQ(p[0].rect, (SkinRect{408, 26, 600, 46}));
}

TEST_F(Painted, ButtonColoursAndPicturesFollowItsState) {
  Build("<Window><HorizontalLayout>"
        "<Button name=\"b\" width=\"68\" text=\"OK\" textcolor=\"#FFFFFFFF\" hottextcolor=\"#FF111111\""
        " bkcolor=\"#FF2D73FF\" hotbkcolor=\"#FF72A1FF\" pushedbkcolor=\"#FF1E5FE2\""
        " disabledbkcolor=\"#FFC3C8D5\" borderround=\"3,3\" bordersize=\"1\" bordercolor=\"#FFC3C8D5\""
        " focusbordercolor=\"#FFC5D8FF\""
        " normalimage=\"file='sheet.png' source='40,0,60,20'\" hotimage=\"file='sheet.png' source='40,20,60,40'\""
        " pushedimage=\"file='sheet.png' source='40,40,60,60'\" disabledimage=\"file='sheet.png' source='40,60,60,80'\"/>"
        "</HorizontalLayout></Window>",
        {100, 30});
  auto* b = static_cast<Skin::CButtonUI*>(m_pm.FindControl(L"b"));
  auto state = [&](Skin::Colour bk, SkinRect source, Skin::Colour border) {
    auto fills = Paint(L"b", DrawCall::kRound);
    ASSERT_EQ(fills.size(), 1u);
    EXPECT_EQ(fills[0].colour, bk);
    EXPECT_EQ(fills[0].round, (Skin::SkinSize{3, 3}));
    auto pics = Paint(L"b", DrawCall::kBitmap);
    ASSERT_EQ(pics.size(), 1u);
    EXPECT_EQ(pics[0].source, source);
    EXPECT_EQ(pics[0].rect, (SkinRect{0, 0, 68, 30}));
    auto borders = Paint(L"b", DrawCall::kBorder);
    ASSERT_EQ(borders.size(), 1u);
    EXPECT_EQ(borders[0].colour, border);
  };
  {
    SCOPED_TRACE("normal");
    state(0xFF2D73FF, {40, 0, 60, 20}, 0xFFC3C8D5);
  }
  m_pm.OnMouseMove({10, 10});
  {
    SCOPED_TRACE("hot");
    state(0xFF72A1FF, {40, 20, 60, 40}, 0xFFC3C8D5);
    EXPECT_EQ(Paint(L"b", DrawCall::kText)[0].colour, 0xFF111111u);
  }
  m_pm.OnButtonDown({10, 10});
  {
    SCOPED_TRACE("pushed, focused");
    state(0xFF1E5FE2, {40, 40, 60, 60}, 0xFFC5D8FF);
  }
  m_pm.OnButtonUp({10, 10});
  b->SetEnabled(false);
  m_pm.OnMouseMove({11, 10});
  {
    SCOPED_TRACE("disabled");
    auto fills = Paint(L"b", DrawCall::kRound);
    ASSERT_EQ(fills.size(), 1u);
    EXPECT_EQ(fills[0].colour, 0xFFC3C8D5u);
    EXPECT_EQ(Paint(L"b", DrawCall::kBitmap)[0].source, (SkinRect{40, 60, 60, 80}));
  }
}

TEST_F(Painted, PicturesScaleWholeOrByNineGridAndMissingOnesReportFailure) {
  Build("<Window><VerticalLayout>"
        "<Label name=\"bk\" height=\"40\" bkimage=\"file='sheet.png'\"/>"
        "<Progress name=\"bar\" height=\"4\" width=\"100\" value=\"50\" foreimage=\"file='sheet.png' corner='3,0,3,0'\"/>"
        "<Label name=\"gone\" height=\"10\" bkimage=\"file='absent.png'\"/>"
        "</VerticalLayout></Window>",
        {200, 60});
  auto whole = Paint(L"bk", DrawCall::kBitmap);
  ASSERT_EQ(whole.size(), 1u);
  EXPECT_EQ(whole[0].rect, (SkinRect{0, 0, 200, 40}));
  EXPECT_EQ(whole[0].source, (SkinRect{0, 0, 60, 80}));
  auto fill = Paint(L"bar", DrawCall::kBitmap);
  ASSERT_EQ(fill.size(), 3u);
  EXPECT_EQ(fill[0].rect, (SkinRect{0, 40, 3, 44}));
  EXPECT_EQ(fill[1].rect, (SkinRect{3, 40, 47, 44}));
  EXPECT_EQ(fill[2].rect, (SkinRect{47, 40, 50, 44}));
  EXPECT_EQ(fill[2].source, (SkinRect{57, 0, 60, 80}));
  EXPECT_TRUE(Paint(L"gone", DrawCall::kBitmap).empty());
  zr::test::RecordingSurface s;
  Skin::CControlUI* gone = m_pm.FindControl(L"gone");
  EXPECT_FALSE(gone->DrawImage(s, L"file='absent.png'", gone->GetPos()));
  EXPECT_FALSE(gone->DrawImage(s, L"", gone->GetPos()));
  EXPECT_TRUE(gone->DrawImage(s, L"sheet.png", gone->GetPos()));
  // Pictures are decoded once per window.
  EXPECT_EQ(m_pm.GetImage(L"sheet.png"), m_pm.GetImage(L"SHEET.png"));
}

}  // namespace
