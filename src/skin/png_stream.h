// The rows of a PNG of 8-bit RGB or RGBA that is not interlaced (how the package's pictures
// are saved), inflated and unfiltered one at a time as they are asked for, top to bottom: the
// picture is never held whole, only the row asked for and the one above it. The large
// illustrations are drawn smaller than their pixels, so the decoder's whole copy of one (2 to
// 2.7 MB, and as much again inflated) was the largest thing a window's start made.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "skin/pixel_canvas.h"

namespace Skin {

// Row `width` pixels of `channels` (3 or 4) bytes each, premultiplied; with `useMask`, the
// pixels of colour `mask` are transparent.
void PremultipliedRow(const std::uint8_t* p, int width, int channels, bool useMask, Colour mask, std::uint32_t* row);

class CPngStream : public IPictureRows {
 public:
  // Reads the chunks: Width() stays 0 when the PNG is not one this reads. Other kinds, and
  // anything this refuses, are for the whole-picture decoder, which is the judge of what is
  // a picture: this takes only what it would take too.
  CPngStream(const std::uint8_t* data, std::size_t size, bool useMask, Colour mask);
  ~CPngStream();
  CPngStream(const CPngStream&) = delete;
  CPngStream& operator=(const CPngStream&) = delete;

  int Width() const { return m_width; }
  int Height() const { return m_height; }
  // Row y, where y is never above a row asked for before.
  const std::uint32_t* Row(int y, std::uint32_t* buffer) override;
  // Whether every row came out whole and the image data after them is whole to its end.
  bool Finish();

 private:
  bool NextRow();
  bool Inflate(std::uint8_t* out, std::size_t size);

  const std::uint8_t* m_data;
  std::size_t m_size;
  std::size_t m_next = 0;  // the chunk after the image data being inflated
  bool m_useMask;
  Colour m_mask;
  int m_width = 0;
  int m_height = 0;
  int m_channels = 0;
  int m_row = -1;
  bool m_failed = false;
  struct Inflater;
  std::unique_ptr<Inflater> m_inflater;
  std::vector<std::uint8_t> m_line, m_above;  // the filter byte, then the row's bytes
  std::vector<std::uint32_t> m_pixels;
};

}  // namespace Skin
