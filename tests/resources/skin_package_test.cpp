// The skin package as the windows find it: the packed zip (entries, methods, bytes) read by
// the engine's own zip reader, the pictures (sizes and the roles the documents give them) and
// the four documents (encoding, the controls the windows look up, button order, fonts,
// picture references).
//
// The zip comes from the build tree when the build made one ($ZR_BUILD_DIR/src/resources/
// skin.zip, the Windows builds); otherwise the test renders the larger pictures
// (src/resources/skin/render.sh) and runs tools/skin_packer/pack_skin.py itself, as the build
// does, into a temporary folder of its own.
#include <gtest/gtest.h>
#include <pugixml.hpp>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <optional>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>


#include "skin/skin_context.h"
#include "skin/zip_archive.h"
#include "support/reference_png.h"
#include "support/temp_dir.h"

namespace {

namespace fs = std::filesystem;

// ---------------------------------------------------------------------------------------
// Files and folders

std::string SourceDir() {
  if (const char* dir = std::getenv("ZR_SOURCE_DIR"); dir && *dir) return dir;
  std::string here = __FILE__;  // <source>/tests/resources/skin_package_test.cpp
  for (int i = 0; i < 3; ++i) here = here.substr(0, here.find_last_of("/\\"));
  return here;
}

std::string SkinDir() { return SourceDir() + "/src/resources/skin"; }

std::optional<std::string> ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

// The pictures' renderings at 150 % and 200 %: the build's (the Windows builds render them),
// else rendered once into a temporary folder as the build does; empty when neither is there.
const std::string& VariantsDir() {
  static const std::string dir = [] {
    const char* build = std::getenv("ZR_BUILD_DIR");
    if (build && *build && fs::exists(std::string(build) + "/src/resources/skin_variants")) {
      return std::string(build) + "/src/resources/skin_variants";
    }
    static zr::test::TempDir temp;  // kept while the program runs
    if (temp.path().empty()) return std::string();
    const std::string out = (fs::path(temp.path()) / "variants").string();
    const std::string command = "bash \"" + SkinDir() + "/render.sh\" --variants \"" + out + "\"";
    return std::system(command.c_str()) == 0 ? out : std::string();
  }();
  return dir;
}

// The file an entry is packed from: the skin folder's, else the build's rendering.
std::optional<std::string> EntrySource(const std::string& name) {
  if (std::optional<std::string> source = ReadFile(SkinDir() + "/" + name)) return source;
  return ReadFile(VariantsDir() + "/" + name);
}

// Runs the packer into `output`, as the build does; empty on success, else what went wrong.
std::string RunPacker(const fs::path& output) {
  std::string command = "python3 \"" + SourceDir() + "/tools/skin_packer/pack_skin.py\" \"" +
                        SkinDir() + "\" \"" + output.string() + "\"";
  if (!VariantsDir().empty()) command += " --variants \"" + VariantsDir() + "\"";
  const int status = std::system(command.c_str());
  if (status != 0) return "the packer failed (" + std::to_string(status) + "): " + command;
  if (!fs::exists(output)) return "the packer wrote nothing: " + command;
  return "";
}

// The package: its bytes and the engine's reader over them, made once for the whole program.
struct PackageZip {
  std::string error;  // empty when the zip was found and the reader took it
  std::string bytes;
  Skin::CZipArchive archive;

  // The entry's bytes, or nothing when it is missing or damaged (the reader checks sizes,
  // offsets and the CRC-32).
  std::optional<std::string> Entry(const std::string& name) const {
    std::vector<std::uint8_t> buffer;
    Skin::ByteView view;
    if (!archive.Read(name, &buffer, &view)) return std::nullopt;
    return std::string(reinterpret_cast<const char*>(view.data), view.size);
  }
  // The reader hands stored entries out in place, inside the zip's bytes, and inflates the
  // deflated ones into the caller's buffer: that tells the two methods apart.
  int Method(const std::string& name) const {
    std::vector<std::uint8_t> buffer;
    Skin::ByteView view;
    if (!archive.Read(name, &buffer, &view)) return -1;
    return view.data == buffer.data() && !buffer.empty() ? 8 : 0;
  }

  void Load() {
    if (const char* build = std::getenv("ZR_BUILD_DIR"); build && *build) {
      if (std::optional<std::string> zip = ReadFile(std::string(build) + "/src/resources/skin.zip")) {
        Take(std::move(*zip));
        return;
      }
    }
    zr::test::TempDir dir;
    if (dir.path().empty()) {
      error = "no temporary folder";
      return;
    }
    const fs::path out = fs::path(dir.path()) / "skin.zip";
    error = RunPacker(out);
    if (!error.empty()) return;
    std::optional<std::string> zip = ReadFile(out.string());
    if (!zip) {
      error = "cannot read " + out.string();
      return;
    }
    Take(std::move(*zip));
  }

 private:
  void Take(std::string zip) {
    bytes = std::move(zip);
    if (!archive.Open(bytes.data(), bytes.size())) error = "the engine's reader refuses the zip";
  }
};

const PackageZip& Package() {
  static PackageZip package;
  static const bool loaded = (package.Load(), true);
  (void)loaded;
  return package;
}

// Every entry of the package and its method: documents deflated, pictures stored except the
// shadow (mostly transparent, it packs well).
const std::map<std::string, int> kEntries = {
    {"wnd_main.xml", 8},          {"font.xml", 8},
    {"messagebox.xml", 8},        {"messageboxwithlink.xml", 8},
    {"install_img_02@2x.png", 0}, {"install_img_03@2x.png", 0},
    {"Head_btnsys_20x20.png", 0}, {"messagebox_icon_22x22.png", 0},
    {"progress_fore.png", 0},     {"Window_shadow.png", 8},
    {"icon_title_20x20.png", 0},
    // the renderings for displays above 100 %
    {"Head_btnsys_20x20@1.5x.png", 0},     {"Head_btnsys_20x20@2x.png", 0},
    {"messagebox_icon_22x22@1.5x.png", 0}, {"messagebox_icon_22x22@2x.png", 0},
    {"progress_fore@1.5x.png", 0},         {"progress_fore@2x.png", 0},
    {"Window_shadow@1.5x.png", 8},         {"Window_shadow@2x.png", 8},
    {"icon_title_20x20@1.5x.png", 0},      {"icon_title_20x20@2x.png", 0},
};

// ---------------------------------------------------------------------------------------
// Pictures

struct Rgba {
  int r, g, b, a;
  double Luma() const { return 0.2126 * r + 0.7152 * g + 0.0722 * b; }
};

class Picture {
 public:
  explicit Picture(const std::string& png) {
    int comp = 0;
    m_pixels.reset(stbi_load_from_memory(reinterpret_cast<const stbi_uc*>(png.data()),
                                        static_cast<int>(png.size()), &m_width, &m_height, &comp, 4));
  }
  bool ok() const { return m_pixels != nullptr; }
  int width() const { return m_width; }
  int height() const { return m_height; }
  Rgba At(int x, int y) const {
    const stbi_uc* p = m_pixels.get() + (static_cast<size_t>(y) * m_width + x) * 4;
    return {p[0], p[1], p[2], p[3]};
  }

 private:
  struct Free {
    void operator()(stbi_uc* p) const { stbi_image_free(p); }
  };
  std::unique_ptr<stbi_uc, Free> m_pixels;
  int m_width = 0, m_height = 0;
};

// Hue in degrees, 0 to 360.
double Hue(const Rgba& c) {
  // The largest channel is found on the integers: compared as doubles, the i686 build (x87)
  // may keep one side in a wider register, and then no channel equals the largest.
  const int r = c.r, g = c.g, b = c.b;
  const int hi = std::max({r, g, b}), lo = std::min({r, g, b});
  if (hi == lo) return 0;
  const double span = hi - lo;
  double h;
  if (hi == r) h = 60 * ((g - b) / span);
  else if (hi == g) h = 60 * ((b - r) / span + 2);
  else h = 60 * ((r - g) / span + 4);
  return h < 0 ? h + 360 : h;
}

// Width and height from the IHDR chunk, which must come first after the signature.
std::optional<std::pair<uint32_t, uint32_t>> PngSize(const std::string& png) {
  static const std::string signature("\x89PNG\r\n\x1a\n", 8);
  if (png.size() < 24 || png.compare(0, 8, signature) != 0 || png.compare(12, 4, "IHDR") != 0)
    return std::nullopt;
  auto be = [&png](size_t at) {
    uint32_t v = 0;
    for (size_t i = 0; i < 4; ++i) v = (v << 8) | static_cast<unsigned char>(png[at + i]);
    return v;
  };
  return std::make_pair(be(16), be(20));
}

struct PictureSpec {
  const char* name;
  uint32_t width, height;
};

// The sizes the documents and the code address the pictures by.
const PictureSpec kPictures[] = {
    {"install_img_02@2x.png", 1160, 580}, {"install_img_03@2x.png", 1160, 580},
    {"Head_btnsys_20x20.png", 60, 80},    {"messagebox_icon_22x22.png", 22, 88},
    {"progress_fore.png", 200, 5},        {"Window_shadow.png", 624, 424},
    {"icon_title_20x20.png", 20, 20},
    {"Head_btnsys_20x20@1.5x.png", 90, 120},    {"Head_btnsys_20x20@2x.png", 120, 160},
    {"messagebox_icon_22x22@1.5x.png", 33, 132}, {"messagebox_icon_22x22@2x.png", 44, 176},
    {"progress_fore@1.5x.png", 300, 8},          {"progress_fore@2x.png", 400, 10},
    {"Window_shadow@1.5x.png", 936, 636},        {"Window_shadow@2x.png", 1248, 848},
    {"icon_title_20x20@1.5x.png", 30, 30},       {"icon_title_20x20@2x.png", 40, 40},
};

Picture LoadPicture(const std::string& name) {
  return Picture(Package().Entry(name).value_or(std::string()));
}

// ---------------------------------------------------------------------------------------
// Documents

struct Document {
  std::string bytes;
  pugi::xml_document xml;
  pugi::xml_parse_result parsed;
};

std::unique_ptr<Document> LoadDocument(const std::string& name) {
  auto doc = std::make_unique<Document>();
  doc->bytes = Package().Entry(name).value_or(std::string());
  doc->parsed = doc->xml.load_buffer(doc->bytes.data(), doc->bytes.size(), pugi::parse_default,
                                     pugi::encoding_utf8);
  return doc;
}

// Every element below `node`, in document order. (No XPath: the 32-bit test programs link the
// shipped exe's lean pugixml, which has none.)
void AddElements(const pugi::xml_node& node, std::vector<pugi::xml_node>& elements) {
  for (const pugi::xml_node& child : node.children()) {
    if (child.type() != pugi::node_element) continue;
    elements.push_back(child);
    AddElements(child, elements);
  }
}

std::vector<pugi::xml_node> Elements(const pugi::xml_node& root) {
  std::vector<pugi::xml_node> elements;
  AddElements(root, elements);
  return elements;
}

// The first element named `name` (of the tag `tag`, when one is given).
pugi::xml_node Named(const pugi::xml_node& root, const char* name, const char* tag = nullptr) {
  for (const pugi::xml_node& n : Elements(root)) {
    if (std::string(n.attribute("name").value()) == name && (!tag || std::string(n.name()) == tag))
      return n;
  }
  return pugi::xml_node();
}

// Names of all named elements, in document order.
std::vector<std::string> NamesInOrder(const pugi::xml_node& root) {
  std::vector<std::string> names;
  for (const pugi::xml_node& n : Elements(root))
    if (n.attribute("name")) names.push_back(n.attribute("name").value());
  return names;
}

size_t IndexOf(const std::vector<std::string>& names, const std::string& name) {
  return static_cast<size_t>(std::find(names.begin(), names.end(), name) - names.begin());
}

const char* const kWindowDocuments[] = {"wnd_main.xml", "messagebox.xml", "messageboxwithlink.xml"};

// ---------------------------------------------------------------------------------------
// The zip

TEST(SkinPackage, HoldsExactlyTheExpectedEntriesEachWithItsMethod) {
  const PackageZip& zip = Package();
  ASSERT_EQ(zip.error, "");
  // The end-of-directory record closes the file (no archive comment) and counts the records.
  ASSERT_GE(zip.bytes.size(), 22u);
  const std::string end = zip.bytes.substr(zip.bytes.size() - 22);
  EXPECT_EQ(end.compare(0, 4, "PK\x05\x06"), 0) << "the package carries no archive comment";
  EXPECT_EQ(static_cast<unsigned char>(end[10]) | static_cast<unsigned char>(end[11]) << 8,
            static_cast<int>(kEntries.size()))
      << "records in the directory";
  EXPECT_EQ(zip.archive.EntryCount(), kEntries.size()) << "names, each once";
  for (const auto& [name, method] : kEntries) EXPECT_EQ(zip.Method(name), method) << name;
  EXPECT_FALSE(zip.Entry("font_zh_CN.xml")) << "the included font document stays absent";
}

// A document unpacks to its file's bytes; a picture, whose image data the packer deflates
// again, to its file's pixels.
TEST(SkinPackage, EveryEntryUnpacksToItsSourceFile) {
  ASSERT_EQ(Package().error, "");
  for (const auto& [name, method] : kEntries) {
    const std::optional<std::string> source = EntrySource(name);
    ASSERT_TRUE(source.has_value()) << name;
    const std::optional<std::string> entry = Package().Entry(name);
    ASSERT_TRUE(entry.has_value()) << name;
    if (name.size() < 4 || name.compare(name.size() - 4, 4, ".png") != 0) {
      EXPECT_TRUE(*source == *entry) << name << " differs from its source file";
      continue;
    }
    const Picture file(*source), packed(*entry);
    ASSERT_TRUE(file.ok() && packed.ok()) << name;
    ASSERT_EQ(packed.width(), file.width()) << name;
    ASSERT_EQ(packed.height(), file.height()) << name;
    int differing = 0;
    for (int y = 0; y < file.height(); ++y) {
      for (int x = 0; x < file.width(); ++x) {
        const Rgba a = file.At(x, y), b = packed.At(x, y);
        differing += a.r != b.r || a.g != b.g || a.b != b.b || a.a != b.a;
      }
    }
    EXPECT_EQ(differing, 0) << name << ": pixels differ from its source file";
  }
}

TEST(SkinPackage, PackingTwiceGivesTheSameBytes) {
  zr::test::TempDir dir;
  ASSERT_FALSE(dir.path().empty());
  if (std::system("python3 --version >/dev/null 2>&1") != 0)
    GTEST_SKIP() << "python3 cannot be started from this test program";
  const fs::path folder(dir.path());
  ASSERT_EQ(RunPacker(folder / "a.zip"), "");
  ASSERT_EQ(RunPacker(folder / "b.zip"), "");
  const std::optional<std::string> a = ReadFile((folder / "a.zip").string());
  const std::optional<std::string> b = ReadFile((folder / "b.zip").string());
  ASSERT_TRUE(a && b);
  EXPECT_FALSE(a->empty());
  EXPECT_TRUE(*a == *b) << "the packer's output depends on the moment it runs";
  Skin::CZipArchive archive;
  EXPECT_TRUE(archive.Open(a->data(), a->size()));
  EXPECT_EQ(archive.EntryCount(), kEntries.size());
}

// ---------------------------------------------------------------------------------------
// Pictures

TEST(SkinPictures, HaveTheSizesTheSkinAddressesThemBy) {
  ASSERT_EQ(Package().error, "");
  for (const PictureSpec& spec : kPictures) {
    SCOPED_TRACE(spec.name);
    const std::optional<std::string> entry = Package().Entry(spec.name);
    ASSERT_TRUE(entry);
    const auto size = PngSize(*entry);
    ASSERT_TRUE(size.has_value()) << "not a PNG with its IHDR first";
    EXPECT_EQ(size->first, spec.width);
    EXPECT_EQ(size->second, spec.height);
    Skin::SkinBitmap decoded;
    EXPECT_TRUE(Skin::DecodePicture(reinterpret_cast<const std::uint8_t*>(entry->data()), entry->size(), &decoded))
        << "the engine's reader does not take the PNG";
  }
}

// The main window draws its title and its large dark captions over the left half of the
// picture, and grey title-bar buttons at its top right: those areas must stay light and calm.
TEST(SkinPictures, UpperPicturesLeaveTheTextAreasLightAndCalm) {
  struct Area {
    const char* what;
    int left, top, right, bottom;  // in the 2x picture
    double minLuma, maxSpread;
  };
  const Area areas[] = {
      {"title line", 40, 32, 340, 70, 215, 25},
      {"large captions", 140, 276, 460, 402, 215, 25},
      {"title-bar buttons", 1038, 32, 1128, 72, 200, 60},
  };
  for (const char* name : {"install_img_02@2x.png", "install_img_03@2x.png"}) {
    SCOPED_TRACE(name);
    const Picture picture = LoadPicture(name);
    ASSERT_TRUE(picture.ok());
    ASSERT_EQ(picture.width(), 1160);
    int opaque = 0;
    for (int y = 0; y < picture.height(); ++y)
      for (int x = 0; x < picture.width(); ++x) opaque += picture.At(x, y).a == 255;
    EXPECT_EQ(opaque, picture.width() * picture.height()) << "the picture must cover the blue";
    for (const Area& area : areas) {
      double lo = 255, hi = 0;
      for (int y = area.top; y < area.bottom; ++y)
        for (int x = area.left; x < area.right; ++x) {
          const double l = picture.At(x, y).Luma();
          lo = std::min(lo, l);
          hi = std::max(hi, l);
        }
      EXPECT_GE(lo, area.minLuma) << area.what << " has dark spots under the text";
      EXPECT_LE(hi - lo, area.maxSpread) << area.what << " is busy under the text";
    }
    // The illustration, in the window's blue, lives on the right half only.
    int leftBlue = 0, rightBlue = 0;
    for (int y = 0; y < picture.height(); ++y)
      for (int x = 0; x < picture.width(); ++x) {
        const Rgba c = picture.At(x, y);
        if (std::abs(c.r - 0x23) + std::abs(c.g - 0x6E) + std::abs(c.b - 0xE7) < 60)
          ++(x < picture.width() / 2 ? leftBlue : rightBlue);
      }
    EXPECT_EQ(leftBlue, 0);
    EXPECT_GT(rightBlue, 2000);
  }
}

// Three glyphs in four states, cut out by 20-pixel source rectangles: each cell drawn, kept
// inside its cell, and the rows in the order normal, hot (darker), pushed (darkest), disabled
// (lightest).
TEST(SkinPictures, TitleButtonSheetHoldsFourStatesOfThreeGlyphs) {
  const Picture sheet = LoadPicture("Head_btnsys_20x20.png");
  ASSERT_TRUE(sheet.ok());
  ASSERT_EQ(sheet.width(), 60);
  ASSERT_EQ(sheet.height(), 80);
  double rowLuma[4] = {0, 0, 0, 0};
  for (int row = 0; row < 4; ++row) {
    double luma = 0, weight = 0;
    for (int column = 0; column < 3; ++column) {
      SCOPED_TRACE("row " + std::to_string(row) + ", column " + std::to_string(column));
      int inked = 0, edge = 0;
      for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 20; ++x) {
          const Rgba c = sheet.At(column * 20 + x, row * 20 + y);
          if (c.a > 128) ++inked;
          if ((x == 0 || y == 0 || x == 19 || y == 19) && c.a > 0) ++edge;
          luma += c.Luma() * c.a;
          weight += c.a;
        }
      EXPECT_GE(inked, 8) << "empty cell";
      EXPECT_EQ(edge, 0) << "the glyph touches its cell's border";
    }
    ASSERT_GT(weight, 0);
    rowLuma[row] = luma / weight;
  }
  EXPECT_LT(rowLuma[1], rowLuma[0]) << "hot must be darker than normal";
  EXPECT_LT(rowLuma[2], rowLuma[1]) << "pushed must be darker than hot";
  EXPECT_GT(rowLuma[3], rowLuma[0]) << "disabled must be lighter than normal";
}

// The message box addresses its icons by row: error, question, success, warning.
TEST(SkinPictures, MessageBoxIconsAreColouredDiscsWithWhiteGlyphsInRowOrder) {
  struct Row {
    const char* icon;
    double hueLo, hueHi;  // degrees; lo > hi wraps through 0
  };
  const Row rows[] = {
      {"error (red)", 345, 15},
      {"question (blue)", 205, 235},
      {"success (green)", 120, 170},
      {"warning (orange)", 25, 45},
  };
  const Picture strip = LoadPicture("messagebox_icon_22x22.png");
  ASSERT_TRUE(strip.ok());
  ASSERT_EQ(strip.height(), 88);
  for (int i = 0; i < 4; ++i) {
    SCOPED_TRACE(rows[i].icon);
    const int top = i * 22;
    const Rgba disc = strip.At(3, top + 11);
    EXPECT_EQ(disc.a, 255);
    const double hue = Hue(disc);
    if (rows[i].hueLo < rows[i].hueHi) {
      EXPECT_TRUE(hue >= rows[i].hueLo && hue <= rows[i].hueHi) << hue;
    } else {
      EXPECT_TRUE(hue >= rows[i].hueLo || hue <= rows[i].hueHi) << hue;
    }
    EXPECT_EQ(strip.At(0, top).a, 0) << "the corner lies outside the disc";
    EXPECT_EQ(strip.At(21, top + 21).a, 0) << "the corner lies outside the disc";
    int white = 0;
    for (int y = top; y < top + 22; ++y)
      for (int x = 0; x < 22; ++x) {
        const Rgba c = strip.At(x, y);
        white += c.a == 255 && c.r > 235 && c.g > 235 && c.b > 235;
      }
    EXPECT_GE(white, 10) << "no white glyph";
  }
}

TEST(SkinPictures, ProgressFillIsAnOpaqueBlueGradient) {
  const Picture fill = LoadPicture("progress_fore.png");
  ASSERT_TRUE(fill.ok());
  ASSERT_EQ(fill.width(), 200);
  for (int x = 3; x < 197; ++x)
    for (int y = 0; y < 5; ++y) {
      const Rgba c = fill.At(x, y);
      ASSERT_EQ(c.a, 255) << x << "," << y;
      ASSERT_GT(c.b, c.r + 80) << x << "," << y;
    }
  EXPECT_GT(fill.At(4, 2).Luma(), fill.At(195, 2).Luma() + 10) << "no gradient";
}

// Nine-grid with 12-pixel corners around a window: a dark band fading out towards the outer
// edge, alike on all four sides, and nothing where the window itself is.
TEST(SkinPictures, ShadowFadesOutwardsAroundATransparentCentre) {
  const Picture shadow = LoadPicture("Window_shadow.png");
  ASSERT_TRUE(shadow.ok());
  ASSERT_EQ(shadow.width(), 624);
  ASSERT_EQ(shadow.height(), 424);
  int covered = 0;
  for (int y = 12; y < 412; ++y)
    for (int x = 12; x < 612; ++x) covered += shadow.At(x, y).a != 0;
  EXPECT_EQ(covered, 0) << "the window's own area must stay transparent";

  const int midX = 312, midY = 212;
  for (int d = 0; d < 12; ++d) {
    SCOPED_TRACE("distance from the edge " + std::to_string(d));
    const int left = shadow.At(d, midY).a;
    EXPECT_NEAR(shadow.At(623 - d, midY).a, left, 2);
    EXPECT_NEAR(shadow.At(midX, d).a, left, 2);
    EXPECT_NEAR(shadow.At(midX, 423 - d).a, left, 2);
    if (d > 0) {
      EXPECT_GE(left, shadow.At(d - 1, midY).a) << "must fade outwards";
    }
    if (left > 0) {
      EXPECT_LT(shadow.At(d, midY).Luma(), 80) << "a shadow is dark";
    }
  }
  EXPECT_LE(shadow.At(0, midY).a, 3) << "the outer edge must be (nearly) transparent";
  EXPECT_GE(shadow.At(11, midY).a, 40) << "the band next to the window must show";
  EXPECT_LE(shadow.At(0, 0).a, 3);
}

TEST(SkinPictures, TitleIconIsDrawn) {
  const Picture icon = LoadPicture("icon_title_20x20.png");
  ASSERT_TRUE(icon.ok());
  int opaque = 0;
  for (int y = 0; y < icon.height(); ++y)
    for (int x = 0; x < icon.width(); ++x) opaque += icon.At(x, y).a == 255;
  EXPECT_GT(opaque, 200);
}

// ---------------------------------------------------------------------------------------
// Documents

TEST(SkinDocuments, AreWellFormedUtf8WithTheByteOrderMarkOnlyOnTheMainWindow) {
  struct Case {
    const char* name;
    bool bom;
    const char* root;
  };
  const Case cases[] = {
      {"wnd_main.xml", true, "Window"},
      {"font.xml", false, "window"},
      {"messagebox.xml", false, "Window"},
      {"messageboxwithlink.xml", false, "Window"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::unique_ptr<Document> doc = LoadDocument(c.name);
    ASSERT_FALSE(doc->bytes.empty());
    EXPECT_EQ(doc->bytes.compare(0, 3, "\xEF\xBB\xBF") == 0, c.bom);
    EXPECT_TRUE(doc->parsed) << doc->parsed.description() << " at " << doc->parsed.offset;
    EXPECT_STREQ(doc->xml.document_element().name(), c.root);
    EXPECT_EQ(doc->bytes.find('\r'), std::string::npos) << "line ends were rewritten";
  }
  // Chinese texts read back as UTF-8 (not a local code page).
  const std::unique_ptr<Document> main = LoadDocument("wnd_main.xml");
  EXPECT_STREQ(Named(main->xml, "closebtn").attribute("tooltip").value(),
               u8"关闭");
  EXPECT_STREQ(Named(main->xml, "lab_install_tip").attribute("text").value(),
               u8"正在更新");
}

TEST(SkinDocuments, HoldEveryControlTheWindowsLookUp) {
  const std::map<std::string, std::vector<std::string>> lookups = {
      {"wnd_main.xml",
       {"minbtn", "closebtn", "tab_update_view", "labBk", "lab_captionTitle", "btn_runprogram",
        "lb_file", "lb_speed", "pro_pos", "lab_install_tip", "lab_install_name",
        "lab_install_completed"}},
      {"messagebox.xml", {"txt_caption", "txt_icon", "txt_tips", "btn_ok", "btn_no", "btn_close"}},
      {"messageboxwithlink.xml",
       {"txt_caption", "txt_icon", "txt_tips", "btn_ok", "btn_no", "btn_close", "btn_link"}},
  };
  for (const auto& [document, names] : lookups) {
    SCOPED_TRACE(document);
    const std::unique_ptr<Document> doc = LoadDocument(document);
    ASSERT_TRUE(doc->parsed);
    const std::vector<std::string> present = NamesInOrder(doc->xml);
    for (const std::string& name : names)
      EXPECT_EQ(std::count(present.begin(), present.end(), name), 1) << name;
  }
}

TEST(SkinDocuments, MessageBoxesIncludeTheFontDocumentThatThePackageLacks) {
  for (const char* name : {"messagebox.xml", "messageboxwithlink.xml"}) {
    SCOPED_TRACE(name);
    const std::unique_ptr<Document> doc = LoadDocument(name);
    ASSERT_TRUE(doc->parsed);
    EXPECT_STREQ(doc->xml.child("Window").child("Include").attribute("source").value(),
                 "font_zh_CN.xml");
  }
  EXPECT_FALSE(Package().Entry("font_zh_CN.xml"));
  EXPECT_FALSE(fs::exists(SkinDir() + "/font_zh_CN.xml"));
  const std::unique_ptr<Document> main = LoadDocument("wnd_main.xml");
  EXPECT_STREQ(main->xml.child("Window").child("Include").attribute("source").value(), "font.xml");
}

// The plain box puts the declining button right of the confirming one; the link box left.
TEST(SkinDocuments, ButtonOrderDiffersBetweenTheTwoBoxes) {
  const std::unique_ptr<Document> plain = LoadDocument("messagebox.xml");
  const std::unique_ptr<Document> link = LoadDocument("messageboxwithlink.xml");
  ASSERT_TRUE(plain->parsed);
  ASSERT_TRUE(link->parsed);
  const std::vector<std::string> p = NamesInOrder(plain->xml);
  const std::vector<std::string> l = NamesInOrder(link->xml);
  ASSERT_LT(IndexOf(p, "btn_no"), p.size());
  ASSERT_LT(IndexOf(l, "btn_ok"), l.size());
  EXPECT_LT(IndexOf(p, "btn_ok"), IndexOf(p, "btn_no"));
  EXPECT_LT(IndexOf(l, "btn_no"), IndexOf(l, "btn_ok"));
  EXPECT_LT(IndexOf(l, "btn_link"), IndexOf(l, "btn_no")) << "the link row lies above the buttons";
  // Both buttons share one row in each box.
  for (const Document* doc : {plain.get(), link.get()}) {
    const pugi::xml_node ok = Named(doc->xml, "btn_ok", "Button");
    const pugi::xml_node no = Named(doc->xml, "btn_no", "Button");
    EXPECT_EQ(ok.parent(), no.parent());
  }
}

// Rows of fixed height add up to the window's height; the one flexible row (the message)
// gets what is left.
TEST(SkinDocuments, RowsFillTheWindowHeight) {
  struct Case {
    const char* name;
    int width, height, flexibleRows, leftOver;
  };
  const Case cases[] = {
      {"wnd_main.xml", 580, 400, 0, 0},
      {"messagebox.xml", 380, 168, 1, 74},
      {"messageboxwithlink.xml", 380, 168, 1, 44},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::unique_ptr<Document> doc = LoadDocument(c.name);
    ASSERT_TRUE(doc->parsed);
    const pugi::xml_node window = doc->xml.child("Window");
    EXPECT_EQ(std::string(window.attribute("size").value()),
              std::to_string(c.width) + "," + std::to_string(c.height));
    const pugi::xml_node root = window.child("VerticalLayout");
    ASSERT_TRUE(root);
    int fixed = 0, flexible = 0;
    for (pugi::xml_node row : root.children()) {
      if (row.type() != pugi::node_element) continue;
      if (row.attribute("height")) fixed += row.attribute("height").as_int();
      else ++flexible;
    }
    EXPECT_EQ(flexible, c.flexibleRows);
    EXPECT_EQ(c.height - fixed, c.leftOver);
  }
}

TEST(SkinDocuments, FontTableMatchesTheIndicesTheDocumentsUse) {
  struct FontSpec {
    int size;
    bool bold, underline;
  };
  const FontSpec table[] = {{12, false, false}, {12, true, false},  {12, false, true},
                            {13, false, false}, {14, true, false},  {13, false, true},
                            {14, false, false}, {13, false, false}, {14, false, true},
                            {16, false, false}, {22, false, false}, {18, false, false},
                            {12, false, true},  {24, false, false}};
  const std::unique_ptr<Document> fonts = LoadDocument("font.xml");
  ASSERT_TRUE(fonts->parsed);
  std::map<int, pugi::xml_node> byId;
  int defaults = 0;
  for (pugi::xml_node font : fonts->xml.child("window").children("Font")) {
    EXPECT_TRUE(byId.emplace(font.attribute("id").as_int(-1), font).second) << "duplicate id";
    EXPECT_TRUE(font.attribute("shared").as_bool()) << "every font is shared";
    EXPECT_STREQ(font.attribute("name").value(), u8"微软雅黑");
    defaults += font.attribute("default").as_bool();
  }
  EXPECT_EQ(defaults, 1);
  ASSERT_EQ(byId.size(), std::size(table));
  for (int id = 0; id < static_cast<int>(std::size(table)); ++id) {
    SCOPED_TRACE("font " + std::to_string(id));
    ASSERT_TRUE(byId.count(id));
    EXPECT_EQ(byId[id].attribute("size").as_int(), table[id].size);
    EXPECT_EQ(byId[id].attribute("bold").as_bool(), table[id].bold);
    EXPECT_EQ(byId[id].attribute("underline").as_bool(), table[id].underline);
  }
  EXPECT_TRUE(byId[0].attribute("default").as_bool());

  for (const char* name : kWindowDocuments) {
    const std::unique_ptr<Document> doc = LoadDocument(name);
    for (const pugi::xml_node& n : Elements(doc->xml)) {
      if (!n.attribute("font")) continue;
      EXPECT_TRUE(byId.count(n.attribute("font").as_int(-1)))
          << name << ": font " << n.attribute("font").value() << " is not declared";
    }
  }
}

// Every picture a window's controls name is in the package, and every source rectangle and
// nine-grid corner fits inside its picture. (The scroll bar styles under Default name
// pictures the package does not have; no window shows a scroll bar.)
TEST(SkinDocuments, PictureReferencesResolveInsideThePackage) {
  std::map<std::string, std::pair<int, int>> sizes;
  for (const PictureSpec& spec : kPictures)
    sizes[spec.name] = {static_cast<int>(spec.width), static_cast<int>(spec.height)};
  const std::regex fileRe("file='([^']*)'");
  const std::regex sourceRe("source='(\\d+),(\\d+),(\\d+),(\\d+)'");
  const std::regex cornerRe("corner='(\\d+),(\\d+),(\\d+),(\\d+)'");
  std::set<std::string> used;
  for (const char* name : kWindowDocuments) {
    const std::unique_ptr<Document> doc = LoadDocument(name);
    ASSERT_TRUE(doc->parsed) << name;
    std::vector<std::pair<std::string, std::string>> references;  // picture, description
    const pugi::xml_node window = doc->xml.child("Window");
    references.emplace_back(window.attribute("shadowimage").value(), "");
    std::vector<pugi::xml_attribute> attributes;  // of every element but the Default ones
    for (const pugi::xml_node& element : Elements(doc->xml))
      if (std::string(element.name()) != "Default")
        for (const pugi::xml_attribute& a : element.attributes()) attributes.push_back(a);
    for (const pugi::xml_attribute& n : attributes) {
      const std::string value = n.value();
      std::smatch file;
      if (std::regex_search(value, file, fileRe)) references.emplace_back(file[1], value);
    }
    for (const auto& [picture, description] : references) {
      SCOPED_TRACE(std::string(name) + ": " + description);
      used.insert(picture);
      ASSERT_TRUE(sizes.count(picture)) << picture << " is not a picture of the package";
      ASSERT_TRUE(Package().Entry(picture)) << picture;
      const auto [w, h] = sizes[picture];
      std::smatch m;
      if (std::regex_search(description, m, sourceRe)) {
        const int l = std::stoi(m[1]), t = std::stoi(m[2]), r = std::stoi(m[3]),
                  b = std::stoi(m[4]);
        EXPECT_TRUE(0 <= l && l < r && r <= w && 0 <= t && t < b && b <= h);
      }
      if (std::regex_search(description, m, cornerRe)) {
        EXPECT_LT(std::stoi(m[1]) + std::stoi(m[3]), w);
        EXPECT_LT(std::stoi(m[2]) + std::stoi(m[4]), std::max(h, 1));
      }
    }
  }
  // The code draws these two itself; every other picture is named by a document, apart from
  // the larger renderings, which the engine finds by the picture's name.
  used.insert("install_img_03@2x.png");
  used.insert("messagebox_icon_22x22.png");
  size_t pictures = 0;
  for (const PictureSpec& spec : kPictures) {
    const std::string name = spec.name;
    const size_t at = name.rfind('@');
    const bool rendering = at != std::string::npos &&
                           std::any_of(std::begin(kPictures), std::end(kPictures), [&](const PictureSpec& p) {
                             return name.substr(0, at) + ".png" == p.name;
                           });
    pictures += rendering ? 0 : 1;
  }
  EXPECT_EQ(used.size(), pictures);
}

}  // namespace
