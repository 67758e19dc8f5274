#include "ui/circle_label.h"

#include <gtest/gtest.h>

#include "skin/paint_manager.h"
#include "skin/resources.h"
#include "skin/vertical_layout.h"
#include "support/skin_fixtures.h"

namespace {

using zr::test::DrawCall;

class CircleLabelTest : public testing::Test {
 protected:
  void SetUp() override {
    // Only frame 01 exists in this package.
    zr::test::ZipWriter zip;
    zip.Add("loading/01.png", zr::test::TinyPng(8, 8, 0xFF00FF00), false);
    m_package = zip.Finish();
    ASSERT_TRUE(zr::test::UseSkinPackage(m_package));
    m_pm.Init(&m_host, L"circle");
    auto* root = new Skin::CVerticalLayoutUI();
    m_label = new zr::CircleLabelUI();
    root->Add(m_label);
    m_pm.AttachDialog(root);
    m_pm.SetClientSize({40, 40});
    m_pm.Layout();
  }
  // Delivers one timer event with the given id to the label, as the manager does.
  void Tick(unsigned id = zr::CircleLabelUI::kTimerId) {
    Skin::SkinEvent e;
    e.type = Skin::EventType::kTimer;
    e.sender = m_label;
    e.wparam = id;
    m_label->DoEvent(e);
  }
  std::vector<DrawCall> PaintBitmaps() {
    zr::test::RecordingSurface s;
    m_label->DoPaint(s, m_label->GetPos());
    return s.Of(DrawCall::kBitmap);
  }

  std::string m_package;
  zr::test::FakeHost m_host;
  Skin::CPaintManager m_pm;
  zr::CircleLabelUI* m_label = nullptr;
};

TEST_F(CircleLabelTest, ThirteenTicksShowFramesOneToTwelveThenZero) {
  std::vector<int> frames;
  for (int i = 0; i < 13; ++i) {
    Tick();
    frames.push_back(m_label->GetFrame());
  }
  EXPECT_EQ(frames, (std::vector<int>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 0}));
  EXPECT_EQ(m_label->GetFrame(), 0);  // back where it started
  EXPECT_EQ(m_label->GetFrameImage(), L"file='loading/00.png'");
  Tick();
  EXPECT_EQ(m_label->GetFrameImage(), L"file='loading/01.png'");
}

TEST_F(CircleLabelTest, OtherTimerIdsGoToTheLabel) {
  Tick(15);
  EXPECT_EQ(m_label->GetFrame(), 0);
  EXPECT_TRUE(m_label->GetFrameImage().IsEmpty());
}

TEST_F(CircleLabelTest, AnimationUsesTimer16Every30Ms) {
  ASSERT_TRUE(m_label->StartAnimation(true));
  ASSERT_EQ(m_host.started.size(), 1u);
  EXPECT_EQ(m_host.started[0].second, 30u);
  EXPECT_TRUE(m_pm.HasTimer(m_label, 16));
  EXPECT_TRUE(m_pm.OnHostTimer(m_host.started[0].first));
  EXPECT_EQ(m_label->GetFrame(), 1);
  EXPECT_TRUE(m_label->StartAnimation(false));
  EXPECT_FALSE(m_pm.HasTimer(m_label, 16));
  EXPECT_FALSE(m_pm.OnHostTimer(m_host.started[0].first));
}

TEST_F(CircleLabelTest, AMissingFrameIsDroppedUntilTheNextTick) {
  EXPECT_TRUE(PaintBitmaps().empty());  // no frame yet: nothing drawn
  Tick();                               // frame 01 exists
  auto drawn = PaintBitmaps();
  ASSERT_EQ(drawn.size(), 1u);
  EXPECT_EQ(drawn[0].rect, m_label->GetPos());
  EXPECT_EQ(m_label->GetFrameImage(), L"file='loading/01.png'");
  Tick();                               // frame 02 does not
  EXPECT_TRUE(PaintBitmaps().empty());
  EXPECT_TRUE(m_label->GetFrameImage().IsEmpty());
  EXPECT_TRUE(PaintBitmaps().empty());
  Tick();
  EXPECT_EQ(m_label->GetFrameImage(), L"file='loading/03.png'");
}

TEST_F(CircleLabelTest, ClassAndInterface) {
  EXPECT_EQ(m_label->GetClass(), L"CircleLabelUI");
  EXPECT_EQ(m_label->GetInterface(L"CircleLabel"), m_label);
  EXPECT_EQ(m_label->GetInterface(L"circlelabel"), nullptr);
  EXPECT_EQ(m_label->GetInterface(L"Label"), m_label);
  EXPECT_EQ(m_label->GetInterface(L"Button"), nullptr);
}

TEST_F(CircleLabelTest, ATickRepaintsTheControl) {
  m_host.invalidated.clear();
  Tick();
  ASSERT_EQ(m_host.invalidated.size(), 1u);
  EXPECT_EQ(m_host.invalidated[0], m_label->GetPos());
}

}  // namespace
