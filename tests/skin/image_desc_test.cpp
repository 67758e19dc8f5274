#include "skin/image_desc.h"

#include <gtest/gtest.h>

namespace {

using Skin::SkinRect;

TEST(ParseColour, Table) {
  struct Case {
    const wchar_t* text;
    Skin::Colour want;
  };
  const Case cases[] = {
      {L"#FF236EE7", 0xFF236EE7}, {L"#ff2e323d", 0xFF2E323D}, {L"#00FFFFFF", 0x00FFFFFF},
      {L"#FFFFFF", 0xFFFFFFFF},   {L"FF347BF6", 0xFF347BF6},  {L"", 0},
      {L"#FFF", 0},               {L"#GG000000", 0},          {L"#FF0000000", 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << std::hex << c.want);
    EXPECT_EQ(Skin::ParseColour(c.text), c.want);
  }
}

TEST(ParseRect, NumbersWithBlanksAndMissingOnes) {
  EXPECT_EQ(Skin::ParseRect(L"519,16,539,36"), (SkinRect{519, 16, 539, 36}));
  EXPECT_EQ(Skin::ParseRect(L" 36, 26 ,0,0"), (SkinRect{36, 26, 0, 0}));
  EXPECT_EQ(Skin::ParseRect(L"3,0"), (SkinRect{3, 0, 0, 0}));
  EXPECT_EQ(Skin::ParseRect(L"-4,5,6,7"), (SkinRect{-4, 5, 6, 7}));
  EXPECT_EQ(Skin::ParseRect(L"x"), (SkinRect{0, 0, 0, 0}));
  EXPECT_EQ(Skin::ParseSize(L"580,400"), (Skin::SkinSize{580, 400}));
}

TEST(ParseImageDesc, Table) {
  struct Case {
    const wchar_t* text;
    bool ok;
    const wchar_t* file;
    SkinRect source;
    SkinRect corner;
    bool hasMask;
    Skin::Colour mask;
  };
  const Case cases[] = {
      {L"file='install_img_02@2x.png'", true, L"install_img_02@2x.png", {}, {}, false, 0},
      {L"file = 'install_img_03@2x.png'", true, L"install_img_03@2x.png", {}, {}, false, 0},
      {L"Window_shadow.png", true, L"Window_shadow.png", {}, {}, false, 0},
      {L"file='Head_btnsys_20x20.png' source='40,20,60,40'", true, L"Head_btnsys_20x20.png",
       {40, 20, 60, 40}, {}, false, 0},
      {L"file='progress_fore.png' corner='3,0,3,0'", true, L"progress_fore.png", {}, {3, 0, 3, 0},
       false, 0},
      {L"file='scrollbar.bmp' source='0,24,12,48' corner='0,4,0,4' mask='#FFFF00FF'", true,
       L"scrollbar.bmp", {0, 24, 12, 48}, {0, 4, 0, 4}, true, 0xFFFF00FF},
      {L"file=\"a b.png\"", true, L"a b.png", {}, {}, false, 0},
      {L"", false, L"", {}, {}, false, 0},
      {L"source='0,0,1,1'", false, L"", {0, 0, 1, 1}, {}, false, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "desc: " << std::string(c.text, c.text + wcslen(c.text)));
    Skin::ImageDesc d;
    EXPECT_EQ(Skin::ParseImageDesc(c.text, &d), c.ok);
    EXPECT_EQ(d.file, c.file);
    EXPECT_EQ(d.source, c.source);
    EXPECT_EQ(d.corner, c.corner);
    EXPECT_EQ(d.hasMask, c.hasMask);
    EXPECT_EQ(d.mask, c.mask);
  }
}

// Piece `i` of a nine-grid is drawn at `dest` from `source` of the picture.
void ExpectPiece(const std::vector<std::pair<SkinRect, SkinRect>>& pieces, size_t i, SkinRect dest,
                 SkinRect source) {
  ASSERT_LT(i, pieces.size());
  EXPECT_EQ(pieces[i].first, dest) << "piece " << i;
  EXPECT_EQ(pieces[i].second, source) << "piece " << i;
}

TEST(NineGrid, WithoutCornerIsOnePiece) {
  auto pieces = Skin::NineGrid({0, 0, 580, 290}, {0, 0, 1160, 580}, {});
  ASSERT_EQ(pieces.size(), 1u);
  ExpectPiece(pieces, 0, {0, 0, 580, 290}, {0, 0, 1160, 580});
}

TEST(NineGrid, ShadowCornersKeepTheirSizeAndEdgesStretch) {
  // The main window's shadow: 604 x 424 from the 624 x 424 picture with 12-pixel corners.
  auto pieces = Skin::NineGrid({-12, -12, 592, 412}, {0, 0, 624, 424}, {12, 12, 12, 12});
  ASSERT_EQ(pieces.size(), 9u);
  ExpectPiece(pieces, 0, {-12, -12, 0, 0}, {0, 0, 12, 12});
  ExpectPiece(pieces, 1, {0, -12, 580, 0}, {12, 0, 612, 12});
  ExpectPiece(pieces, 4, {0, 0, 580, 400}, {12, 12, 612, 412});
  ExpectPiece(pieces, 8, {580, 400, 592, 412}, {612, 412, 624, 424});
}

TEST(NineGrid, HorizontalOnlyCornersGiveThreePieces) {
  // The progress fill: 3-pixel ends, a stretched middle, at 254 of 508 pixels.
  auto pieces = Skin::NineGrid({36, 352, 290, 356}, {0, 0, 200, 5}, {3, 0, 3, 0});
  ASSERT_EQ(pieces.size(), 3u);
  ExpectPiece(pieces, 0, {36, 352, 39, 356}, {0, 0, 3, 5});
  ExpectPiece(pieces, 1, {39, 352, 287, 356}, {3, 0, 197, 5});
  ExpectPiece(pieces, 2, {287, 352, 290, 356}, {197, 0, 200, 5});
}

TEST(NineGrid, CornersWiderThanTheDestinationShrink) {
  // A 4-pixel wide fill with 3-pixel ends: the ends share the 4 pixels.
  auto pieces = Skin::NineGrid({0, 0, 4, 5}, {0, 0, 200, 5}, {3, 0, 3, 0});
  ASSERT_EQ(pieces.size(), 2u);
  EXPECT_EQ(pieces[0].first, (SkinRect{0, 0, 2, 5}));
  EXPECT_EQ(pieces[1].first, (SkinRect{2, 0, 4, 5}));
  EXPECT_TRUE(Skin::NineGrid({0, 0, 0, 5}, {0, 0, 200, 5}, {3, 0, 3, 0}).empty());
}

}  // namespace
