// libFuzzer target: picture decoding (DecodePicture, the engine's way from a package entry's
// bytes to a bitmap) on arbitrary bytes, and the canvas drawing the result scaled.
//
// Besides the sanitizers' findings it checks what painting relies on:
// - a refused picture leaves an empty bitmap; a decoded one has its size within the limit
//   and one premultiplied pixel per point;
// - what the engine's reader decodes, stb_image decodes too, to the same pixels (premultiplied);
// - the mask colour (taken from the first pixel) makes exactly the opaque pixels of that
//   colour transparent, and changes no other opaque pixel;
// - the picture drawn shrunk and enlarged leaves premultiplied pixels on the canvas.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "skin/pixel_canvas.h"
#include "skin/skin_context.h"
#include "support/reference_png.h"

namespace {

// The largest side the engine accepts.
constexpr int kMaxSide = 8192;

bool Premultiplied(std::uint32_t p) {
  const std::uint32_t a = p >> 24;
  return ((p >> 16) & 0xFF) <= a && ((p >> 8) & 0xFF) <= a && (p & 0xFF) <= a;
}

// The four-channel decoding of the bytes, premultiplied as the engine stores pixels.
bool Reference(const std::uint8_t* data, std::size_t size, std::vector<std::uint32_t>* out) {
  int w = 0, h = 0, n = 0;
  stbi_uc* raw = stbi_load_from_memory(data, static_cast<int>(size), &w, &h, &n, 4);
  if (!raw) return false;
  out->resize(static_cast<std::size_t>(w) * h);
  for (std::size_t i = 0; i < out->size(); ++i) {
    const stbi_uc* p = raw + i * 4;
    (*out)[i] = Skin::Premultiply((static_cast<std::uint32_t>(p[3]) << 24) | (p[0] << 16) |
                                  (p[1] << 8) | p[2]);
  }
  stbi_image_free(raw);
  return true;
}

// Draws the picture filtered into a canvas of the given size.
void Draw(const Skin::SkinBitmap& picture, int width, int height) {
  std::vector<std::uint32_t> pixels(static_cast<std::size_t>(width) * height, 0x80402010u);
  Skin::CPixelCanvas canvas(pixels.data(), width, height);
  canvas.DrawBitmap(picture, Skin::SkinRect{1, 1, width - 1, height - 1},
                    Skin::SkinRect{0, 0, picture.width, picture.height}, 200);
  for (std::uint32_t p : pixels) {
    if (!Premultiplied(p)) std::abort();
  }
}

// The same bytes decoded with four channels, and with the first pixel's colour as mask.
void CompareDecodings(const std::uint8_t* data, std::size_t size, const Skin::SkinBitmap& picture) {
  std::vector<std::uint32_t> reference;
  if (!Reference(data, size, &reference) || picture.pixels != reference) std::abort();

  const Skin::Colour mask = picture.pixels[0] & 0xFFFFFF;
  Skin::SkinBitmap masked;
  if (!Skin::DecodePicture(data, size, &masked, true, mask)) std::abort();
  if (masked.pixels.size() != picture.pixels.size()) std::abort();
  for (std::size_t i = 0; i < masked.pixels.size(); ++i) {
    const std::uint32_t before = picture.pixels[i], after = masked.pixels[i];
    if ((before >> 24) == 255) {
      if (after != ((before & 0xFFFFFF) == mask ? 0u : before)) std::abort();
    } else if (after != before && after != 0) {
      std::abort();
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  Skin::SkinBitmap picture;
  picture.width = 1;  // whatever the bitmap held before must go
  if (!Skin::DecodePicture(data, size, &picture)) {
    if (picture.width || picture.height || !picture.pixels.empty()) std::abort();
    return 0;
  }
  if (picture.width <= 0 || picture.height <= 0 || picture.width > kMaxSide ||
      picture.height > kMaxSide) {
    std::abort();
  }
  for (std::uint32_t p : picture.pixels) {
    if (!Premultiplied(p)) std::abort();
  }
  CompareDecodings(data, size, picture);
  Draw(picture, 9, 6);
  Draw(picture, picture.width > 32 ? 34 : picture.width * 2 + 2,
       picture.height > 32 ? 34 : picture.height * 2 + 2);
  return 0;
}
