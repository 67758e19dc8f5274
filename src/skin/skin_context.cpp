#include "skin/skin_context.h"

#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_PNG
#define STBI_NO_STDIO
#define STBI_NO_LINEAR
#define STBI_NO_HDR
// The skin's largest picture is 1160 pixels wide: refuse absurd sizes before allocating.
#define STBI_MAX_DIMENSIONS 8192
#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-function"
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#pragma GCC diagnostic ignored "-Wsign-compare"
#pragma GCC diagnostic ignored "-Wimplicit-fallthrough"
#endif
#include <stb_image.h>
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif

#include <algorithm>

#include "skin/pixel_canvas.h"
#include "skin/png_stream.h"
#include "skin/skin_string.h"
#include "util/detached_thread.h"
#include "util/text.h"

namespace Skin {

int CModalCounts::Change(std::uintptr_t owner, int delta) {
  std::lock_guard<std::mutex> lock(m_mutex);
  int& count = m_open[owner];
  count += delta;
  const int now = count;
  if (now <= 0) m_open.erase(owner);
  return now;
}

int CModalCounts::Count(std::uintptr_t owner) const {
  std::lock_guard<std::mutex> lock(m_mutex);
  auto it = m_open.find(owner);
  return it == m_open.end() ? 0 : it->second;
}

std::wstring PictureKey(const std::wstring& name, bool useMask, Colour mask, SkinSize drawnAt) {
  std::wstring key = AsciiLower(name);
  if (useMask) key += L"|" + std::to_wstring(mask & 0xFFFFFF);
  if (drawnAt.cx > 0 && drawnAt.cy > 0) key += L"@" + std::to_wstring(drawnAt.cx) + L"x" + std::to_wstring(drawnAt.cy);
  return key;
}

bool CSkinContext::OpenPackage(const void* data, std::size_t size) { return m_package.Open(data, size); }

bool CSkinContext::ReadEntry(const std::wstring& name, std::vector<std::uint8_t>* out) const {
  out->clear();
  ByteView view;
  if (name.empty() || !m_package.Read(zr::WideToUtf8(name), out, &view)) return false;
  if (view.data != out->data()) out->assign(view.data, view.data + view.size);
  return true;
}

// A picture decoded ahead of the paint that draws it, from its own copy of the entry. Whoever
// comes first decodes it: its thread, or a paint that needs it before that thread has started
// (a thread may start late on a busy machine). The thread holds the lock while it decodes, so a
// paint that comes meanwhile waits for it.
struct CSkinContext::AheadPicture {
  enum State { kWaiting, kTaken, kDone };
  std::mutex mutex;
  State state = kWaiting;
  std::vector<std::uint8_t> bytes;
  bool useMask;
  Colour mask;
  SkinSize drawnAt;
  std::shared_ptr<SkinBitmap> bitmap;
};

namespace {

std::shared_ptr<SkinBitmap> Decoded(const std::uint8_t* data, std::size_t size, bool useMask, Colour mask,
                                    SkinSize drawnAt) {
  auto bitmap = std::make_shared<SkinBitmap>();
  if (!DecodePicture(data, size, bitmap.get(), useMask, mask, drawnAt)) bitmap.reset();
  return bitmap;
}

}  // namespace

std::vector<std::pair<std::wstring, std::shared_ptr<CSkinContext::AheadPicture>>>::iterator CSkinContext::AheadOf(
    const std::wstring& key) {
  return std::find_if(m_ahead.begin(), m_ahead.end(), [&key](const auto& entry) { return entry.first == key; });
}

void CSkinContext::DecodeAhead(const std::wstring& name, bool useMask, Colour mask, SkinSize drawnAt) {
  const std::wstring key = PictureKey(name, useMask, mask, drawnAt);
  {
    std::lock_guard<std::mutex> lock(m_picturesMutex);
    if (m_pictures.count(key) || AheadOf(key) != m_ahead.end()) return;
  }
  auto ahead = std::make_shared<AheadPicture>();
  if (!ReadEntry(name, &ahead->bytes)) return;
  ahead->useMask = useMask;
  ahead->mask = mask;
  ahead->drawnAt = drawnAt;
  auto decode = [](const std::shared_ptr<AheadPicture>& picture) {
    std::lock_guard<std::mutex> lock(picture->mutex);
    if (picture->state != AheadPicture::kWaiting) return;  // a paint came first
    picture->bitmap =
        Decoded(picture->bytes.data(), picture->bytes.size(), picture->useMask, picture->mask, picture->drawnAt);
    picture->state = AheadPicture::kDone;
  };
  if (!zr::StartDetachedThread<AheadPicture>(decode, ahead)) return;  // the paint decodes it
  std::lock_guard<std::mutex> lock(m_picturesMutex);
  m_ahead.emplace_back(key, std::move(ahead));
}

std::shared_ptr<const SkinBitmap> CSkinContext::GetPicture(const std::wstring& name, bool useMask, Colour mask,
                                                           SkinSize drawnAt) {
  const std::wstring key = PictureKey(name, useMask, mask, drawnAt);
  std::shared_ptr<AheadPicture> ahead;
  {
    std::lock_guard<std::mutex> lock(m_picturesMutex);
    auto it = m_pictures.find(key);
    if (it != m_pictures.end()) return it->second;
    auto started = AheadOf(key);
    if (started != m_ahead.end()) {
      ahead = std::move(started->second);
      m_ahead.erase(started);
    }
  }
  // Decoded outside the lock, so that the other thread's paint does not wait for it; should
  // both threads decode the same picture at once, the first one stored wins. A stored entry
  // is decoded in place; an inflated one's buffer goes once it is decoded.
  std::shared_ptr<SkinBitmap> bitmap;
  bool made = false;
  if (ahead) {
    std::unique_lock<std::mutex> lock(ahead->mutex);
    if (ahead->state == AheadPicture::kWaiting) {
      ahead->state = AheadPicture::kTaken;
      lock.unlock();
      bitmap = Decoded(ahead->bytes.data(), ahead->bytes.size(), useMask, mask, drawnAt);
    } else {
      bitmap = ahead->bitmap;  // decoded: its thread held the lock until it was
    }
    made = true;
  } else {
    std::vector<std::uint8_t> inflated;
    ByteView view;
    made = !name.empty() && m_package.Read(zr::WideToUtf8(name), &inflated, &view);
    if (made) bitmap = Decoded(view.data, view.size, useMask, mask, drawnAt);
  }
  std::lock_guard<std::mutex> lock(m_picturesMutex);
  if (made) ++m_decoded;
  if (ahead) ++m_decodedAhead;
  return m_pictures.emplace(key, std::move(bitmap)).first->second;
}

unsigned CSkinContext::PicturesDecodedAhead() const {
  std::lock_guard<std::mutex> lock(m_picturesMutex);
  return m_decodedAhead;
}

unsigned CSkinContext::PicturesDecoded() const {
  std::lock_guard<std::mutex> lock(m_picturesMutex);
  return m_decoded;
}

namespace {

// Whether a PNG carries a transparency chunk (which gives pixels alpha without an alpha
// channel). A false "yes" only costs the four-channel decoding.
bool HasTransparencyChunk(const std::uint8_t* data, std::size_t size) {
  static const char kType[] = "tRNS";
  return std::search(data, data + size, kType, kType + 4) != data + size;
}

// Whether every chunk of a PNG lies within its bytes (anything else passes). stb_image takes
// a chunk's length on trust and sizes its buffer for the image data by it before reading the
// data: a few bytes that claim a chunk of 2 GB would have it allocate 2 GB.
bool ChunksFit(const std::uint8_t* data, std::size_t size) {
  static const std::uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  if (size < 8 || !std::equal(kSignature, kSignature + 8, data)) return true;
  // Down to a chunk's length and type, which stb_image reads even without the rest after
  // them (a chunk claiming 1.2 GB in the last 11 bytes had it allocate 2 GB).
  for (std::size_t pos = 8; size - pos >= 8;) {
    const std::uint8_t* p = data + pos;
    const std::uint32_t length = (static_cast<std::uint32_t>(p[0]) << 24) | (p[1] << 16) | (p[2] << 8) | p[3];
    if (std::equal(p + 4, p + 8, "IEND")) break;
    // The length, type and CRC take 12 bytes.
    if (size - pos < 12 || length > size - pos - 12) return false;
    pos += 12 + static_cast<std::size_t>(length);
  }
  return true;
}

}  // namespace

namespace {

// The premultiplied rows of a PNG decoded whole to 3 or 4 channels, masked.
struct DecodedRows : IPictureRows {
  DecodedRows(const stbi_uc* r, int w, int c, bool m, Colour colour)
      : raw(r), width(w), channels(c), useMask(m), mask(colour) {}
  const stbi_uc* raw;
  int width;
  int channels;
  bool useMask;
  Colour mask;
  const std::uint32_t* Row(int y, std::uint32_t* row) override {
    PremultipliedRow(raw + static_cast<std::size_t>(y) * width * channels, width, channels, useMask, mask, row);
    return row;
  }
};

// The picture of w x h pixels from its rows, filtered to `drawnAt` when that is smaller on one
// side and not larger on the other, whole otherwise.
void FromRows(IPictureRows& rows, int w, int h, SkinSize drawnAt, SkinBitmap* out) {
  const bool shrunk =
      drawnAt.cx > 0 && drawnAt.cy > 0 && drawnAt.cx <= w && drawnAt.cy <= h && (drawnAt.cx < w || drawnAt.cy < h);
  if (shrunk) {
    *out = ScaleRows(rows, w, SkinRect{0, 0, w, h}, drawnAt.cx, drawnAt.cy);
    return;
  }
  out->width = w;
  out->height = h;
  out->pixels.resize(static_cast<size_t>(w) * h);
  for (int y = 0; y < h; ++y) {
    std::uint32_t* line = out->pixels.data() + static_cast<size_t>(y) * w;
    const std::uint32_t* row = rows.Row(y, line);
    if (row != line) std::copy(row, row + w, line);
  }
  out->hasAlpha = std::any_of(out->pixels.begin(), out->pixels.end(), [](std::uint32_t p) { return p >> 24 != 255; });
}

}  // namespace

bool DecodePicture(const std::uint8_t* data, std::size_t size, SkinBitmap* out, bool useMask, Colour mask,
                   SkinSize drawnAt) {
  *out = SkinBitmap{};
  if (!data || size == 0 || size > 0x7FFFFFFF || !ChunksFit(data, size)) return false;
  {
    CPngStream png(data, size, useMask, mask);
    if (png.Width() > 0) {
      FromRows(png, png.Width(), png.Height(), drawnAt, out);
      if (png.Finish()) return true;
      *out = SkinBitmap{};
    }
  }
  int w = 0, h = 0, channels = 0;
  // A picture without alpha is decoded to three channels: less to hold next to the bitmap
  // while it is converted.
  int want = 4;
  if (stbi_info_from_memory(data, static_cast<int>(size), &w, &h, &channels) && (channels == 1 || channels == 3) &&
      !HasTransparencyChunk(data, size)) {
    want = 3;
  }
  stbi_uc* raw = stbi_load_from_memory(data, static_cast<int>(size), &w, &h, &channels, want);
  if (!raw) return false;
  if (w > 0 && h > 0) {
    DecodedRows rows(raw, w, want, useMask, mask);
    FromRows(rows, w, h, drawnAt, out);
  }
  stbi_image_free(raw);
  return w > 0 && h > 0;
}

}  // namespace Skin
