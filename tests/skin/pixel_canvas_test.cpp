#include "skin/pixel_canvas.h"

#include <gtest/gtest.h>

#include <vector>

#include "support/skin_fixtures.h"

namespace {

using Skin::SkinRect;

std::uint32_t Alpha(std::uint32_t p) { return p >> 24; }
std::uint32_t Red(std::uint32_t p) { return (p >> 16) & 0xFF; }

TEST(PixelCanvas, FillRectBlendsAndRespectsTheClip) {
  std::vector<std::uint32_t> px(10 * 10, 0xFFFFFFFF);
  Skin::CPixelCanvas c(px.data(), 10, 10);
  c.SetClip(SkinRect{0, 0, 5, 10});
  c.FillRect(SkinRect{0, 0, 10, 10}, 0xFF000000);
  EXPECT_EQ(c.PixelAt(4, 4), 0xFF000000u);
  EXPECT_EQ(c.PixelAt(5, 4), 0xFFFFFFFFu);
  c.SetClip(SkinRect{0, 0, 10, 10});
  c.FillRect(SkinRect{5, 0, 10, 10}, 0x80000000);  // half black over white
  EXPECT_NEAR(static_cast<int>(Red(c.PixelAt(7, 7))), 127, 2);
  c.FillRect(SkinRect{0, 0, 10, 10}, 0x00FF0000);  // alpha 0 draws nothing
  EXPECT_EQ(c.PixelAt(4, 4), 0xFF000000u);
  c.FillRect(SkinRect{-5, -5, 20, 20}, 0xFF102030);  // outside the bitmap: clipped
  EXPECT_EQ(c.PixelAt(9, 9), 0xFF102030u);
}

TEST(PixelCanvas, RoundedCornersAreAntialiased) {
  std::vector<std::uint32_t> px(40 * 20, 0);
  Skin::CPixelCanvas c(px.data(), 40, 20);
  c.FillRoundRect(SkinRect{0, 0, 40, 20}, Skin::SkinSize{12, 12}, 0xFF347BF6);
  EXPECT_EQ(Alpha(c.PixelAt(0, 0)), 0u);          // the corner is cut away
  EXPECT_EQ(Alpha(c.PixelAt(20, 10)), 255u);      // the middle is solid
  EXPECT_EQ(Alpha(c.PixelAt(20, 0)), 255u);       // straight edges are solid
  // Along the corner's arc there are partly covered pixels.
  int partial = 0;
  for (int y = 0; y < 6; ++y) {
    for (int x = 0; x < 6; ++x) {
      std::uint32_t a = Alpha(c.PixelAt(x, y));
      if (a > 0 && a < 255) ++partial;
    }
  }
  EXPECT_GE(partial, 3);

  // The bottom corners mirror the top ones at every radius (scaled ones end in half pixels).
  for (int round : {5, 9, 12}) {
    std::vector<std::uint32_t> m(21 * 15, 0);
    Skin::CPixelCanvas s(m.data(), 21, 15);
    s.FillRoundRect(SkinRect{0, 0, 21, 15}, Skin::SkinSize{round, round}, 0xFF347BF6);
    for (int i = 0; i < 21 * 15; ++i) ASSERT_EQ(m[i], s.PixelAt(i % 21, 14 - i / 21)) << round << " at " << i;
  }
}

TEST(PixelCanvas, BorderIsAFrameInsideTheRectangle) {
  std::vector<std::uint32_t> px(20 * 10, 0);
  Skin::CPixelCanvas c(px.data(), 20, 10);
  c.DrawBorder(SkinRect{0, 0, 20, 10}, 1, Skin::SkinSize{}, 0xFFC3C8D5);
  EXPECT_EQ(c.PixelAt(0, 5), 0xFFC3C8D5u);
  EXPECT_EQ(c.PixelAt(19, 5), 0xFFC3C8D5u);
  EXPECT_EQ(c.PixelAt(10, 0), 0xFFC3C8D5u);
  EXPECT_EQ(c.PixelAt(10, 5), 0u);
}

TEST(PixelCanvas, BitmapsShrinkByAveragingAndKeepTheirSourceRectangle) {
  // A 4 x 2 picture: a white left half and a black right half, opaque.
  Skin::SkinBitmap b;
  b.width = 4;
  b.height = 2;
  b.pixels = {0xFFFFFFFF, 0xFFFFFFFF, 0xFF000000, 0xFF000000,
              0xFFFFFFFF, 0xFFFFFFFF, 0xFF000000, 0xFF000000};
  std::vector<std::uint32_t> px(2 * 1, 0);
  Skin::CPixelCanvas c(px.data(), 2, 1);
  c.DrawBitmap(b, SkinRect{0, 0, 2, 1}, SkinRect{0, 0, 4, 2}, 255);
  EXPECT_EQ(c.PixelAt(0, 0), 0xFFFFFFFFu);
  EXPECT_EQ(c.PixelAt(1, 0), 0xFF000000u);
  // Whole picture into one pixel: the average grey.
  std::vector<std::uint32_t> one(1, 0);
  Skin::CPixelCanvas d(one.data(), 1, 1);
  d.DrawBitmap(b, SkinRect{0, 0, 1, 1}, SkinRect{0, 0, 4, 2}, 255);
  EXPECT_NEAR(static_cast<int>(Red(d.PixelAt(0, 0))), 128, 1);
  // Only the source rectangle is used: the black half, enlarged, stays black.
  std::vector<std::uint32_t> big(8 * 4, 0);
  Skin::CPixelCanvas e(big.data(), 8, 4);
  e.DrawBitmap(b, SkinRect{0, 0, 8, 4}, SkinRect{2, 0, 4, 2}, 255);
  for (int x = 0; x < 8; ++x) EXPECT_EQ(e.PixelAt(x, 2), 0xFF000000u) << x;
}

TEST(PixelCanvas, TransparentPicturePixelsLeaveTheBackground) {
  Skin::SkinBitmap b;
  b.width = 2;
  b.height = 1;
  b.pixels = {0x00000000, 0x80800000};  // premultiplied: transparent, half red
  std::vector<std::uint32_t> px(2, 0xFF0000FF);
  Skin::CPixelCanvas c(px.data(), 2, 1);
  c.DrawBitmap(b, SkinRect{0, 0, 2, 1}, SkinRect{0, 0, 2, 1}, 255);
  EXPECT_EQ(c.PixelAt(0, 0), 0xFF0000FFu);
  EXPECT_NEAR(static_cast<int>(Red(c.PixelAt(1, 0))), 128, 1);
  EXPECT_NEAR(static_cast<int>(c.PixelAt(1, 0) & 0xFF), 127, 1);
}

// Drawing through the scaled-picture cache gives exactly the pixels of filtering on every
// draw, those of the per-pixel filter, and each picture is scaled once per source rectangle
// and size.
TEST(PixelCanvas, CachedScalingDrawsTheSamePixelsAndScalesOncePerSize) {
  Skin::SkinBitmap b;
  b.width = 7;
  b.height = 5;
  std::uint32_t seed = 12345;
  for (int i = 0; i < b.width * b.height; ++i) {
    seed = seed * 1103515245u + 12345u;
    std::uint32_t a = (seed >> 24) | 0x0F, c = (seed >> 8) & 0xFF;
    c = c * a / 255;  // premultiplied
    b.pixels.push_back((a << 24) | (c << 16) | ((255 - c) * a / 255 << 8) | (c / 2));
  }
  struct Case {
    const char* name;
    SkinRect dest, source, clip;
    int alpha;
  };
  const Case cases[] = {
      {"shrink", {0, 0, 3, 2}, {0, 0, 7, 5}, {0, 0, 20, 20}, 255},
      {"enlarge a part", {2, 1, 17, 13}, {1, 1, 5, 4}, {0, 0, 20, 20}, 255},
      {"one axis only", {0, 0, 7, 11}, {0, 0, 7, 5}, {0, 0, 20, 20}, 255},
      {"clipped", {-3, -2, 15, 12}, {0, 0, 7, 5}, {4, 3, 9, 8}, 255},
      {"faded", {0, 0, 13, 9}, {0, 0, 7, 5}, {0, 0, 20, 20}, 100},
      {"same size", {5, 5, 12, 10}, {0, 0, 7, 5}, {0, 0, 20, 20}, 200},
      {"halved (16-bit sums)", {0, 0, 3, 2}, {1, 1, 7, 5}, {0, 0, 20, 20}, 255},
      {"three quarters (16-bit sums)", {0, 0, 3, 3}, {0, 0, 4, 4}, {0, 0, 20, 20}, 255},
  };
  Skin::CScaledPictureCache cache;
  unsigned scaled = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<std::uint32_t> direct(20 * 20, 0xFF336699), cached = direct;
    Skin::CPixelCanvas plain(direct.data(), 20, 20);
    Skin::CPixelCanvas fast(cached.data(), 20, 20);
    fast.SetScaleCache(&cache);
    plain.SetClip(c.clip);
    fast.SetClip(c.clip);
    plain.DrawBitmap(b, c.dest, c.source, c.alpha);
    fast.DrawBitmap(b, c.dest, c.source, c.alpha);
    EXPECT_EQ(cached, direct);
    const bool scales = c.dest.Width() != c.source.Width() || c.dest.Height() != c.source.Height();
    if (scales) {
      EXPECT_EQ(Skin::ScalePicture(b, c.source, c.dest.Width(), c.dest.Height()).pixels,
                zr::test::ReferenceScale(b, c.source, c.dest.Width(), c.dest.Height()).pixels);
    }
    scaled += scales ? 1 : 0;
    EXPECT_EQ(cache.ScaledCount(), scaled);
    fast.DrawBitmap(b, c.dest, c.source, c.alpha);  // again: from the cache
    EXPECT_EQ(cache.ScaledCount(), scaled);
  }
  // Past its limit the cache starts over rather than growing.
  Skin::CScaledPictureCache small(3 * 2 * 4 + 4);
  small.Get(b, SkinRect{0, 0, 7, 5}, 3, 2);
  small.Get(b, SkinRect{0, 0, 7, 5}, 2, 2);
  EXPECT_EQ(small.Bytes(), 2u * 2 * 4);
  EXPECT_EQ(small.ScaledCount(), 2u);
}

}  // namespace
