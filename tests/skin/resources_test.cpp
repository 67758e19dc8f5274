#include "skin/resources.h"

#include <gtest/gtest.h>
#include <stb_image.h>

#include "skin/paint_manager.h"
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
  EXPECT_TRUE(b.hasAlpha);

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
    bool anyAlpha = false;
    for (int i = 0; i < w * h; ++i) {
      const std::uint32_t a = rgba[i * 4 + 3];
      anyAlpha = anyAlpha || a != 255;
      const std::uint32_t want = (a << 24) | ((rgba[i * 4] * a / 255) << 16) |
                                 ((rgba[i * 4 + 1] * a / 255) << 8) | (rgba[i * 4 + 2] * a / 255);
      wrong += b.pixels[i] != want;
    }
    stbi_image_free(rgba);
    EXPECT_EQ(wrong, 0);
    EXPECT_EQ(b.hasAlpha, anyAlpha);
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
  std::string wide = zr::test::TinyPng(9000, 1, 0xFF000000);
  EXPECT_FALSE(Skin::DecodePicture(reinterpret_cast<const std::uint8_t*>(wide.data()),
                                   wide.size(), &b));
  EXPECT_EQ(b.width, 0);
}

// A BMP of 2 x 2 pixels (stored bottom-up, or top-down for a negative height) of 32 bits, or
// of 1 bit with a two-colour palette, whose pixels are cut to `pixelBytes` (whole: 16 bytes at
// 32 bits, 8 at 1 bit).
std::string TinyBmp(std::int32_t height, std::size_t pixelBytes, int bits,
                    std::uint32_t compression) {
  const std::size_t palette = bits == 1 ? 8 : 0;
  std::string bmp(54 + palette + pixelBytes, '\x40');
  auto put = [&bmp](std::size_t at, std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) bmp[at + i] = static_cast<char>(value >> (8 * i));
  };
  bmp[0] = 'B';
  bmp[1] = 'M';
  put(2, static_cast<std::uint32_t>(bmp.size()), 4);
  put(6, 0, 4);
  put(10, static_cast<std::uint32_t>(54 + palette), 4);  // the pixels follow the palette
  put(14, 40, 4);
  put(18, 2, 4);
  put(22, static_cast<std::uint32_t>(height), 4);
  put(26, 1, 2);
  put(28, static_cast<std::uint32_t>(bits), 2);
  for (std::size_t at = 30; at < 54; ++at) bmp[at] = 0;
  put(30, compression, 4);
  return bmp;
}

TEST(DecodePicture, RefusesABmpWhoseRowsRunPastItsEnd) {
  const struct {
    std::int32_t height;
    std::size_t pixelBytes;
    int bits;
    std::uint32_t compression;  // stb_image reads 0 and any value above 0x7FFFFFFF as rows
    bool decodes;
  } cases[] = {{2, 16, 32, 0, true},         {-2, 16, 32, 0, true},
               {2, 12, 32, 0, false},        {-2, 15, 32, 0, false},
               {2, 0, 32, 0, false},         {2, 8, 1, 0xBF000800, true},
               {2, 4, 1, 0xBF000800, false}};
  for (const auto& c : cases) {
    const std::string bmp = TinyBmp(c.height, c.pixelBytes, c.bits, c.compression);
    Skin::SkinBitmap b;
    EXPECT_EQ(Skin::DecodePicture(reinterpret_cast<const std::uint8_t*>(bmp.data()), bmp.size(), &b),
              c.decodes)
        << "height " << c.height << ", " << c.bits << " bits, " << c.pixelBytes
        << " pixel bytes, compression " << c.compression;
    EXPECT_EQ(b.width, c.decodes ? 2 : 0);
  }
  // Cut off inside the header, whose missing fields would be read as zeros.
  for (std::size_t size : {2, 17, 30, 53}) {
    const std::string bmp = TinyBmp(2, 16, 32, 0).substr(0, size);
    Skin::SkinBitmap b;
    EXPECT_FALSE(Skin::DecodePicture(reinterpret_cast<const std::uint8_t*>(bmp.data()), size, &b))
        << size << " bytes";
  }
}

TEST(ResourceSettings, PathsKeepATrailingBackslash) {
  Skin::CResourceSettings::SetResourcePath(L"C:\\app\\UpdaterSkin");
  EXPECT_EQ(Skin::CResourceSettings::GetResourcePath(), L"C:\\app\\UpdaterSkin\\");
  Skin::CResourceSettings::SetResourcePath(L"C:\\app\\UpdaterSkin\\");
  EXPECT_EQ(Skin::CResourceSettings::GetResourcePath(), L"C:\\app\\UpdaterSkin\\");
  Skin::CResourceSettings::SetInstancePath(L"C:\\app");
  EXPECT_EQ(Skin::CResourceSettings::GetInstancePath(), L"C:\\app\\");
}

TEST(ResourceSettings, ResourcesComeFromThePackageOrFromFiles) {
  zr::test::ZipWriter zip;
  zip.Add("doc.xml", "<Window/>", true);
  static std::string package;
  package = zip.Finish();
  EXPECT_FALSE(Skin::CResourceSettings::SetResourceZip(package.data(), package.size(), L"secret"));
  ASSERT_TRUE(Skin::CResourceSettings::SetResourceZip(package.data(), package.size()));
  Skin::CResourceSettings::SetResourceKind(Skin::ResourceKind::kZipInMemory);
  std::vector<std::uint8_t> bytes;
  ASSERT_TRUE(Skin::CResourceSettings::LoadResource(L"doc.xml", &bytes));
  EXPECT_EQ(std::string(bytes.begin(), bytes.end()), "<Window/>");
  EXPECT_FALSE(Skin::CResourceSettings::LoadResource(L"font.xml", &bytes));
  EXPECT_FALSE(Skin::CResourceSettings::LoadResource(L"", &bytes));

  // Kind file: the same names below the resource path (the checkout's skin folder).
  Skin::CResourceSettings::SetResourceKind(Skin::ResourceKind::kFile);
  std::string dir = zr::test::SkinDir();
  Skin::CResourceSettings::SetResourcePath(std::wstring(dir.begin(), dir.end()));
  ASSERT_TRUE(Skin::CResourceSettings::LoadResource(L"font.xml", &bytes));
  EXPECT_EQ(bytes.size(), zr::test::SkinSourceFile("font.xml").size());
  EXPECT_FALSE(Skin::CResourceSettings::LoadResource(L"doc.xml", &bytes));
  Skin::CResourceSettings::SetResourceKind(Skin::ResourceKind::kZipInMemory);
}

// Pictures are decoded once for the whole process: every paint manager gets the same bitmap,
// missing pictures included, until another package is set.
TEST(ResourceSettings, PicturesAreDecodedOnceAndSharedByEveryWindow) {
  zr::test::ZipWriter zip;
  zip.Add("a.png", zr::test::TinyPng(), false);
  zip.Add("b.png", zr::test::TinyPng(3, 1, 0xFF00FF00), true);
  static std::string package;
  package = zip.Finish();
  Skin::CResourceSettings::SetResourceKind(Skin::ResourceKind::kZipInMemory);
  ASSERT_TRUE(Skin::CResourceSettings::SetResourceZip(package.data(), package.size()));
  EXPECT_EQ(Skin::CResourceSettings::PicturesDecoded(), 0u);
  Skin::CPaintManager one, two;
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
  EXPECT_EQ(Skin::CResourceSettings::PicturesDecoded(), 3u);

  // Another package: its own pictures, while the windows keep the bitmaps they hold.
  zr::test::ZipWriter other;
  other.Add("a.png", zr::test::TinyPng(5, 1, 0xFF0000FF), false);
  static std::string second;
  second = other.Finish();
  ASSERT_TRUE(Skin::CResourceSettings::SetResourceZip(second.data(), second.size()));
  EXPECT_EQ(Skin::CResourceSettings::PicturesDecoded(), 0u);
  Skin::CPaintManager three;
  ASSERT_NE(three.GetImage(L"a.png"), nullptr);
  EXPECT_EQ(three.GetImage(L"a.png")->width, 5);
  EXPECT_EQ(one.GetImage(L"a.png")->width, 2);
}

}  // namespace
