// The portable pieces of the identity readers: narrowing the registry value, the operating
// system text and the source identifier's cut.
#include "net/identity.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace zr {
namespace {

// UTF-16LE bytes of an ASCII text, each unit's high byte given by high.
std::vector<unsigned char> Utf16(const std::string& text, unsigned char high = 0) {
  std::vector<unsigned char> bytes;
  for (const char c : text) {
    bytes.push_back(static_cast<unsigned char>(c));
    bytes.push_back(high);
  }
  return bytes;
}

TEST(NarrowRegistryText, NarrowsOnlyTheReturnedUnitsUpToTheFirstZeroUnit) {
  struct Case {
    const char* name;
    std::vector<unsigned char> buffer;
    std::size_t returnedBytes;
    std::string expected;
  };
  std::vector<unsigned char> guid = Utf16("{0F1E2D3C-4B5A-6978-8796-A5B4C3D2E1F0}");
  const std::size_t guidBytes = guid.size();
  guid.push_back(0);
  guid.push_back(0);
  // The rest of the 2048-byte buffer holds stale text that the query did not return.
  std::vector<unsigned char> stale = Utf16("ABCD");
  const std::vector<unsigned char> staleTail = Utf16("EFGH");
  stale.insert(stale.end(), staleTail.begin(), staleTail.end());
  std::vector<unsigned char> odd = Utf16("xyz");
  const std::vector<unsigned char> wide = {0x2D, 0x4E, 'a', 0, 0x00, 0x01, 'b', 0};

  const Case cases[] = {
      {"terminated", guid, guidBytes + 2, "{0F1E2D3C-4B5A-6978-8796-A5B4C3D2E1F0}"},
      {"unterminated", guid, guidBytes, "{0F1E2D3C-4B5A-6978-8796-A5B4C3D2E1F0}"},
      {"returned part of a stale buffer", stale, 8, "ABCD"},
      {"odd byte count drops the half unit", odd, 5, "xy"},
      {"nothing returned", guid, 0, ""},
      {"zero unit in the middle", Utf16(std::string("ab\0cd", 5)), 10, "ab"},
      {"low byte of each non-zero unit", wide, 8, std::string("-a\0b", 4)},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.expected, NarrowRegistryText(c.buffer.data(), c.returnedBytes)) << c.name;
  }
  EXPECT_EQ("", NarrowRegistryText(nullptr, 8));
}

TEST(FormatOsDescription, JoinsVersionServerFlagAndBitness) {
  struct Case {
    unsigned long major, minor;
    bool server, wow64;
    const char* expected;
  };
  const Case cases[] = {
      {6, 1, false, true, "6_1_0_64"},   // Windows 7 64-bit
      {6, 1, true, true, "6_1_1_64"},    // Windows Server 2008 R2
      {6, 1, false, false, "6_1_0_32"},  // 32-bit Windows 7
      {6, 2, false, true, "6_2_0_64"},   // Windows 8.1 and later, as reported to the process
      {10, 0, false, false, "10_0_0_32"},
      {0, 0, false, false, "0_0_0_32"},  // the version query failed
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.expected, FormatOsDescription(c.major, c.minor, c.server, c.wow64));
  }
}

TEST(SourceIdFromBytes, KeepsBytesUpToTheFirstZeroAndAtMost1024) {
  std::string long3000;
  for (int i = 0; i < 3000; ++i) long3000 += static_cast<char>('a' + i % 26);
  const std::string gbk = "\xD6\xD0\xCE\xC4 ch\r\n";
  struct Case {
    const char* name;
    std::string bytes;
    std::string expected;
  };
  const Case cases[] = {
      {"3000 bytes", long3000, long3000.substr(0, 1024)},
      {"exactly 1024", long3000.substr(0, 1024), long3000.substr(0, 1024)},
      {"line break kept", "abc\n", "abc\n"},
      {"blanks and other encodings kept", "  " + gbk, "  " + gbk},
      {"empty", "", ""},
      {"zero byte ends it", std::string("ab\0cd", 5), "ab"},
      {"leading zero", std::string("\0abc", 4), ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.expected, SourceIdFromBytes(c.bytes.data(), c.bytes.size())) << c.name;
  }
  EXPECT_EQ("", SourceIdFromBytes(nullptr, 4));
}

}  // namespace
}  // namespace zr
