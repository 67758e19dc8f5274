// The message box filling rules on the real box documents: buttons per layout, icons per
// type word (checked on what the icon label paints), the link button's measured width, and
// the order of the two buttons in each variant.
#include "ui/box_fill.h"

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>

#include "skin/accessible_tree.h"
#include "skin/markup_builder.h"
#include "skin/paint_manager.h"
#include "skin/resources.h"
#include "support/skin_fixtures.h"

namespace {

using Skin::SkinRect;

// A recording surface whose text widths can be set per text, to reach exact widths.
class MeasuringSurface : public zr::test::RecordingSurface {
 public:
  std::map<std::wstring, int> widths;
  int lastFont = -100;
  Skin::SkinSize MeasureText(const std::wstring& text, int font, unsigned style) override {
    lastFont = font;
    auto it = widths.find(text);
    if (it != widths.end()) return Skin::SkinSize{it->second, zr::test::kLineHeight};
    return RecordingSurface::MeasureText(text, font, style);
  }
};

class BoxFill : public zr::test::SkinPackageTest {
 protected:

  // Builds the variant's document, fills it and lays it out at the document's size.
  std::unique_ptr<Skin::CPaintManager> Fill(bool link, const zr::BoxTexts& texts, unsigned type) {
    const wchar_t* file = link ? L"messageboxwithlink.xml" : L"messagebox.xml";
    auto pm = std::make_unique<Skin::CPaintManager>();
    pm->Init(&m_host, file);
    Skin::CControlUI* root = Skin::CMarkupBuilder::Create(file, pm.get());
    if (root == nullptr) return nullptr;
    pm->AttachDialog(root);
    pm->SetClientSize(pm->Window().size);
    zr::FillMessageBox(*pm, link, texts, type,
                       [this](const std::wstring& text, int font, unsigned style) {
                         return m_surface.MeasureText(text, font, style).cx;
                       });
    pm->Layout();
    return pm;
  }

  // The picture rectangle the icon label draws, from a paint onto a recording surface.
  SkinRect PaintedIconSource(Skin::CPaintManager& pm) {
    zr::test::RecordingSurface paint;
    pm.Paint(paint, SkinRect{0, 0, 380, 168});
    const SkinRect icon = pm.FindControl(L"txt_icon")->GetPos();
    for (const auto& call : paint.Of(zr::test::DrawCall::kBitmap)) {
      if (call.rect == icon) return call.source;
    }
    return SkinRect{-1, -1, -1, -1};
  }

  zr::test::FakeHost m_host;
  MeasuringSurface m_surface;
};

const SkinRect kError{0, 0, 22, 22};
const SkinRect kQuestion{0, 22, 22, 44};
const SkinRect kSuccess{0, 44, 22, 66};
const SkinRect kWarning{0, 66, 22, 88};
const SkinRect kNoIcon{-1, -1, -1, -1};

struct FillCase {
  const char* name;
  bool link;
  unsigned type;
  const wchar_t* first;
  const wchar_t* second;
  const wchar_t* linkText;
  // expected
  const wchar_t* okText;
  bool noVisible;
  const wchar_t* noText;
  bool closeEnabled;
  SkinRect icon;
};

TEST_F(BoxFill, ButtonsAndIconsFollowTheTypeWord) {
  const FillCase cases[] = {
      // The fatal text: one button, the error icon replaces the success icon of layout 0.
      {"plain 0x10", false, 0x10, L"确定", L"取消", nullptr, L"确定", false, nullptr, true, kError},
      {"plain 0x100", false, 0x100, L"确定", L"取消", nullptr, L"确定", false, nullptr, true, kSuccess},
      {"plain 0, no icon bits", false, 0x0, L"确定", L"取消", nullptr, L"确定", false, nullptr, true, kSuccess},
      // Layout 0 sets the first text even when none is given.
      {"plain 0 without texts", false, 0x0, nullptr, nullptr, nullptr, L"", false, nullptr, true, kSuccess},
      // The question box: the warning icon wins over the layout's question icon.
      {"question 0x34", false, 0x34, L"更新", L"取消", nullptr, L"更新", true, L"取消", false, kWarning},
      {"two buttons 0x4", false, 0x4, L"是", L"否", nullptr, L"是", true, L"否", false, kQuestion},
      {"two buttons, error icon", false, 0x14, L"是", L"否", nullptr, L"是", true, L"否", false, kError},
      // An icon value the box does not know keeps the layout's icon.
      {"two buttons, unknown icon", false, 0x44, L"是", L"否", nullptr, L"是", true, L"否", false, kQuestion},
      // One text missing: neither is set, the document's (empty) texts stay.
      {"two buttons, second missing", false, 0x4, L"是", nullptr, nullptr, L"", true, L"", false, kQuestion},
      // Any other layout keeps the document's buttons.
      {"layout 1", false, 0x11, L"是", L"否", nullptr, L"", true, L"", true, kError},
      {"layout 3, no icon", false, 0x3, L"是", L"否", nullptr, L"", true, L"", true, kNoIcon},
      // The link box: the second button only with a second text.
      {"link, one button", true, 0x10, L"确定", nullptr, L"去官网", L"确定", false, nullptr, true, kError},
      {"link, two buttons", true, 0x10, L"重试", L"确定", L"去官网", L"重试", true, L"确定", true, kError},
      // Without a first text the document's text stays; without icon bits no icon is set.
      {"link, no first text", true, 0x0, nullptr, L"否", L"去官网", L"", true, L"否", true, kNoIcon},
      // The link box's document text of the decline button stays when no layout applies.
      {"link, layout 2", true, 0x12, L"是", L"否", L"去官网", L"", true, L"取消", true, kError},
  };
  for (const FillCase& c : cases) {
    SCOPED_TRACE(c.name);
    const zr::BoxTexts texts{L"更新", c.linkText, L"消息", c.first, c.second};
    auto pm = Fill(c.link, texts, c.type);
    ASSERT_NE(pm, nullptr);
    Skin::CControlUI* ok = pm->FindControl(L"btn_ok");
    Skin::CControlUI* no = pm->FindControl(L"btn_no");
    ASSERT_NE(ok, nullptr);
    ASSERT_NE(no, nullptr);
    EXPECT_EQ(ok->GetText(), c.okText);
    EXPECT_TRUE(ok->IsVisible());
    EXPECT_EQ(no->IsVisible(), c.noVisible);
    if (c.noVisible) {
      EXPECT_EQ(no->GetText(), c.noText);
    }
    EXPECT_EQ(pm->FindControl(L"btn_close")->IsEnabled(), c.closeEnabled);
    EXPECT_EQ(pm->FindControl(L"txt_caption")->GetText(), L"更新");
    EXPECT_EQ(pm->FindControl(L"txt_tips")->GetText(), L"消息");
    const SkinRect source = PaintedIconSource(*pm);
    EXPECT_EQ(source, c.icon) << source.left << "," << source.top << "," << source.right << ","
                              << source.bottom;
  }
}

TEST_F(BoxFill, LinkDocumentKeepsItsOwnLinkTextWhenNoneIsGiven) {
  auto pm = Fill(true, {L"更新", nullptr, L"m", L"确定"}, 0x10);
  ASSERT_NE(pm, nullptr);
  EXPECT_EQ(pm->FindControl(L"btn_link")->GetText(), L"去官网");
  EXPECT_EQ(m_surface.lastFont, -100) << "nothing was measured";
}

TEST_F(BoxFill, LinkButtonWidthFollowsTheMeasuredText) {
  struct WidthCase {
    int measured;
    int width;
  };
  const WidthCase cases[] = {{30, 30}, {59, 59}, {60, 60}, {61, 81}, {75, 95}};
  for (const WidthCase& c : cases) {
    SCOPED_TRACE(c.measured);
    m_surface.widths[L"访问官网"] = c.measured;
    m_surface.lastFont = -100;
    auto pm = Fill(true, {L"更新", L"访问官网", L"m", L"确定"}, 0x10);
    ASSERT_NE(pm, nullptr);
    Skin::CControlUI* link = pm->FindControl(L"btn_link");
    EXPECT_EQ(link->GetText(), L"访问官网");
    EXPECT_EQ(link->GetFixedWidth(), c.width);
    EXPECT_EQ(link->GetPos().Width(), c.width);
    EXPECT_EQ(m_surface.lastFont, 2) << "measured with the button's own (underlined) font";
  }
  EXPECT_EQ(zr::LinkButtonWidth(60), 60);
  EXPECT_EQ(zr::LinkButtonWidth(61), 81);
}

TEST_F(BoxFill, DeclineButtonStandsLeftOfConfirmOnlyInTheLinkBox) {
  zr::BoxTexts texts{L"更新", nullptr, L"m", L"是", L"否"};
  auto plain = Fill(false, texts, 0x34);
  ASSERT_NE(plain, nullptr);
  EXPECT_LT(plain->FindControl(L"btn_ok")->GetPos().left,
            plain->FindControl(L"btn_no")->GetPos().left);
  texts.linkText = L"去官网";
  auto link = Fill(true, texts, 0x10);
  ASSERT_NE(link, nullptr);
  EXPECT_GT(link->FindControl(L"btn_ok")->GetPos().left,
            link->FindControl(L"btn_no")->GetPos().left);
}

TEST(BoxIcons, TypeWordUpperBitsPickTheRow) {
  struct IconCase {
    unsigned type;
    const wchar_t* icon;
  };
  const IconCase cases[] = {
      {0x10, zr::kBoxIconError},    {0x14, zr::kBoxIconError},   {0x20, zr::kBoxIconQuestion},
      {0x30, zr::kBoxIconWarning},  {0x34, zr::kBoxIconWarning}, {0x100, zr::kBoxIconSuccess},
      {0x104, zr::kBoxIconSuccess}, {0x0, nullptr},              {0x4, nullptr},
      {0x40, nullptr},              {0x110, nullptr},            {0xF, nullptr},
  };
  for (const IconCase& c : cases) {
    SCOPED_TRACE(c.type);
    const wchar_t* icon = zr::IconForType(c.type);
    if (c.icon == nullptr) {
      EXPECT_EQ(icon, nullptr);
    } else {
      ASSERT_NE(icon, nullptr);
      EXPECT_STREQ(icon, c.icon);
    }
  }
}

// What a screen reader hears of a filled box: its caption as the window's name, the message
// as a text with its value, each button by name with "press" (the close button, a picture,
// by the document's name), the link with its target, hidden buttons marked so.
TEST_F(BoxFill, ScreenReadersFindEveryPartOfTheBoxByName) {
  zr::BoxTexts texts;
  texts.caption = L"Caption";
  texts.message = L"Message";
  texts.linkText = L"Site";
  texts.firstButton = L"OK";
  auto pm = Fill(true, texts, 0x10);
  ASSERT_NE(pm, nullptr);
  pm->FindControl(L"btn_link")->SetAttribute(L"accvalue", L"https://example.invalid/");
  EXPECT_EQ(Skin::AccessibleTitle(*pm, L"MessageBox"), L"Caption");
  std::map<std::wstring, Skin::AccessibleItem> byName;
  for (Skin::CControlUI* c : Skin::AccessibleControls(pm->GetRoot())) {
    Skin::AccessibleItem item = Skin::DescribeAccessible(c);
    byName[c->GetName()] = item;
  }
  const struct {
    const wchar_t* control;
    Skin::AccessibleRole role;
    const wchar_t* name;
    const wchar_t* value;
    bool shown;
  } rows[] = {
      {L"txt_caption", Skin::AccessibleRole::kText, L"Caption", L"Caption", true},
      {L"txt_tips", Skin::AccessibleRole::kText, L"Message", L"Message", true},
      {L"btn_close", Skin::AccessibleRole::kButton, L"\u5173\u95ED", L"", true},  // 关闭
      {L"btn_ok", Skin::AccessibleRole::kButton, L"OK", L"", true},
      {L"btn_no", Skin::AccessibleRole::kButton, L"\u53D6\u6D88", L"", false},    // 取消, hidden
      {L"btn_link", Skin::AccessibleRole::kLink, L"Site", L"https://example.invalid/", true},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(testing::Message() << std::string(row.control, row.control + wcslen(row.control)));
    ASSERT_EQ(byName.count(row.control), 1u);
    const Skin::AccessibleItem& item = byName[row.control];
    EXPECT_EQ(item.role, row.role);
    EXPECT_EQ(item.name, row.name);
    EXPECT_EQ(item.value, row.value);
    EXPECT_EQ(item.shown, row.shown);
    EXPECT_EQ(item.defaultAction, row.role == Skin::AccessibleRole::kText ? L"" : L"press");
  }
}

}  // namespace
