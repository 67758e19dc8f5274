// Test helpers for the skin engine: a surface that records draw calls and measures text
// with fixed metrics, a host that records what the paint manager asks of its window, an
// in-memory zip writer, and packages (the checkout's skin, or a test's own) opened in a skin
// context of the test's own, as the program opens its own. Header only: the test programs that include it link the engine.
#pragma once

#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "skin/font_table.h"
#include "skin/markup_builder.h"
#include "skin/paint_manager.h"
#include "skin/pixel_canvas.h"
#include "skin/skin_context.h"
#include "skin/surface.h"

namespace zr::test {

// Every character is 7 x 16 pixels wide/high, whatever the font: sizes and ellipsis
// decisions are then exact.
constexpr int kCharWidth = 7;
constexpr int kLineHeight = 16;

struct DrawCall {
  enum Kind { kFill, kRound, kBorder, kBitmap, kText } kind;
  Skin::SkinRect rect;     // destination
  Skin::SkinRect source;   // bitmaps
  Skin::Colour colour = 0;
  Skin::SkinSize round;
  int size = 0;            // border size
  const Skin::SkinBitmap* bitmap = nullptr;
  std::wstring text;
  int font = 0;
  unsigned style = 0;
  Skin::SkinRect clip;
};

class RecordingSurface : public Skin::ISurface {
 public:
  std::vector<DrawCall> calls;
  Skin::SkinRect clip{0, 0, 10000, 10000};

  void SetClip(const Skin::SkinRect& c) override { clip = c; }
  Skin::SkinRect GetClip() const override { return clip; }
  void FillRect(const Skin::SkinRect& r, Skin::Colour c) override {
    calls.push_back(Make(DrawCall::kFill, r, c));
  }
  void FillRoundRect(const Skin::SkinRect& r, Skin::SkinSize round, Skin::Colour c) override {
    auto call = Make(DrawCall::kRound, r, c);
    call.round = round;
    calls.push_back(call);
  }
  void DrawBorder(const Skin::SkinRect& r, int size, Skin::SkinSize round, Skin::Colour c) override {
    auto call = Make(DrawCall::kBorder, r, c);
    call.size = size;
    call.round = round;
    calls.push_back(call);
  }
  void DrawBitmap(const Skin::SkinBitmap& b, const Skin::SkinRect& dest, const Skin::SkinRect& src,
                  int) override {
    auto call = Make(DrawCall::kBitmap, dest, 0);
    call.source = src;
    call.bitmap = &b;
    calls.push_back(call);
  }
  void DrawText(const Skin::SkinRect& r, const std::wstring& text, int font, Skin::Colour c,
                unsigned style) override {
    auto call = Make(DrawCall::kText, r, c);
    call.text = text;
    call.font = font;
    call.style = style;
    calls.push_back(call);
  }
  Skin::SkinSize MeasureText(const std::wstring& text, int, unsigned) override {
    return Skin::SkinSize{static_cast<int>(text.size()) * kCharWidth, kLineHeight};
  }

  std::vector<DrawCall> Of(DrawCall::Kind kind) const {
    std::vector<DrawCall> out;
    for (const auto& c : calls) {
      if (c.kind == kind) out.push_back(c);
    }
    return out;
  }

 private:
  DrawCall Make(DrawCall::Kind kind, const Skin::SkinRect& r, Skin::Colour c) const {
    DrawCall call{kind, r, {}, c, {}, 0, nullptr, {}, 0, 0, clip};
    return call;
  }
};

class FakeHost : public Skin::IPaintHost {
 public:
  std::vector<Skin::SkinRect> invalidated;
  std::vector<std::pair<unsigned, unsigned>> started;  // native id, period
  std::vector<unsigned> stopped;
  int captures = 0;
  bool timersWork = true;

  void InvalidateRect(const Skin::SkinRect& r) override { invalidated.push_back(r); }
  bool StartTimer(unsigned id, unsigned period) override {
    if (!timersWork) return false;
    started.emplace_back(id, period);
    return true;
  }
  void StopTimer(unsigned id) override { stopped.push_back(id); }
  void CaptureMouse(bool capture) override { captures += capture ? 1 : -1; }
};

// Writes a zip archive: each entry stored (method 0) or deflated (method 8).
class ZipWriter {
 public:
  void Add(const std::string& name, const std::string& data, bool compress) {
    std::string body = data;
    if (compress) {
      z_stream z;
      std::memset(&z, 0, sizeof z);
      deflateInit2(&z, 9, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
      std::vector<unsigned char> out(deflateBound(&z, data.size()) + 16);
      z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
      z.avail_in = static_cast<uInt>(data.size());
      z.next_out = out.data();
      z.avail_out = static_cast<uInt>(out.size());
      ::deflate(&z, Z_FINISH);
      body.assign(reinterpret_cast<char*>(out.data()), z.total_out);
      deflateEnd(&z);
    }
    Entry e;
    e.name = name;
    e.method = compress ? 8 : 0;
    e.crc = crc32(0, reinterpret_cast<const Bytef*>(data.data()), static_cast<uInt>(data.size()));
    e.size = static_cast<std::uint32_t>(data.size());
    e.compressed = static_cast<std::uint32_t>(body.size());
    e.offset = static_cast<std::uint32_t>(m_out.size());
    Put32(0x04034b50); Put16(20); Put16(0); Put16(e.method); Put16(0); Put16(0);
    Put32(e.crc); Put32(e.compressed); Put32(e.size);
    Put16(static_cast<std::uint16_t>(name.size())); Put16(0);
    m_out += name;
    e.dataOffset = m_out.size();
    m_out += body;
    m_entries.push_back(e);
  }

  std::string Finish() {
    std::uint32_t dir = static_cast<std::uint32_t>(m_out.size());
    for (const auto& e : m_entries) {
      Put32(0x02014b50); Put16(20); Put16(20); Put16(0); Put16(e.method); Put16(0); Put16(0);
      Put32(e.crc); Put32(e.compressed); Put32(e.size);
      Put16(static_cast<std::uint16_t>(e.name.size())); Put16(0); Put16(0); Put16(0); Put16(0);
      Put32(0); Put32(e.offset);
      m_out += e.name;
    }
    std::uint32_t dirSize = static_cast<std::uint32_t>(m_out.size()) - dir;
    Put32(0x06054b50); Put16(0); Put16(0);
    Put16(static_cast<std::uint16_t>(m_entries.size()));
    Put16(static_cast<std::uint16_t>(m_entries.size()));
    Put32(dirSize); Put32(dir); Put16(0);
    return m_out;
  }

  // Where the named entry's data starts in the archive (to damage it in tests).
  size_t DataOffset(const std::string& name) const {
    for (const auto& e : m_entries) {
      if (e.name == name) return e.dataOffset;
    }
    return 0;
  }

 private:
  struct Entry {
    std::string name;
    std::uint16_t method;
    std::uint32_t crc, size, compressed, offset;
    size_t dataOffset;
  };
  void Put16(std::uint16_t v) { m_out += static_cast<char>(v & 0xFF); m_out += static_cast<char>(v >> 8); }
  void Put32(std::uint32_t v) { Put16(static_cast<std::uint16_t>(v)); Put16(static_cast<std::uint16_t>(v >> 16)); }
  std::string m_out;
  std::vector<Entry> m_entries;
};

// The checkout's skin folder (ZR_SOURCE_DIR is set by ctest).
inline std::string SkinDir() {
  const char* src = std::getenv("ZR_SOURCE_DIR");
  return std::string(src ? src : ".") + "/src/resources/skin/";
}

// The bytes of a file of the checkout's skin folder; empty when it is missing.
inline std::string SkinSourceFile(const std::string& name) {
  std::ifstream in(SkinDir() + name, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A package like the shipped one: documents deflated, pictures stored. Entries that are not
// in the checkout are left out. The returned bytes must outlive their use.
inline std::string BuildSkinPackage() {
  ZipWriter zip;
  const char* docs[] = {"wnd_main.xml", "font.xml", "messagebox.xml", "messageboxwithlink.xml",
                        "Window_shadow.png"};
  const char* pictures[] = {"install_img_02@2x.png", "install_img_03@2x.png",
                            "Head_btnsys_20x20.png", "messagebox_icon_22x22.png",
                            "progress_fore.png", "icon_title_20x20.png"};
  for (const char* d : docs) {
    std::string bytes = SkinSourceFile(d);
    if (!bytes.empty()) zip.Add(d, bytes, true);
  }
  for (const char* p : pictures) {
    std::string bytes = SkinSourceFile(p);
    if (!bytes.empty()) zip.Add(p, bytes, false);
  }
  return zip.Finish();
}

// The checkout's package, built once per test program.
inline const std::string& CheckoutSkinPackage() {
  static const std::string package = BuildSkinPackage();
  return package;
}

// Tests over the checkout's package, each in a skin context of its own (pictures, shared
// fonts and modal counts made afresh).
class SkinPackageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::string& package = CheckoutSkinPackage();
    ASSERT_TRUE(m_skin.OpenPackage(package.data(), package.size()));
  }
  Skin::CSkinContext m_skin;
};

// Tests over the main window's document ("wnd_main.xml" of the checkout's package), built
// into a paint manager served by a fake host.
class MainDocumentTest : public SkinPackageTest {
 protected:
  void SetUp() override {
    SkinPackageTest::SetUp();
    if (HasFatalFailure()) return;
    m_pm.Init(&m_host);
    Skin::CControlUI* root = Skin::CMarkupBuilder::Create(L"wnd_main.xml", m_pm);
    ASSERT_NE(root, nullptr);
    m_pm.AttachDialog(root);
  }

  FakeHost m_host;
  Skin::CPaintManager m_pm{m_skin};
};

// A document of a test's own over a package of its own, built into a paint manager served by
// a fake host; `root` is nullptr when the document could not be built.
struct OwnWindow {
  OwnWindow(std::string bytes, const char* document) : package(std::move(bytes)) {
    EXPECT_TRUE(skin.OpenPackage(package.data(), package.size()));
    pm.Init(&host);
    root = Skin::CMarkupBuilder::CreateFromText(document, pm);
    if (root) pm.AttachDialog(root);
  }
  std::string package;
  Skin::CSkinContext skin;
  Skin::CPaintManager pm{skin};
  FakeHost host;
  Skin::CControlUI* root = nullptr;
};

// A 2 x 2 PNG (red, green / blue, half-transparent white), made with zlib; its image data holds
// `dataRows` rows (h when negative), each after the filter byte `filter`.
inline std::string TinyPng(int w = 2, int h = 2, std::uint32_t fill = 0, int dataRows = -1, char filter = 0) {
  auto be32 = [](std::string& s, std::uint32_t v) {
    for (int i = 3; i >= 0; --i) s += static_cast<char>((v >> (i * 8)) & 0xFF);
  };
  auto chunk = [&](std::string& out, const char* type, const std::string& data) {
    be32(out, static_cast<std::uint32_t>(data.size()));
    std::string body = std::string(type, 4) + data;
    out += body;
    be32(out, crc32(0, reinterpret_cast<const Bytef*>(body.data()), static_cast<uInt>(body.size())));
  };
  std::string raw;
  const std::uint32_t corners[4] = {0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0x80FFFFFF};
  for (int y = 0; y < (dataRows < 0 ? h : dataRows); ++y) {
    raw += filter;
    for (int x = 0; x < w; ++x) {
      std::uint32_t argb = fill ? fill : corners[(y * 2 + x) % 4];
      raw += static_cast<char>((argb >> 16) & 0xFF);
      raw += static_cast<char>((argb >> 8) & 0xFF);
      raw += static_cast<char>(argb & 0xFF);
      raw += static_cast<char>(argb >> 24);
    }
  }
  uLongf len = compressBound(raw.size());
  std::string z(len, '\0');
  ::compress(reinterpret_cast<Bytef*>(&z[0]), &len, reinterpret_cast<const Bytef*>(raw.data()), raw.size());
  z.resize(len);
  std::string png("\x89PNG\r\n\x1a\n", 8);
  std::string ihdr;
  be32(ihdr, static_cast<std::uint32_t>(w));
  be32(ihdr, static_cast<std::uint32_t>(h));
  ihdr += std::string("\x08\x06\x00\x00\x00", 5);
  chunk(png, "IHDR", ihdr);
  chunk(png, "IDAT", z);
  chunk(png, "IEND", "");
  return png;
}

// `source` of a picture filtered to width x height one pixel at a time from its taps along
// both axes, rounded once: the filter the canvas's row-wise scaling must match.
inline Skin::SkinBitmap ReferenceScale(const Skin::SkinBitmap& picture, const Skin::SkinRect& source, int width,
                                       int height) {
  Skin::SkinBitmap out;
  out.width = width;
  out.height = height;
  const auto xt = Skin::ScaleTaps(width, source.left, source.Width());
  const auto yt = Skin::ScaleTaps(height, source.top, source.Height());
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      std::uint64_t acc[4] = {0, 0, 0, 0};
      for (const auto& a : yt[y]) {
        for (const auto& b : xt[x]) {
          const std::uint64_t w = static_cast<std::uint64_t>(a.weight) * b.weight;
          const std::uint32_t px = picture.pixels[static_cast<size_t>(a.index) * picture.width + b.index];
          for (int c = 0; c < 4; ++c) acc[c] += w * ((px >> (24 - 8 * c)) & 0xFF);
        }
      }
      std::uint32_t px = 0;
      for (int c = 0; c < 4; ++c) px = (px << 8) | std::min<std::uint32_t>((acc[c] + (1ull << 31)) >> 32, 255);
      out.pixels.push_back(px);
    }
  }
  return out;
}

}  // namespace zr::test
