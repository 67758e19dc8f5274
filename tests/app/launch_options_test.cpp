#include "app/launch_options.h"

#include <gtest/gtest.h>

namespace zr {
namespace {

LaunchOptions Parse(std::vector<std::wstring> arguments) {
  arguments.insert(arguments.begin(), L"zrUpdater.exe");
  LaunchOptions options;
  ParseCommandLine(arguments, options);
  return options;
}

TEST(LaunchOptions, ReadsVersionAsUtf8AndConfigUnchanged) {
  LaunchOptions o = Parse({L"/version", L"3.1.0", L"/config", L"C:\\Users\\李\\m.xml"});
  EXPECT_EQ(o.version, "3.1.0");
  EXPECT_EQ(o.config, L"C:\\Users\\李\\m.xml");
  EXPECT_FALSE(o.develop);

  EXPECT_EQ(Parse({L"/version", L"版本2"}).version, "\xE7\x89\x88\xE6\x9C\xAC" "2");
}

TEST(LaunchOptions, OptionWithoutValueAtTheEndIsIgnored) {
  EXPECT_EQ(Parse({L"/config"}).config, L"");
  EXPECT_EQ(Parse({L"/version"}).version, "");
  LaunchOptions o = Parse({L"/config", L"a.xml", L"/config"});
  EXPECT_EQ(o.config, L"a.xml");
}

TEST(LaunchOptions, MatchesAreWholeAndCaseSensitive) {
  LaunchOptions o = Parse({L"/VERSION", L"3.1.0", L"/Config", L"x", L"/versions", L"1"});
  EXPECT_EQ(o.version, "");
  EXPECT_EQ(o.config, L"");
  EXPECT_FALSE(Parse({L"/DEVELOP"}).develop);
}

TEST(LaunchOptions, LaterOccurrenceWins) {
  EXPECT_EQ(Parse({L"/version", L"1", L"/version", L"2"}).version, "2");
  EXPECT_EQ(Parse({L"/config", L"a", L"/config", L"b"}).config, L"b");
}

TEST(LaunchOptions, DevelopTakesNoValue) {
  LaunchOptions o = Parse({L"/develop", L"/config", L"x"});
  EXPECT_TRUE(o.develop);
  EXPECT_EQ(o.config, L"x");
}

TEST(LaunchOptions, ValueIsTakenEvenWhenItLooksLikeAnOption) {
  LaunchOptions o = Parse({L"/config", L"/develop"});
  EXPECT_EQ(o.config, L"/develop");
  EXPECT_FALSE(o.develop);
}

TEST(LaunchOptions, UnknownArgumentsAreSkippedOneByOne) {
  LaunchOptions o = Parse({L"stray", L"/version", L"2.0", L"-x", L"/config", L"m.xml"});
  EXPECT_EQ(o.version, "2.0");
  EXPECT_EQ(o.config, L"m.xml");
}

}  // namespace
}  // namespace zr
