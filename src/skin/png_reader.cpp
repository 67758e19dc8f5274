// DecodePicture (skin_context.h): the skin's PNG reader. The rows are inflated and unfiltered
// one at a time as the picture is filtered to the size it is drawn at.
#include <zlib.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "skin/pixel_canvas.h"
#include "skin/skin_context.h"

namespace Skin {

namespace {

std::uint32_t Be32(const std::uint8_t* p) {
  return (static_cast<std::uint32_t>(p[0]) << 24) | (p[1] << 16) | (p[2] << 8) | p[3];
}

bool Is(const std::uint8_t* chunk, const char* type) { return std::memcmp(chunk + 4, type, 4) == 0; }

// The skin's largest picture is 1160 pixels wide: refuse absurd sizes before allocating.
constexpr std::uint32_t kMaxSide = 8192;

// The rows of a PNG, premultiplied, read top to bottom as they are asked for: only the row
// asked for and the one above it are held. A row that cannot be had comes out transparent and
// fails Finish.
class CPngRows : public IPictureRows {
 public:
  // Reads the chunks, which must lie within `data`: Width() stays 0 when it is no PNG this reads.
  CPngRows(const std::uint8_t* data, std::size_t size, bool useMask, Colour mask)
      : m_data(data), m_size(size), m_useMask(useMask), m_mask(mask) {
    static const std::uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    if (!data || size < 8 + 25 || !std::equal(kSignature, kSignature + 8, data)) return;
    const std::uint8_t* header = data + 8;
    if (Be32(header) != 13 || !Is(header, "IHDR")) return;
    const std::uint32_t w = Be32(header + 8), h = Be32(header + 12);
    const std::uint8_t* f = header + 16;  // depth, colour type, compression, filter, interlace
    if (w == 0 || h == 0 || w > kMaxSide || h > kMaxSide || f[0] != 8 || (f[1] != 2 && f[1] != 6) || f[2] || f[3] ||
        f[4]) {
      return;
    }
    // The chunks up to IEND, each within the bytes: one run of image data, and besides it only
    // ancillary chunks, passed over (no palette, no transparent colour).
    bool inData = false, dataEnded = false;
    for (std::size_t pos = 8 + 25;;) {
      if (size - pos < 12) return;
      const std::uint8_t* chunk = data + pos;
      const std::uint32_t length = Be32(chunk);
      if (length > size - pos - 12) return;
      if (Is(chunk, "IEND")) break;
      if (Is(chunk, "IDAT")) {
        if (dataEnded) return;
        if (!inData) m_next = pos;
        inData = true;
      } else {
        dataEnded |= inData;
        if (!(chunk[4] & 0x20) || Is(chunk, "tRNS")) return;
      }
      pos += 12 + static_cast<std::size_t>(length);
    }
    if (!inData || inflateInit(&m_z) != Z_OK) return;
    // The package checks each entry against its CRC before it is read: the image data's own
    // checksum would only repeat that check, at a tenth of the decoding's time.
    inflateValidate(&m_z, 0);
    m_width = static_cast<int>(w);
    m_height = static_cast<int>(h);
    m_channels = f[1] == 6 ? 4 : 3;
    m_line.assign(1 + w * m_channels, 0);
    m_above.assign(m_line.size(), 0);
    m_pixels.resize(w);
  }
  ~CPngRows() {
    if (m_width) inflateEnd(&m_z);
  }
  CPngRows(const CPngRows&) = delete;
  CPngRows& operator=(const CPngRows&) = delete;

  int Width() const { return m_width; }
  int Height() const { return m_height; }

  // Row y, where y is never above a row asked for before.
  const std::uint32_t* Row(int y) override {
    while (!m_failed && m_row < y) m_failed = !NextRow();
    if (m_failed || m_row != y) {
      m_failed = true;
      std::fill(m_pixels.begin(), m_pixels.end(), 0u);
    }
    return m_pixels.data();
  }

  // Whether every row came out whole and the image data after them is whole to its end.
  bool Finish() {
    if (m_failed || m_row != m_height - 1) return false;
    std::uint8_t rest[256];
    while (!m_ended) {
      if (!Inflate(rest, sizeof rest) && !m_ended) return false;
    }
    return true;
  }

 private:
  // The next `size` bytes of image data, inflated across its chunks.
  bool Inflate(std::uint8_t* out, std::size_t size) {
    m_z.next_out = out;
    m_z.avail_out = static_cast<uInt>(size);
    while (m_z.avail_out > 0 && !m_ended) {
      if (m_z.avail_in == 0) {
        const std::uint8_t* chunk = m_data + m_next;
        if (m_size - m_next < 12 || !Is(chunk, "IDAT")) return false;
        m_z.next_in = const_cast<Bytef*>(chunk + 8);
        m_z.avail_in = Be32(chunk);
        m_next += 12 + static_cast<std::size_t>(m_z.avail_in);
        continue;
      }
      const int result = inflate(&m_z, Z_NO_FLUSH);
      m_ended = result == Z_STREAM_END;
      if (result != Z_OK && !m_ended) return false;
    }
    return m_z.avail_out == 0;
  }

  bool NextRow() {
    std::swap(m_line, m_above);
    if (!Inflate(m_line.data(), m_line.size())) return false;
    std::uint8_t* p = m_line.data() + 1;
    const std::uint8_t* up = m_above.data() + 1;
    const int bpp = m_channels, n = static_cast<int>(m_line.size()) - 1;
    switch (m_line[0]) {
      case 0: break;
      case 1:
        for (int i = bpp; i < n; ++i) p[i] += p[i - bpp];
        break;
      case 2:
        for (int i = 0; i < n; ++i) p[i] += up[i];
        break;
      case 3:
        for (int i = 0; i < bpp; ++i) p[i] += up[i] / 2;
        for (int i = bpp; i < n; ++i) p[i] += (p[i - bpp] + up[i]) / 2;
        break;
      case 4:
        for (int i = 0; i < bpp; ++i) p[i] += up[i];  // no pixel to the left: the one above
        for (int i = bpp; i < n; ++i) {
          const int a = p[i - bpp], b = up[i], c = up[i - bpp];
          const int pa = std::abs(b - c), pb = std::abs(a - c), pc = std::abs(a + b - 2 * c);
          p[i] += pa <= pb && pa <= pc ? a : pb <= pc ? b : c;
        }
        break;
      default: return false;
    }
    std::uint32_t* row = m_pixels.data();
    const std::uint32_t masked = m_useMask ? m_mask & 0xFFFFFF : ~0u;  // ~0 is no colour
    for (int x = 0; x < m_width; ++x, p += bpp) {
      std::uint32_t r = p[0], g = p[1], b = p[2], a = bpp == 4 ? p[3] : 255;
      if (((r << 16) | (g << 8) | b) == masked) a = 0;
      const Colour colour = (a << 24) | (r << 16) | (g << 8) | b;
      row[x] = a == 255 ? colour : Premultiply(colour);
    }
    ++m_row;
    return true;
  }

  const std::uint8_t* m_data;
  std::size_t m_size;
  std::size_t m_next = 0;  // the next chunk of image data
  bool m_useMask;
  Colour m_mask;
  int m_width = 0;
  int m_height = 0;
  int m_channels = 0;
  int m_row = -1;
  bool m_failed = false;
  z_stream m_z{};
  bool m_ended = false;
  std::vector<std::uint8_t> m_line, m_above;  // the filter byte, then the row's bytes
  std::vector<std::uint32_t> m_pixels;
};

}  // namespace

bool DecodePicture(const std::uint8_t* data, std::size_t size, SkinBitmap* out, bool useMask, Colour mask,
                   SkinSize drawnAt) {
  *out = SkinBitmap{};
  CPngRows png(data, size, useMask, mask);
  const int w = png.Width(), h = png.Height();
  if (w == 0) return false;
  const bool shrunk =
      drawnAt.cx > 0 && drawnAt.cy > 0 && drawnAt.cx <= w && drawnAt.cy <= h && (drawnAt.cx < w || drawnAt.cy < h);
  if (shrunk) {
    *out = ScaleRows(png, SkinRect{0, 0, w, h}, drawnAt.cx, drawnAt.cy);
  } else {
    out->width = w;
    out->height = h;
    out->pixels.resize(static_cast<size_t>(w) * h);
    for (int y = 0; y < h; ++y) {
      const std::uint32_t* row = png.Row(y);
      std::copy(row, row + w, out->pixels.data() + static_cast<size_t>(y) * w);
    }
  }
  if (png.Finish()) return true;
  *out = SkinBitmap{};
  return false;
}

}  // namespace Skin
