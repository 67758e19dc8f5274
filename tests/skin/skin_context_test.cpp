#include "skin/skin_context.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "skin/markup_builder.h"
#include "skin/paint_manager.h"
#include "skin/pixel_canvas.h"
#include "support/reference_png.h"
#include "support/skin_fixtures.h"

namespace {

TEST(DecodePicture, PremultipliesAndAppliesTheMask) {
  std::string png = zr::test::TinyPng();  // red, green / blue, half-transparent white
  Skin::SkinBitmap b;
  ASSERT_TRUE(Skin::DecodePicture(reinterpret_cast<const std::uint8_t*>(png.data()), png.size(), &b));
  ASSERT_EQ(b.width, 2);
  ASSERT_EQ(b.height, 2);
  EXPECT_EQ(b.pixels[0], 0xFFFF0000u);
  EXPECT_EQ(b.pixels[1], 0xFF00FF00u);
  EXPECT_EQ(b.pixels[2], 0xFF0000FFu);
  EXPECT_EQ(b.pixels[3], 0x80808080u);  // 0x80 alpha: white becomes 0x80 per channel

  Skin::SkinBitmap masked;
  ASSERT_TRUE(Skin::DecodePicture(reinterpret_cast<const std::uint8_t*>(png.data()), png.size(),
                                  &masked, true, 0xFF00FF00));
  EXPECT_EQ(masked.pixels[1], 0u);
  EXPECT_EQ(masked.pixels[0], 0xFFFF0000u);
}

// The skin's own pictures, with and without an alpha channel, decode to exactly the
// premultiplied pixels of a plain four-channel decoding.
TEST(DecodePicture, SkinPicturesWithAndWithoutAlphaMatchAFourChannelDecoding) {
  for (const char* name : {"install_img_02@2x.png", "Window_shadow.png", "messagebox_icon_22x22.png"}) {
    SCOPED_TRACE(name);
    const std::string png = zr::test::SkinSourceFile(name);
    ASSERT_FALSE(png.empty());
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(png.data());
    Skin::SkinBitmap b;
    ASSERT_TRUE(Skin::DecodePicture(bytes, png.size(), &b));
    int w = 0, h = 0, n = 0;
    unsigned char* rgba = stbi_load_from_memory(bytes, static_cast<int>(png.size()), &w, &h, &n, 4);
    ASSERT_NE(rgba, nullptr);
    ASSERT_EQ(b.width, w);
    ASSERT_EQ(b.height, h);
    int wrong = 0;
    for (int i = 0; i < w * h; ++i) {
      const std::uint32_t a = rgba[i * 4 + 3];
      const std::uint32_t want = (a << 24) | ((rgba[i * 4] * a / 255) << 16) |
                                 ((rgba[i * 4 + 1] * a / 255) << 8) | (rgba[i * 4 + 2] * a / 255);
      wrong += b.pixels[i] != want;
    }
    stbi_image_free(rgba);
    EXPECT_EQ(wrong, 0);
  }
}

// A picture decoded at the size it is drawn at has exactly the pixels of the whole picture
// filtered pixel by pixel; one drawn at its size or larger on either axis comes out whole.
TEST(DecodePicture, AtTheSizeItIsDrawnAtWhenThatIsSmaller) {
  const struct {
    const char* name;
    Skin::SkinSize drawnAt, expected;
    bool useMask;
  } table[] = {
      {"install_img_02@2x.png", {580, 290}, {580, 290}, false},  // 100 %
      {"install_img_03@2x.png", {870, 435}, {870, 435}, false},  // 150 %
      {"Window_shadow.png", {300, 424}, {300, 424}, false},       // one axis, with alpha
      {"messagebox_icon_22x22.png", {11, 40}, {11, 40}, true},
      {"install_img_02@2x.png", {1160, 580}, {1160, 580}, false},  // its own size
      {"install_img_02@2x.png", {580, 600}, {1160, 580}, false},   // larger on one axis
      {"install_img_02@2x.png", {1740, 870}, {1160, 580}, false},
  };
  for (const auto& row : table) {
    SCOPED_TRACE(std::string(row.name) + " at " + std::to_string(row.drawnAt.cx));
    const std::string png = zr::test::SkinSourceFile(row.name);
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(png.data());
    Skin::SkinBitmap whole, drawn;
    ASSERT_TRUE(Skin::DecodePicture(bytes, png.size(), &whole, row.useMask, 0xFFFFFFFF));
    ASSERT_TRUE(Skin::DecodePicture(bytes, png.size(), &drawn, row.useMask, 0xFFFFFFFF, row.drawnAt));
    ASSERT_EQ((Skin::SkinSize{drawn.width, drawn.height}), row.expected);
    const Skin::SkinBitmap reference =
        zr::test::ReferenceScale(whole, {0, 0, whole.width, whole.height}, row.expected.cx, row.expected.cy);
    EXPECT_TRUE(drawn.pixels == reference.pixels);
  }
}

TEST(DecodePicture, RefusesWhatIsNoPictureOrTooLarge) {
  Skin::SkinBitmap b;
  const std::string garbage = "not a picture at all";
  EXPECT_FALSE(Skin::DecodePicture(reinterpret_cast<const std::uint8_t*>(garbage.data()),
                                   garbage.size(), &b));
  EXPECT_FALSE(Skin::DecodePicture(nullptr, 0, &b));
  std::string png = zr::test::TinyPng();
  EXPECT_FALSE(Skin::DecodePicture(reinterpret_cast<const std::uint8_t*>(png.data()),
                                   png.size() / 2, &b));
  // Image data a row short, or with a filter no PNG has; a header of a kind the skin never has
  // (16 bits a channel, a palette, interlaced).
  std::vector<std::string> bad = {zr::test::TinyPng(2, 3, 0, 2), zr::test::TinyPng(2, 2, 0, -1, 5)};
  const std::pair<int, int> headers[] = {{24, 16}, {25, 3}, {28, 1}};  // offset, value
  for (const auto& [at, value] : headers) {
    bad.push_back(png);
    bad.back()[at] = static_cast<char>(value);
  }
  for (const std::string& picture : bad) {
    EXPECT_FALSE(Skin::DecodePicture(reinterpret_cast<const std::uint8_t*>(picture.data()), picture.size(), &b));
  }
  std::string wide = zr::test::TinyPng(9000, 1, 0xFF000000);
  EXPECT_FALSE(Skin::DecodePicture(reinterpret_cast<const std::uint8_t*>(wide.data()),
                                   wide.size(), &b));
  EXPECT_EQ(b.width, 0);
}

TEST(SkinContext, EntriesComeFromItsPackage) {
  zr::test::ZipWriter zip;
  zip.Add("doc.xml", "<Window/>", true);
  zip.Add("stored.xml", "<Window size=\"1,1\"/>", false);
  const std::string package = zip.Finish();
  Skin::CSkinContext none;
  std::vector<std::uint8_t> bytes;
  EXPECT_FALSE(none.ReadEntry(L"doc.xml", &bytes)) << "a context without a package has nothing";
  Skin::CSkinContext skin;
  EXPECT_FALSE(skin.OpenPackage(package.data(), 10));
  ASSERT_TRUE(skin.OpenPackage(package.data(), package.size()));
  ASSERT_TRUE(skin.ReadEntry(L"doc.xml", &bytes));
  EXPECT_EQ(std::string(bytes.begin(), bytes.end()), "<Window/>");
  ASSERT_TRUE(skin.ReadEntry(L"STORED.xml", &bytes));
  EXPECT_EQ(std::string(bytes.begin(), bytes.end()), "<Window size=\"1,1\"/>");
  EXPECT_FALSE(skin.ReadEntry(L"font.xml", &bytes));
  EXPECT_FALSE(skin.ReadEntry(L"", &bytes));
}

// Pictures are decoded once per context: every paint manager made with it gets the same
// bitmap, missing pictures included; another context decodes its own.
TEST(SkinContext, PicturesAreDecodedOnceAndSharedByItsWindows) {
  zr::test::ZipWriter zip;
  zip.Add("a.png", zr::test::TinyPng(), false);
  zip.Add("b.png", zr::test::TinyPng(3, 1, 0xFF00FF00), true);
  const std::string package = zip.Finish();
  Skin::CSkinContext skin;
  ASSERT_TRUE(skin.OpenPackage(package.data(), package.size()));
  EXPECT_EQ(skin.PicturesDecoded(), 0u);
  Skin::CPaintManager one(skin), two(skin);
  const Skin::SkinBitmap* a = one.GetImage(L"a.png");
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(two.GetImage(L"A.PNG"), a);
  const Skin::SkinBitmap* b = two.GetImage(L"b.png");
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(b->width, 3);
  EXPECT_EQ(one.GetImage(L"b.png"), b);
  EXPECT_EQ(one.GetImage(L"a.png", true, 0xFF00FF00), two.GetImage(L"a.png", true, 0x0000FF00));
  EXPECT_NE(one.GetImage(L"a.png", true, 0xFF00FF00), a);  // a masked picture is another one
  EXPECT_EQ(one.GetImage(L"absent.png"), nullptr);
  EXPECT_EQ(two.GetImage(L"absent.png"), nullptr);
  EXPECT_EQ(skin.PicturesDecoded(), 3u);
  // One asked for without keeping it is decoded for that caller alone, unless it is kept already.
  const auto unkept = skin.GetPicture(L"b.png", true, 0xFF000000, {}, false);
  ASSERT_NE(unkept, nullptr);
  EXPECT_NE(skin.GetPicture(L"b.png", true, 0xFF000000, {}, false), unkept);
  EXPECT_EQ(skin.GetPicture(L"b.png", false, 0, {}, false).get(), b);
  EXPECT_EQ(skin.PicturesDecoded(), 5u);

  // Another context over another package: its own pictures, the first one's untouched.
  zr::test::ZipWriter other;
  other.Add("a.png", zr::test::TinyPng(5, 1, 0xFF0000FF), false);
  const std::string second = other.Finish();
  Skin::CSkinContext otherSkin;
  ASSERT_TRUE(otherSkin.OpenPackage(second.data(), second.size()));
  Skin::CPaintManager three(otherSkin);
  ASSERT_NE(three.GetImage(L"a.png"), nullptr);
  EXPECT_EQ(three.GetImage(L"a.png")->width, 5);
  EXPECT_EQ(otherSkin.PicturesDecoded(), 1u);
  EXPECT_EQ(one.GetImage(L"a.png")->width, 2);
  EXPECT_EQ(skin.PicturesDecoded(), 5u);
}

// The pictures a window's first paint draws whole are decoded ahead at the size it draws them
// at (at every scale), and that paint takes them instead of decoding them again; a picture
// decoded ahead is the one a paint would have decoded.
TEST(SkinContext, TheFirstPaintTakesThePicturesDecodedAhead) {
  zr::test::ZipWriter zip;
  zip.Add("big.png", zr::test::TinyPng(40, 20, 0xFF336699), true);
  zip.Add("hidden.png", zr::test::TinyPng(40, 20), false);
  zip.Add("sheet.png", zr::test::TinyPng(20, 20), false);
  zr::test::OwnWindow window(zip.Finish(),
                             "<Window><VerticalLayout>"
                             "<Label width=\"20\" height=\"10\" bkimage=\"file='big.png'\"/>"
                             "<Label width=\"20\" height=\"10\" visible=\"false\" bkimage=\"file='hidden.png'\"/>"
                             "<Label width=\"10\" height=\"10\" bkimage=\"file='sheet.png' source='0,0,10,10'\"/>"
                             "<Label width=\"10\" height=\"10\" bkimage=\"file='absent.png'\"/>"
                             "</VerticalLayout></Window>");
  ASSERT_NE(window.root, nullptr);
  Skin::CPaintManager& pm = window.pm;
  Skin::CSkinContext& skin = window.skin;
  pm.SetClientSize(Skin::SkinSize{20, 40});
  pm.DecodeAhead();
  ASSERT_NE(pm.GetImage(L"big.png", false, 0, {20, 10}), nullptr);
  EXPECT_EQ(skin.PicturesDecodedAhead(), 1u);
  pm.SetDpi(144);
  pm.SetClientSize(pm.Scale().ToDevice(Skin::SkinSize{20, 40}));
  pm.DecodeAhead();
  pm.DecodeAhead();  // once is enough
  zr::test::RecordingSurface surface;
  pm.Paint(surface, Skin::SkinRect{0, 0, 1000, 1000});
  auto bitmaps = surface.Of(zr::test::DrawCall::kBitmap);
  ASSERT_EQ(bitmaps.size(), 2u);
  EXPECT_EQ(bitmaps[0].bitmap->width, 30);  // big.png at the size it is drawn at, 150 %
  EXPECT_EQ(bitmaps[0].bitmap->pixels, std::vector<std::uint32_t>(30 * 15, 0xFF336699));
  EXPECT_EQ(skin.PicturesDecodedAhead(), 2u);
  EXPECT_EQ(skin.PicturesDecoded(), 3u);  // big at 100 % and 150 %, and sheet
  skin.DecodeAhead(L"big.png", false, 0, {30, 15});  // kept already: nothing to do
  EXPECT_EQ(pm.GetImage(L"big.png", false, 0, {30, 15}), bitmaps[0].bitmap);
  EXPECT_EQ(skin.PicturesDecodedAhead(), 2u);
}

}  // namespace
