#include "skin/markup_builder.h"

#include <gtest/gtest.h>

#include <memory>

#include "skin/button.h"
#include "skin/container.h"
#include "skin/label.h"
#include "skin/paint_manager.h"
#include "skin/progress.h"
#include "skin/tab_layout.h"
#include "support/skin_fixtures.h"

namespace {

using Skin::SkinRect;

// The package of the checkout, as the program sees it: a zip held in memory.
class SkinDocuments : public zr::test::SkinPackageTest {
 protected:

  // Builds the document into a manager with a client area of the document's size.
  std::unique_ptr<Skin::CPaintManager> Build(const wchar_t* file) {
    auto pm = std::make_unique<Skin::CPaintManager>(m_skin);
    pm->Init(&m_host);
    Skin::CControlUI* root = Skin::CMarkupBuilder::Create(file, *pm);
    if (!root) return nullptr;
    pm->AttachDialog(root);
    pm->SetClientSize(pm->Window().size);
    pm->Layout();
    return pm;
  }

  zr::test::FakeHost m_host;
};

struct Placed {
  const wchar_t* name;
  SkinRect rect;
};

void ExpectPlaced(Skin::CPaintManager& pm, const std::vector<Placed>& table) {
  for (const auto& p : table) {
    SCOPED_TRACE(testing::Message() << "control "
                                    << std::string(p.name, p.name + wcslen(p.name)));
    Skin::CControlUI* c = pm.FindControl(p.name);
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(c->GetPos(), p.rect) << c->GetPos().left << "," << c->GetPos().top << ","
                                   << c->GetPos().right << "," << c->GetPos().bottom;
  }
}

TEST_F(SkinDocuments, MainWindowGeometry) {
  auto pm = Build(L"wnd_main.xml");
  ASSERT_NE(pm, nullptr);
  const auto& w = pm->Window();
  EXPECT_EQ(w.size, (Skin::SkinSize{580, 400}));
  EXPECT_EQ(w.caption, (SkinRect{0, 0, 0, 100}));
  EXPECT_TRUE(w.showShadow);
  EXPECT_EQ(w.shadowImage, L"Window_shadow.png");
  EXPECT_EQ(w.shadowSize, 12);
  EXPECT_EQ(w.shadowCorner, (SkinRect{12, 12, 12, 12}));
  EXPECT_EQ(w.defaultFontColour, 0xFF333333u);
  EXPECT_EQ(pm->GetRoot()->GetPos(), (SkinRect{0, 0, 580, 400}));

  ExpectPlaced(*pm, {
                        {L"labBk", {0, 0, 580, 290}},
                        {L"lab_captionTitle", {20, 16, 170, 35}},
                        {L"minbtn", {519, 16, 539, 36}},
                        {L"closebtn", {544, 16, 564, 36}},
                        {L"tab_update_view", {0, 290, 580, 400}},
                        {L"lb_file", {36, 316, 444, 336}},
                        {L"lb_speed", {444, 316, 544, 336}},
                        {L"pro_pos", {36, 352, 544, 356}},
                    });
  // The picture area is the tab's upper neighbour: 290 high.
  EXPECT_EQ(pm->FindControl(L"labBk")->GetParent()->GetPos(), (SkinRect{0, 0, 580, 290}));

  // The three large captions start hidden; shown, they take their float positions.
  for (const wchar_t* n : {L"lab_install_tip", L"lab_install_name", L"lab_install_completed"}) {
    EXPECT_FALSE(pm->FindControl(n)->IsVisible());
    pm->FindControl(n)->SetVisible(true);
  }
  auto* tab = static_cast<Skin::CTabLayoutUI*>(
      pm->FindControl(L"tab_update_view")->GetInterface(L"TabLayout"));
  ASSERT_NE(tab, nullptr);
  EXPECT_EQ(tab->GetCurSel(), 0);
  EXPECT_FALSE(pm->FindControl(L"btn_runprogram")->GetParent()->IsVisible());
  ASSERT_TRUE(tab->SelectItem(1));
  pm->Layout();
  ExpectPlaced(*pm, {
                        {L"lab_install_tip", {70, 138, 166, 169}},
                        {L"lab_install_name", {70, 177, 230, 201}},
                        {L"lab_install_completed", {70, 138, 230, 169}},
                        {L"btn_runprogram", {218, 322, 362, 368}},
                    });
  EXPECT_FALSE(tab->GetItemAt(0)->IsVisible());
  EXPECT_TRUE(tab->GetItemAt(1)->IsVisible());
}

TEST_F(SkinDocuments, MainWindowControlValues) {
  auto pm = Build(L"wnd_main.xml");
  ASSERT_NE(pm, nullptr);
  auto* file = static_cast<Skin::CLabelUI*>(pm->FindControl(L"lb_file"));
  EXPECT_EQ(file->GetFont(), 6);
  EXPECT_TRUE(file->GetTextStyle() & Skin::kTextEndEllipsis);
  EXPECT_TRUE(file->GetTextStyle() & Skin::kTextSingleLine);
  auto* speed = static_cast<Skin::CLabelUI*>(pm->FindControl(L"lb_speed"));
  EXPECT_EQ(speed->GetTextStyle() & (Skin::kTextRight | Skin::kTextVCenter),
            Skin::kTextRight | Skin::kTextVCenter);
  auto* bar = static_cast<Skin::CProgressUI*>(pm->FindControl(L"pro_pos")->GetInterface(L"Progress"));
  ASSERT_NE(bar, nullptr);
  EXPECT_EQ(bar->GetMinValue(), 0);
  EXPECT_EQ(bar->GetMaxValue(), 100);
  EXPECT_EQ(bar->GetValue(), 0);
  EXPECT_EQ(pm->FindControl(L"btn_runprogram")->GetText(), L"\u7ACB\u5373\u4F53\u9A8C");
  EXPECT_EQ(pm->FindControl(L"minbtn")->GetToolTip(), L"\u6700\u5C0F\u5316");
  EXPECT_EQ(pm->FindControl(L"labBk")->GetBkImage(), L"file='install_img_02@2x.png'");
}

TEST_F(SkinDocuments, ClassNamesOfTheMainWindow) {
  auto pm = Build(L"wnd_main.xml");
  ASSERT_NE(pm, nullptr);
  const std::pair<const wchar_t*, const wchar_t*> table[] = {
      {L"labBk", L"LabelUI"},           {L"lab_captionTitle", L"TextUI"},
      {L"minbtn", L"ButtonUI"},         {L"pro_pos", L"ProgressUI"},
      {L"tab_update_view", L"TabLayoutUI"},
  };
  for (const auto& row : table) {
    EXPECT_EQ(pm->FindControl(row.first)->GetClass(), row.second);
  }
  EXPECT_EQ(pm->GetRoot()->GetClass(), L"VerticalLayoutUI");
  EXPECT_EQ(pm->FindControl(L"lb_file")->GetParent()->GetClass(), L"HorizontalLayoutUI");
}

TEST_F(SkinDocuments, PlainBoxGeometry) {
  auto pm = Build(L"messagebox.xml");
  ASSERT_NE(pm, nullptr);
  EXPECT_EQ(pm->Window().size, (Skin::SkinSize{380, 168}));
  EXPECT_EQ(pm->Window().caption, (SkinRect{0, 0, 0, 40}));
  EXPECT_EQ(pm->Window().shadowSize, 12);
  ExpectPlaced(*pm, {
                        {L"txt_icon", {20, 20, 42, 42}},
                        {L"txt_caption", {52, 22, 252, 41}},
                        {L"btn_close", {340, 20, 360, 40}},
                        {L"txt_tips", {52, 64, 340, 100}},
                        {L"btn_ok", {214, 118, 282, 148}},
                        {L"btn_no", {292, 118, 360, 148}},
                    });
  // The message row takes the height the others leave: 74 pixels.
  EXPECT_EQ(pm->FindControl(L"txt_tips")->GetParent()->GetPos(), (SkinRect{0, 44, 380, 118}));
  auto* tips = static_cast<Skin::CLabelUI*>(pm->FindControl(L"txt_tips"));
  EXPECT_TRUE(tips->GetTextStyle() & Skin::kTextWordBreak);
  EXPECT_FALSE(tips->GetTextStyle() & Skin::kTextSingleLine);
}

TEST_F(SkinDocuments, LinkBoxGeometryPutsDeclineLeftOfConfirm) {
  auto pm = Build(L"messageboxwithlink.xml");
  ASSERT_NE(pm, nullptr);
  EXPECT_EQ(pm->Window().size, (Skin::SkinSize{380, 168}));
  ExpectPlaced(*pm, {
                        {L"txt_tips", {52, 64, 340, 100}},
                        {L"btn_link", {52, 93, 172, 113}},  // flexible, held at maxwidth 120
                        {L"btn_no", {214, 118, 282, 148}},
                        {L"btn_ok", {292, 118, 360, 148}},
                    });
  EXPECT_EQ(pm->FindControl(L"txt_tips")->GetParent()->GetPos(), (SkinRect{0, 44, 380, 88}));
  EXPECT_LT(pm->FindControl(L"btn_no")->GetPos().left, pm->FindControl(L"btn_ok")->GetPos().left);
  // The link button, once given a fixed width, keeps it.
  pm->FindControl(L"btn_link")->SetFixedWidth(81);
  pm->Layout();
  EXPECT_EQ(pm->FindControl(L"btn_link")->GetPos(), (SkinRect{52, 93, 133, 113}));
}

TEST_F(SkinDocuments, SharedFontsOfTheMainWindowServeTheBoxesBuiltLater) {
  // A box alone: its include is missing, so font 4 is the default font.
  auto alone = Build(L"messagebox.xml");
  ASSERT_NE(alone, nullptr);
  EXPECT_EQ(alone->Fonts().Get(4), Skin::CFontTable::BuiltInDefault());

  auto main = Build(L"wnd_main.xml");
  ASSERT_NE(main, nullptr);
  EXPECT_EQ(m_skin.SharedFonts().Count(), 14u);
  main.reset();  // the fonts outlive the window that loaded them

  auto box = Build(L"messagebox.xml");
  ASSERT_NE(box, nullptr);
  Skin::FontInfo bold14 = box->Fonts().Get(4);
  EXPECT_EQ(bold14.size, 14);
  EXPECT_TRUE(bold14.bold);
  EXPECT_EQ(bold14.name, L"\u5FAE\u8F6F\u96C5\u9ED1");
  EXPECT_TRUE(box->Fonts().Get(2).underline);
  EXPECT_EQ(box->Fonts().Get(13).size, 24);
  // An index found nowhere is the default font (font 0 of font.xml).
  Skin::FontInfo missing = box->Fonts().Get(99);
  EXPECT_EQ(missing.size, 12);
  EXPECT_FALSE(missing.bold);
}

TEST_F(SkinDocuments, MissingOrBrokenDocumentsBuildNothing) {
  Skin::CPaintManager pm(m_skin);
  pm.Init(&m_host);
  EXPECT_EQ(Skin::CMarkupBuilder::Create(L"no_such.xml", pm), nullptr);
  EXPECT_EQ(Skin::CMarkupBuilder::CreateFromText("<Window><VerticalLayout>", pm), nullptr);
  EXPECT_EQ(Skin::CMarkupBuilder::CreateFromText("<Window size=\"1,1\"/>", pm), nullptr);
}

// Documents of our own, for the parts of the vocabulary the shipped ones use lightly.
class OwnDocuments : public testing::Test {
 protected:
  void SetUp() override {
    zr::test::ZipWriter zip;
    zip.Add("fonts_own.xml",
            "<Window><Font id=\"3\" name=\"Own Face\" size=\"20\" bold=\"true\"/>"
            "<Font shared=\"true\" id=\"5\" name=\"Shared Face\" size=\"18\" underline=\"true\"/>"
            "<Default name=\"Button\" value=\"width=&quot;33&quot; textcolor=&quot;#FF010203&quot;\"/>"
            "</Window>",
            true);
    zip.Add("nested.xml", "<Window><Include source=\"fonts_own.xml\"/></Window>", false);
    m_package = zip.Finish();
    ASSERT_TRUE(m_skin.OpenPackage(m_package.data(), m_package.size()));
    m_pm.Init(&m_host);
  }

  std::string m_package;
  Skin::CSkinContext m_skin;
  zr::test::FakeHost m_host;
  Skin::CPaintManager m_pm{m_skin};
};

TEST_F(OwnDocuments, IncludeDefaultAndFonts) {
  Skin::CControlUI* root = Skin::CMarkupBuilder::CreateFromText(
      "<Window size=\"100,50\"><Include source=\"missing.xml\"/><Include source=\"nested.xml\"/>"
      "<HorizontalLayout><Button name=\"a\"/><Button name=\"b\" width=\"40\"/>"
      "<Label name=\"c\"/></HorizontalLayout></Window>",
      m_pm);
  ASSERT_NE(root, nullptr);
  m_pm.AttachDialog(root);
  m_pm.SetClientSize({100, 50});
  m_pm.Layout();
  auto* a = static_cast<Skin::CButtonUI*>(m_pm.FindControl(L"a"));
  EXPECT_EQ(a->GetFixedWidth(), 33);  // from the Default
  EXPECT_EQ(a->GetTextColor(), 0xFF010203u);
  EXPECT_EQ(m_pm.FindControl(L"b")->GetFixedWidth(), 40);  // own attribute wins
  EXPECT_EQ(m_pm.FindControl(L"c")->GetFixedWidth(), 0);   // Default is per element name
  EXPECT_EQ(m_pm.FindControl(L"c")->GetPos(), (SkinRect{73, 0, 100, 50}));

  // Font 3 belongs to this window only; font 5 is shared.
  EXPECT_EQ(m_pm.Fonts().Get(3).name, L"Own Face");
  EXPECT_TRUE(m_pm.Fonts().Get(3).bold);
  Skin::CFontTable other(m_skin.SharedFonts());
  EXPECT_EQ(other.Get(3), Skin::CFontTable::BuiltInDefault());
  EXPECT_EQ(other.Get(5).name, L"Shared Face");
  EXPECT_TRUE(other.Get(5).underline);
}

TEST_F(OwnDocuments, UnknownElementsAreSkipped) {
  Skin::CControlUI* root = Skin::CMarkupBuilder::CreateFromText(
      "<Window><VerticalLayout><Unknown name=\"u\"><Label name=\"inside\"/></Unknown>"
      "<Label name=\"k\" text=\"kept\"/></VerticalLayout></Window>",
      m_pm);
  ASSERT_NE(root, nullptr);
  m_pm.AttachDialog(root);
  EXPECT_EQ(m_pm.FindControl(L"u"), nullptr);
  EXPECT_EQ(m_pm.FindControl(L"inside"), nullptr);
  EXPECT_EQ(m_pm.FindControl(L"k")->GetText(), L"kept");
}

TEST_F(OwnDocuments, DeepNestingIsCutOffInsteadOfExhaustingTheStack) {
  std::string doc = "<Window>";
  for (int i = 0; i < 20000; ++i) doc += "<VerticalLayout>";
  doc += "<Label name=\"deep\"/>";
  for (int i = 0; i < 20000; ++i) doc += "</VerticalLayout>";
  doc += "</Window>";
  Skin::CControlUI* root = Skin::CMarkupBuilder::CreateFromText(doc, m_pm);
  ASSERT_NE(root, nullptr);
  m_pm.AttachDialog(root);
  EXPECT_EQ(m_pm.FindControl(L"deep"), nullptr);
  int levels = 0;
  root->VisitTree([&](Skin::CControlUI*) { ++levels; });
  EXPECT_EQ(levels, 65);
}

// Documents that include themselves several times would multiply within the depth limit
// (four includes a level, eight levels: 87,381 documents); a build loads 64 at most, depth
// first, so that the first include of the first level is built and its siblings are not.
TEST(MarkupBuilder, IncludesThatMultiplyStopAtTheBuildsBudget) {
  zr::test::ZipWriter zip;
  zip.Add("bomb.xml",
          "<VerticalLayout><Include source=\"bomb.xml\"/><Include source=\"bomb.xml\"/>"
          "<Include source=\"bomb.xml\"/><Include source=\"bomb.xml\"/><Label/></VerticalLayout>",
          true);
  const std::string package = zip.Finish();
  Skin::CSkinContext skin;
  ASSERT_TRUE(skin.OpenPackage(package.data(), package.size()));
  zr::test::FakeHost host;
  Skin::CPaintManager pm(skin);
  pm.Init(&host);
  Skin::CControlUI* root = Skin::CMarkupBuilder::CreateFromText(
      "<Window><VerticalLayout name=\"top\"><Include source=\"bomb.xml\"/>"
      "</VerticalLayout></Window>",
      pm);
  ASSERT_NE(root, nullptr);
  pm.AttachDialog(root);
  int layouts = 0;
  root->VisitTree([&](Skin::CControlUI* c) { layouts += c->GetClass() == L"VerticalLayoutUI"; });
  EXPECT_EQ(layouts, 1 + 64);  // "top" and one layout per document loaded
  auto* first = static_cast<Skin::CContainerUI*>(
      static_cast<Skin::CContainerUI*>(pm.FindControl(L"top"))->GetItemAt(0));
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(first->GetCount(), 2);  // the first include and the label
}

TEST(BuiltInControls, ClassNamesAndInterfaces) {
  const struct {
    const wchar_t* element;
    const wchar_t* cls;
    const wchar_t* iface;
  } table[] = {
      {L"Control", L"ControlUI", L"Control"},
      {L"Label", L"LabelUI", L"Label"},
      {L"Text", L"TextUI", L"Text"},
      {L"Button", L"ButtonUI", L"Button"},
      {L"Progress", L"ProgressUI", L"Progress"},
      {L"Container", L"ContainerUI", L"Container"},
      {L"VerticalLayout", L"VerticalLayoutUI", L"VerticalLayout"},
      {L"HorizontalLayout", L"HorizontalLayoutUI", L"HorizontalLayout"},
      {L"TabLayout", L"TabLayoutUI", L"TabLayout"},
  };
  for (const auto& row : table) {
    std::unique_ptr<Skin::CControlUI> c(Skin::CMarkupBuilder::CreateBuiltIn(row.element));
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(c->GetClass(), row.cls);
    EXPECT_EQ(c->GetInterface(row.iface), c.get());
    EXPECT_EQ(c->GetInterface(L"Control"), c.get());
    EXPECT_EQ(c->GetInterface(L"Nothing"), nullptr);
  }
  EXPECT_EQ(Skin::CMarkupBuilder::CreateBuiltIn(L"button"), nullptr);
  std::unique_ptr<Skin::CControlUI> label(Skin::CMarkupBuilder::CreateBuiltIn(L"Label"));
  EXPECT_EQ(label->GetInterface(L"Button"), nullptr);
}

}  // namespace
