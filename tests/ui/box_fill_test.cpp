// The message box filling rules on the real box documents: buttons and icon per kind of box
// (the icon checked on what the icon label paints), the link button's measured width, and
// the order of the two buttons in each variant.
#include "ui/box_fill.h"

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <optional>
#include <string>

#include "skin/accessible_tree.h"
#include "skin/markup_builder.h"
#include "skin/paint_manager.h"
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
  std::unique_ptr<Skin::CPaintManager> Fill(zr::BoxKind kind, const zr::BoxTexts& texts) {
    const zr::BoxStyle style = zr::StyleOf(kind);
    const wchar_t* file = style.link ? L"messageboxwithlink.xml" : L"messagebox.xml";
    auto pm = std::make_unique<Skin::CPaintManager>(m_skin);
    pm->Init(&m_host);
    Skin::CControlUI* root = Skin::CMarkupBuilder::Create(file, *pm);
    if (root == nullptr) return nullptr;
    pm->AttachDialog(root);
    pm->SetClientSize(pm->Window().size);
    zr::FillMessageBox(*pm, style, texts,
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
const SkinRect kWarning{0, 66, 22, 88};

struct FillCase {
  const char* name;
  zr::BoxKind kind;
  std::optional<std::wstring> second;
  // expected
  bool noVisible;
  bool closeEnabled;
  SkinRect icon;
};

TEST_F(BoxFill, ButtonsAndIconsFollowTheKindOfBox) {
  const FillCase cases[] = {
      // The fatal text: one button, the red cross.
      {"error", zr::BoxKind::kError, std::nullopt, false, true, kError},
      // The installation held by another updater: one button, the exclamation mark.
      {"warning", zr::BoxKind::kWarning, std::nullopt, false, true, kWarning},
      // The question before the product is closed: two buttons, no way out but them.
      {"question", zr::BoxKind::kQuestion, L"取消", true, false, kWarning},
      // The link box: the second button only with a second text.
      {"link, one button", zr::BoxKind::kLink, std::nullopt, false, true, kError},
      {"link, two buttons", zr::BoxKind::kLink, L"确定", true, true, kError},
  };
  for (const FillCase& c : cases) {
    SCOPED_TRACE(c.name);
    auto pm = Fill(c.kind, {L"更新", L"消息", L"重试", c.second, L"去官网"});
    ASSERT_NE(pm, nullptr);
    Skin::CControlUI* ok = pm->FindControl(L"btn_ok");
    Skin::CControlUI* no = pm->FindControl(L"btn_no");
    ASSERT_NE(ok, nullptr);
    ASSERT_NE(no, nullptr);
    EXPECT_EQ(ok->GetText(), L"重试");
    EXPECT_TRUE(ok->IsVisible());
    EXPECT_EQ(no->IsVisible(), c.noVisible);
    if (c.noVisible) {
      EXPECT_EQ(no->GetText(), *c.second);
    }
    EXPECT_EQ(pm->FindControl(L"btn_close")->IsEnabled(), c.closeEnabled);
    // The record's description: every button in document order, with its state.
    const std::string close = c.closeEnabled ? "btn_close, " : "btn_close disabled, ";
    const std::string decline = c.noVisible ? "btn_no" : "btn_no hidden";
    EXPECT_EQ(zr::DescribeBoxButtons(*pm),
              c.kind == zr::BoxKind::kLink ? close + "btn_link, " + decline + ", btn_ok" : close + "btn_ok, " + decline);
    EXPECT_EQ(pm->FindControl(L"txt_caption")->GetText(), L"更新");
    EXPECT_EQ(pm->FindControl(L"txt_tips")->GetText(), L"消息");
    const SkinRect source = PaintedIconSource(*pm);
    EXPECT_EQ(source, c.icon) << source.left << "," << source.top << "," << source.right << ","
                              << source.bottom;
  }
}

TEST_F(BoxFill, LinkDocumentKeepsItsOwnLinkTextWhenNoneIsGiven) {
  auto pm = Fill(zr::BoxKind::kLink, {L"更新", L"m", L"确定", std::nullopt, L""});
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
    auto pm = Fill(zr::BoxKind::kLink, {L"更新", L"m", L"确定", std::nullopt, L"访问官网"});
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
  zr::BoxTexts texts{L"更新", L"m", L"是", L"否", L""};
  auto plain = Fill(zr::BoxKind::kQuestion, texts);
  ASSERT_NE(plain, nullptr);
  EXPECT_LT(plain->FindControl(L"btn_ok")->GetPos().left,
            plain->FindControl(L"btn_no")->GetPos().left);
  texts.linkText = L"去官网";
  auto link = Fill(zr::BoxKind::kLink, texts);
  ASSERT_NE(link, nullptr);
  EXPECT_GT(link->FindControl(L"btn_ok")->GetPos().left,
            link->FindControl(L"btn_no")->GetPos().left);
}

// What a screen reader hears of a filled box: its caption as the window's name, the message
// as a text with its value, each button by name with "press" (the close button, a picture,
// by the document's name), the link with its target, hidden buttons marked so.
TEST_F(BoxFill, ScreenReadersFindEveryPartOfTheBoxByName) {
  auto pm = Fill(zr::BoxKind::kLink, {L"Caption", L"Message", L"OK", std::nullopt, L"Site"});
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
