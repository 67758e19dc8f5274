#include "skin/zip_archive.h"

#include <gtest/gtest.h>

#include <vector>

#include "support/skin_fixtures.h"

namespace {

using zr::test::ZipWriter;

// The entry's bytes, "<none>" when the archive does not give it.
std::string Read(const Skin::CZipArchive& archive, const std::string& name) {
  std::vector<std::uint8_t> buffer;
  Skin::ByteView v;
  if (!archive.Read(name, &buffer, &v)) return "<none>";
  return std::string(reinterpret_cast<const char*>(v.data), v.size);
}

std::string Repeated(const std::string& unit, int n) {
  std::string s;
  for (int i = 0; i < n; ++i) s += unit;
  return s;
}

TEST(ZipArchive, ReadsStoredAndDeflatedEntries) {
  ZipWriter w;
  const std::string text = Repeated("<Window size=\"580,400\"/>\n", 200);
  w.Add("wnd_main.xml", text, true);
  w.Add("pic.png", "\x89PNG-not-really", false);
  w.Add("empty.txt", "", true);
  std::string zip = w.Finish();

  Skin::CZipArchive archive;
  ASSERT_TRUE(archive.Open(zip.data(), zip.size()));
  EXPECT_EQ(archive.EntryCount(), 3u);
  EXPECT_EQ(Read(archive, "wnd_main.xml"), text);
  EXPECT_EQ(Read(archive, "pic.png"), "\x89PNG-not-really");
  EXPECT_EQ(Read(archive, "empty.txt"), "");
}

TEST(ZipArchive, StoredEntriesPointIntoThePackageAndDeflatedOnesIntoTheCallersBuffer) {
  ZipWriter w;
  w.Add("a.bin", "stored bytes", false);
  w.Add("b.xml", Repeated("abc", 1000), true);
  std::string zip = w.Finish();
  Skin::CZipArchive archive;
  ASSERT_TRUE(archive.Open(zip.data(), zip.size()));

  std::vector<std::uint8_t> buffer;
  Skin::ByteView view;
  ASSERT_TRUE(archive.Read("a.bin", &buffer, &view));
  EXPECT_EQ(view.data, reinterpret_cast<const std::uint8_t*>(zip.data()) + w.DataOffset("a.bin"));
  EXPECT_TRUE(buffer.empty());

  ASSERT_TRUE(archive.Read("b.xml", &buffer, &view));
  EXPECT_EQ(view.data, buffer.data());
  EXPECT_EQ(buffer.size(), 3000u);
}

TEST(ZipArchive, NamesMatchExactlyThenWithoutCase) {
  ZipWriter w;
  w.Add("Head_btnsys_20x20.png", "x", false);
  std::string zip = w.Finish();
  Skin::CZipArchive archive;
  ASSERT_TRUE(archive.Open(zip.data(), zip.size()));
  EXPECT_NE(Read(archive, "Head_btnsys_20x20.png"), "<none>");
  EXPECT_NE(Read(archive, "head_BTNSYS_20x20.png"), "<none>");
  EXPECT_EQ(Read(archive, "Head_btnsys_20x20.pn"), "<none>");
  EXPECT_EQ(Read(archive, "missing.xml"), "<none>");
  EXPECT_EQ(Read(archive, ""), "<none>");
}

TEST(ZipArchive, DamagedEntriesAreMissingAndTheOthersStillRead) {
  struct Case {
    const char* what;
    bool deflate;
  };
  for (Case c : {Case{"stored", false}, Case{"deflated", true}}) {
    SCOPED_TRACE(c.what);
    ZipWriter w;
    w.Add("good.txt", "fine", c.deflate);
    w.Add("bad.txt", Repeated("payload ", 100), c.deflate);
    std::string zip = w.Finish();
    zip[w.DataOffset("bad.txt") + 3] ^= 0x55;  // one flipped byte: CRC (or inflate) fails
    Skin::CZipArchive archive;
    ASSERT_TRUE(archive.Open(zip.data(), zip.size()));
    EXPECT_EQ(Read(archive, "bad.txt"), "<none>");
    EXPECT_EQ(Read(archive, "good.txt"), "fine");
  }
}

TEST(ZipArchive, RefusesWhatIsNoArchive) {
  ZipWriter w;
  w.Add("a.txt", Repeated("a", 50), true);
  const std::string zip = w.Finish();
  struct Case {
    const char* what;
    std::string bytes;
  };
  const Case cases[] = {
      {"empty", ""},
      {"text", "this is not a zip archive at all, not even close to one"},
      {"end record cut off", zip.substr(0, zip.size() - 10)},
      {"directory cut off", zip.substr(0, 30) + zip.substr(zip.size() - 22)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Skin::CZipArchive archive;
    EXPECT_FALSE(archive.Open(c.bytes.data(), c.bytes.size()));
    EXPECT_EQ(Read(archive, "a.txt"), "<none>");
  }
}

TEST(ZipArchive, EntryWhoseDataLiesOutsideTheArchiveIsMissing) {
  ZipWriter w;
  w.Add("a.txt", Repeated("a", 50), false);
  std::string zip = w.Finish();
  // Point the directory record's local-header offset past the end.
  size_t dir = zip.find(std::string("\x50\x4b\x01\x02", 4));
  ASSERT_NE(dir, std::string::npos);
  zip[dir + 42] = '\xF0';
  zip[dir + 43] = '\xFF';
  zip[dir + 44] = '\x0F';
  Skin::CZipArchive archive;
  ASSERT_TRUE(archive.Open(zip.data(), zip.size()));
  EXPECT_EQ(Read(archive, "a.txt"), "<none>");
}

TEST(ZipArchive, ReadsTheSkinPackageOfTheCheckout) {
  std::string zip = zr::test::BuildSkinPackage();
  Skin::CZipArchive archive;
  ASSERT_TRUE(archive.Open(zip.data(), zip.size()));
  // The main document begins with a UTF-8 byte-order mark.
  EXPECT_EQ(Read(archive, "wnd_main.xml").substr(0, 3), "\xEF\xBB\xBF");
}

}  // namespace
