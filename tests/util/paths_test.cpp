#include "util/paths.h"

#include <gtest/gtest.h>

namespace zr {
namespace {

TEST(MakeProductPath, OneBackslashWhetherOrNotTheDirectoryEndsInOne) {
  EXPECT_EQ(MakeProductPath(L"C:\\Program Files\\Zoria"), L"C:\\Program Files\\Zoria\\zrCastrix.exe");
  EXPECT_EQ(MakeProductPath(L"C:\\Program Files\\Zoria\\"), L"C:\\Program Files\\Zoria\\zrCastrix.exe");
  EXPECT_EQ(MakeProductPath(L"C:\\"), L"C:\\zrCastrix.exe");
}

TEST(MakeProductPath, EmptyOrNullDirectoryGivesEmpty) {
  EXPECT_EQ(MakeProductPath(nullptr), L"");
  EXPECT_EQ(MakeProductPath(L""), L"");
}

TEST(FileNameOfPath, TakesWhicheverSeparatorComesLast) {
  struct Case {
    const wchar_t* path;
    const wchar_t* name;
  } cases[] = {
      {L"C:\\a\\b.txt", L"b.txt"},
      {L"C:/a/b.txt", L"b.txt"},
      {L"C:\\a/b\\c.txt", L"c.txt"},
      {L"C:/a\\b/c.txt", L"c.txt"},
      {L"name.dll", L"name.dll"},
      {L"C:\\dir\\", L""},
      {L"C:\\dir/", L""},
      {L"", L""},
      {L"C:\\投屏\\助手.exe", L"助手.exe"},
  };
  for (const Case& c : cases) EXPECT_EQ(FileNameOfPath(c.path), c.name) << c.path;
}

}  // namespace
}  // namespace zr
