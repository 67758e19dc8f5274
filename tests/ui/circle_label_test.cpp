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
    package_ = zip.Finish();
    ASSERT_TRUE(zr::test::UseSkinPackage(package_));
    pm_.Init(&host_, L"circle");
    auto* root = new Skin::CVerticalLayoutUI();
    label_ = new zr::CircleLabelUI();
    root->Add(label_);
    pm_.AttachDialog(root);
    pm_.SetClientSize({40, 40});
    pm_.Layout();
  }
  // Delivers one timer event with the given id to the label, as the manager does.
  void Tick(unsigned id = zr::CircleLabelUI::kTimerId) {
    Skin::SkinEvent e;
    e.type = Skin::EventType::kTimer;
    e.sender = label_;
    e.wparam = id;
    label_->DoEvent(e);
  }
  std::vector<DrawCall> PaintBitmaps() {
    zr::test::RecordingSurface s;
    label_->DoPaint(s, label_->GetPos());
    return s.Of(DrawCall::kBitmap);
  }

  std::string package_;
  zr::test::FakeHost host_;
  Skin::CPaintManager pm_;
  zr::CircleLabelUI* label_ = nullptr;
};

TEST_F(CircleLabelTest, ThirteenTicksShowFramesOneToTwelveThenZero) {
  std::vector<int> frames;
  for (int i = 0; i < 13; ++i) {
    Tick();
    frames.push_back(label_->GetFrame());
  }
  EXPECT_EQ(frames, (std::vector<int>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 0}));
  EXPECT_EQ(label_->GetFrame(), 0);  // back where it started
  EXPECT_EQ(label_->GetFrameImage(), L"file='loading/00.png'");
  Tick();
  EXPECT_EQ(label_->GetFrameImage(), L"file='loading/01.png'");
}

TEST_F(CircleLabelTest, OtherTimerIdsGoToTheLabel) {
  Tick(15);
  EXPECT_EQ(label_->GetFrame(), 0);
  EXPECT_TRUE(label_->GetFrameImage().IsEmpty());
}

TEST_F(CircleLabelTest, AnimationUsesTimer16Every30Ms) {
  ASSERT_TRUE(label_->StartAnimation(true));
  ASSERT_EQ(host_.started.size(), 1u);
  EXPECT_EQ(host_.started[0].second, 30u);
  EXPECT_TRUE(pm_.HasTimer(label_, 16));
  EXPECT_TRUE(pm_.OnHostTimer(host_.started[0].first));
  EXPECT_EQ(label_->GetFrame(), 1);
  EXPECT_TRUE(label_->StartAnimation(false));
  EXPECT_FALSE(pm_.HasTimer(label_, 16));
  EXPECT_FALSE(pm_.OnHostTimer(host_.started[0].first));
}

TEST_F(CircleLabelTest, AMissingFrameIsDroppedUntilTheNextTick) {
  EXPECT_TRUE(PaintBitmaps().empty());  // no frame yet: nothing drawn
  Tick();                               // frame 01 exists
  auto drawn = PaintBitmaps();
  ASSERT_EQ(drawn.size(), 1u);
  EXPECT_EQ(drawn[0].rect, label_->GetPos());
  EXPECT_EQ(label_->GetFrameImage(), L"file='loading/01.png'");
  Tick();                               // frame 02 does not
  EXPECT_TRUE(PaintBitmaps().empty());
  EXPECT_TRUE(label_->GetFrameImage().IsEmpty());
  EXPECT_TRUE(PaintBitmaps().empty());
  Tick();
  EXPECT_EQ(label_->GetFrameImage(), L"file='loading/03.png'");
}

TEST_F(CircleLabelTest, ClassAndInterface) {
  EXPECT_EQ(label_->GetClass(), L"CircleLabelUI");
  EXPECT_EQ(label_->GetInterface(L"CircleLabel"), label_);
  EXPECT_EQ(label_->GetInterface(L"circlelabel"), nullptr);
  EXPECT_EQ(label_->GetInterface(L"Label"), label_);
  EXPECT_EQ(label_->GetInterface(L"Button"), nullptr);
}

TEST_F(CircleLabelTest, ATickRepaintsTheControl) {
  host_.invalidated.clear();
  Tick();
  ASSERT_EQ(host_.invalidated.size(), 1u);
  EXPECT_EQ(host_.invalidated[0], label_->GetPos());
}

}  // namespace
