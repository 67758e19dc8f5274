#include "skin/png_stream.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <cstdlib>

namespace Skin {

namespace {

std::uint32_t Be32(const std::uint8_t* p) {
  return (static_cast<std::uint32_t>(p[0]) << 24) | (p[1] << 16) | (p[2] << 8) | p[3];
}

bool Is(const std::uint8_t* chunk, const char* type) { return std::memcmp(chunk + 4, type, 4) == 0; }

// The sides the whole-picture decoder accepts.
constexpr std::uint32_t kMaxSide = 8192;

}  // namespace

void PremultipliedRow(const std::uint8_t* p, int width, int channels, bool useMask, Colour mask, std::uint32_t* row) {
  if (channels == 3 && !useMask) {
    for (int x = 0; x < width; ++x, p += 3) row[x] = 0xFF000000u | (p[0] << 16) | (p[1] << 8) | p[2];
    return;
  }
  for (int x = 0; x < width; ++x, p += channels) {
    std::uint32_t r = p[0], g = p[1], b = p[2], a = channels == 4 ? p[3] : 255;
    if (useMask && ((r << 16) | (g << 8) | b) == (mask & 0xFFFFFF)) a = 0;
    row[x] = a == 255 ? 0xFF000000u | (r << 16) | (g << 8) | b
                      : (a << 24) | ((r * a / 255) << 16) | ((g * a / 255) << 8) | (b * a / 255);
  }
}

struct CPngStream::Inflater {
  z_stream z{};
  bool ended = false;
};

CPngStream::CPngStream(const std::uint8_t* data, std::size_t size, bool useMask, Colour mask)
    : m_data(data), m_size(size), m_useMask(useMask), m_mask(mask) {
  static const std::uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  if (size < 8 + 25 || !std::equal(kSignature, kSignature + 8, data)) return;
  const std::uint8_t* header = data + 8;
  if (Be32(header) != 13 || !Is(header, "IHDR")) return;
  const std::uint32_t w = Be32(header + 8), h = Be32(header + 12);
  const std::uint8_t* f = header + 16;  // depth, colour type, compression, filter, interlace
  if (w == 0 || h == 0 || w > kMaxSide || h > kMaxSide || f[0] != 8 || (f[1] != 2 && f[1] != 6) || f[2] || f[3] ||
      f[4]) {
    return;
  }
  // The chunks up to IEND, each within the bytes: one run of image data, and besides it only
  // ancillary chunks this may pass over (a palette or a transparent colour is left to the
  // whole-picture decoder, as is any critical chunk).
  std::size_t first = 0;
  bool inData = false, dataEnded = false;
  for (std::size_t pos = 8 + 25;;) {
    if (m_size - pos < 12) return;
    const std::uint8_t* chunk = data + pos;
    const std::uint32_t length = Be32(chunk);
    if (length > size - pos - 12) return;
    if (Is(chunk, "IEND")) break;
    if (Is(chunk, "IDAT")) {
      if (dataEnded) return;
      if (!inData) first = pos;
      inData = true;
    } else {
      dataEnded |= inData;
      if (!(chunk[4] & 0x20) || Is(chunk, "tRNS")) return;
    }
    pos += 12 + static_cast<std::size_t>(length);
  }
  if (!inData) return;
  m_inflater.reset(new Inflater);
  if (inflateInit(&m_inflater->z) != Z_OK) {
    m_inflater.reset();
    return;
  }
  m_next = first;
  m_width = static_cast<int>(w);
  m_height = static_cast<int>(h);
  m_channels = f[1] == 6 ? 4 : 3;
  m_line.assign(1 + w * m_channels, 0);
  m_above.assign(m_line.size(), 0);
  m_pixels.resize(w);
}

CPngStream::~CPngStream() {
  if (m_inflater) inflateEnd(&m_inflater->z);
}

bool CPngStream::Inflate(std::uint8_t* out, std::size_t size) {
  z_stream& z = m_inflater->z;
  z.next_out = out;
  z.avail_out = static_cast<uInt>(size);
  while (z.avail_out > 0 && !m_inflater->ended) {
    if (z.avail_in == 0) {
      // The next chunk of image data (the chunks were checked to lie within the bytes).
      const std::uint8_t* chunk = m_data + m_next;
      if (m_size - m_next < 12 || !Is(chunk, "IDAT")) return false;
      z.next_in = const_cast<Bytef*>(chunk + 8);
      z.avail_in = Be32(chunk);
      m_next += 12 + static_cast<std::size_t>(z.avail_in);
      continue;
    }
    const int result = inflate(&z, Z_NO_FLUSH);
    m_inflater->ended = result == Z_STREAM_END;
    if (result != Z_OK && result != Z_STREAM_END) return false;
  }
  return z.avail_out == 0;
}

bool CPngStream::NextRow() {
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
      for (int i = 0; i < n; ++i) p[i] += ((i >= bpp ? p[i - bpp] : 0) + up[i]) / 2;
      break;
    case 4:
      for (int i = 0; i < n; ++i) {
        const int a = i >= bpp ? p[i - bpp] : 0, b = up[i], c = i >= bpp ? up[i - bpp] : 0;
        const int pa = std::abs(b - c), pb = std::abs(a - c), pc = std::abs(a + b - 2 * c);
        p[i] += pa <= pb && pa <= pc ? a : pb <= pc ? b : c;
      }
      break;
    default: return false;
  }
  PremultipliedRow(p, m_width, m_channels, m_useMask, m_mask, m_pixels.data());
  ++m_row;
  return true;
}

const std::uint32_t* CPngStream::Row(int y, std::uint32_t* buffer) {
  while (!m_failed && m_row < y) m_failed = !NextRow();
  if (m_failed || m_row != y) {
    m_failed = true;
    std::fill(buffer, buffer + m_width, 0u);
    return buffer;
  }
  return m_pixels.data();
}

bool CPngStream::Finish() {
  if (m_failed || m_row != m_height - 1) return false;
  // Image data past the last row is passed over, but the stream must be whole to its end.
  std::uint8_t rest[256];
  while (!m_inflater->ended) {
    if (!Inflate(rest, sizeof rest) && !m_inflater->ended) return false;
  }
  return true;
}

}  // namespace Skin
