#include "skin/zip_archive.h"

#include <gtest/gtest.h>

#include "support/skin_fixtures.h"

namespace {

using zr::test::ZipWriter;

std::string AsString(const Skin::ByteView* v) {
  return v ? std::string(reinterpret_cast<const char*>(v->data), v->size) : std::string("<none>");
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
  EXPECT_EQ(AsString(archive.Find("wnd_main.xml")), text);
  EXPECT_EQ(AsString(archive.Find("pic.png")), "\x89PNG-not-really");
  EXPECT_EQ(AsString(archive.Find("empty.txt")), "");
}

TEST(ZipArchive, StoredEntriesPointIntoThePackageAndDeflatedOnesInflateOnce) {
  ZipWriter w;
  w.Add("a.bin", "stored bytes", false);
  w.Add("b.xml", Repeated("abc", 1000), true);
  std::string zip = w.Finish();
  Skin::CZipArchive archive;
  ASSERT_TRUE(archive.Open(zip.data(), zip.size()));

  const Skin::ByteView* stored = archive.Find("a.bin");
  ASSERT_NE(stored, nullptr);
  EXPECT_EQ(stored->data, reinterpret_cast<const std::uint8_t*>(zip.data()) + w.DataOffset("a.bin"));

  const Skin::ByteView* first = archive.Find("b.xml");
  const Skin::ByteView* second = archive.Find("b.xml");
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(first, second);
  EXPECT_EQ(first->data, second->data);
}

TEST(ZipArchive, NamesMatchExactlyThenWithoutCase) {
  ZipWriter w;
  w.Add("Head_btnsys_20x20.png", "x", false);
  std::string zip = w.Finish();
  Skin::CZipArchive archive;
  ASSERT_TRUE(archive.Open(zip.data(), zip.size()));
  EXPECT_NE(archive.Find("Head_btnsys_20x20.png"), nullptr);
  EXPECT_NE(archive.Find("head_BTNSYS_20x20.png"), nullptr);
  EXPECT_EQ(archive.Find("Head_btnsys_20x20.pn"), nullptr);
  EXPECT_EQ(archive.Find("missing.xml"), nullptr);
  EXPECT_EQ(archive.Find(""), nullptr);
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
    EXPECT_EQ(archive.Find("bad.txt"), nullptr);
    EXPECT_EQ(AsString(archive.Find("good.txt")), "fine");
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
    EXPECT_EQ(archive.Find("a.txt"), nullptr);
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
  EXPECT_EQ(archive.Find("a.txt"), nullptr);
}

TEST(ZipArchive, ReadsTheSkinPackageOfTheCheckout) {
  std::string zip = zr::test::BuildSkinPackage();
  Skin::CZipArchive archive;
  ASSERT_TRUE(archive.Open(zip.data(), zip.size()));
  const Skin::ByteView* doc = archive.Find("wnd_main.xml");
  ASSERT_NE(doc, nullptr);
  // The main document begins with a UTF-8 byte-order mark.
  ASSERT_GE(doc->size, 3u);
  EXPECT_EQ(doc->data[0], 0xEF);
  EXPECT_EQ(doc->data[1], 0xBB);
  EXPECT_EQ(doc->data[2], 0xBF);
}

}  // namespace
