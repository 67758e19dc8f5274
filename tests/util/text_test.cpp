// Runs in both builds: UTF-16 on Windows, UTF-32 natively.
#include "util/text.h"

#include <gtest/gtest.h>

namespace zr {
namespace {

TEST(Text, NullAndEmptyGiveEmpty) {
  EXPECT_EQ(WideToUtf8(static_cast<const wchar_t*>(nullptr)), "");
  EXPECT_EQ(Utf8ToWide(static_cast<const char*>(nullptr)), L"");
  EXPECT_EQ(WideToLocal(nullptr), "");
  EXPECT_EQ(LocalToWide(nullptr), L"");
  EXPECT_EQ(AnsiToUtf8(nullptr), "");
  EXPECT_EQ(WideToUtf8(L""), "");
  EXPECT_EQ(Utf8ToWide(""), L"");
}

TEST(Text, Utf8RoundTrips) {
  const wchar_t* samples[] = {
      L"Zoria投屏助手",
      L"plain ascii",
      L"\u00e9\u00df\u4e2d\u6587",
      L"emoji \U0001F600 and \U00020BB7 outside the BMP",
      L"\u007f\u0080\u07ff\u0800\uffff",
  };
  for (const wchar_t* sample : samples) {
    EXPECT_EQ(Utf8ToWide(WideToUtf8(sample)), sample);
  }
}

TEST(Text, Utf8BytesAreExact) {
  EXPECT_EQ(WideToUtf8(L"投"), "\xE6\x8A\x95");
  EXPECT_EQ(WideToUtf8(L"\U0001F600"), "\xF0\x9F\x98\x80");
  EXPECT_EQ(Utf8ToWide("\xF0\x9F\x98\x80"), L"\U0001F600");
  EXPECT_EQ(Utf8ToWide("a\xC3\xA9z"), L"a\u00e9z");
}

TEST(Text, ConversionStopsAtFirstZero) {
  const char narrow[] = "ab\0cd";
  EXPECT_EQ(Utf8ToWide(narrow), L"ab");
  const wchar_t wide[] = L"ab\0cd";
  EXPECT_EQ(WideToUtf8(wide), "ab");
}

TEST(Text, InvalidUtf8BecomesReplacementCharacters) {
  // A lone continuation byte and a truncated sequence are not dropped silently.
  std::wstring decoded = Utf8ToWide("a\x80z\xE6\x8A");
  EXPECT_EQ(decoded.front(), L'a');
  EXPECT_NE(decoded.find(L'\uFFFD'), std::wstring::npos);
  EXPECT_NE(decoded.find(L'z'), std::wstring::npos);
}

TEST(Text, AsciiSurvivesTheLocalCodePages) {
  EXPECT_EQ(WideToLocal(L"%d/%d file.txt"), "%d/%d file.txt");
  EXPECT_EQ(LocalToWide("%d/%d file.txt"), L"%d/%d file.txt");
  EXPECT_EQ(AnsiToUtf8("abc=+/%"), "abc=+/%");
}

}  // namespace
}  // namespace zr
