// Progress messages: the status line's formatting and its 1024-byte buffer, the fatal text,
// and who frees a payload.

#include "update/progress.h"

#include <gtest/gtest.h>

#include <string>

#include "support/fake_platform.h"
#include "util/text.h"

namespace zr {
namespace {

using test::FakePlatform;

// The window's message handler depends on these values.
static_assert(WM_UPDATE_PROGRESS == 0x8001);
static_assert(WM_UPDATE_SPEED == 0x8002);
static_assert(WM_UPDATE_STATUS_TEXT == 0x8003);
static_assert(WM_UPDATE_FATAL_TEXT == 0x8004);
static_assert(WM_UPDATE_SUCCEEDED == 0x8007);
static_assert(WM_UPDATE_FINISHED == 0x8009);

// The one status text the fake received, as UTF-8 so that failures print readably.
std::string OnlyStatusText(const FakePlatform& platform) {
  EXPECT_EQ(platform.posted.size(), 1u);
  if (platform.posted.empty() || !platform.posted[0].text) return "(no text)";
  EXPECT_EQ(platform.posted[0].message, WM_UPDATE_STATUS_TEXT);
  return WideToUtf8(*platform.posted[0].text);
}

TEST(PostStatusText, FormatsIntegersAndNarrowNames) {
  struct Case {
    const char* name;
    std::wstring format;
    int first;
    int second;
    std::string file;
    std::string expected;
  } cases[] = {
      {"file line", L"%d/%d 正在更新文件 %s", 3, 10, "投屏 助手.dll", "3/10 正在更新文件 投屏 助手.dll"},
      {"rollback line with empty name", L"%d/%d 正在回滚文件(%s)", 1, 3, "", "1/3 正在回滚文件()"},
      {"negative and large numbers", L"%d|%d|%s", -7, 2147483647, "x", "-7|2147483647|x"},
      {"percent signs in the name stay", L"%d/%d %s", 1, 1, "100%d.dll", "1/1 100%d.dll"},
      {"four-byte characters", L"%d/%d 😀%s", 1, 2, "𠀋.txt", "1/2 😀𠀋.txt"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    FakePlatform platform;
    EXPECT_TRUE(PostStatusText(platform, c.format.c_str(), c.first, c.second, c.file.c_str()));
    EXPECT_EQ(OnlyStatusText(platform), c.expected);
  }
}

TEST(PostStatusText, PostsATextWithoutConversionsUnchanged) {
  FakePlatform platform;
  EXPECT_TRUE(PostStatusText(platform, L"更新完成！"));
  EXPECT_EQ(OnlyStatusText(platform), "更新完成！");
  EXPECT_EQ(platform.posted[0].message, WM_UPDATE_STATUS_TEXT);
}

TEST(PostStatusText, KeepsAtMost1023BytesAndNeverHalfACharacter) {
  // prefix of ASCII bytes, then the tail; the buffer keeps 1023 bytes at most.
  struct Case {
    const char* name;
    size_t prefix;
    std::string tail;
    size_t expectedBytes;
  } cases[] = {
      {"short text", 10, "", 10},
      {"exactly 1023 bytes", 1023, "", 1023},
      {"1024 bytes lose the last", 1024, "", 1023},
      {"far too long", 5000, "", 1023},
      {"three-byte character ending at 1023", 1020, "文", 1023},
      {"three-byte character cut after one byte", 1022, "文", 1022},
      {"three-byte character cut after two bytes", 1021, "文", 1021},
      {"two-byte character cut after one byte", 1022, "é", 1022},
      {"two-byte character ending at 1023", 1021, "é", 1023},
      {"four-byte character cut after three bytes", 1020, "😀", 1020},
      {"four-byte character cut after one byte", 1022, "😀", 1022},
      {"four-byte character ending at 1023", 1019, "😀", 1023},
      {"whole characters before the cut survive", 1017, "文文文", 1023},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string name = std::string(c.prefix, 'a') + c.tail;
    FakePlatform platform;
    PostStatusText(platform, L"%s", name.c_str());
    const std::string shown = OnlyStatusText(platform);
    EXPECT_EQ(shown.size(), c.expectedBytes);
    EXPECT_EQ(shown, name.substr(0, c.expectedBytes));
  }
}

TEST(PostStatusText, TheFormatCountsTowardsTheLimit) {
  FakePlatform platform;
  const std::wstring format = std::wstring(1000, L'文') + L"%d";  // 3000 bytes of format
  PostStatusText(platform, format.c_str(), 42);
  EXPECT_EQ(OnlyStatusText(platform), WideToUtf8(std::wstring(341, L'文')));  // 1023 bytes
}

TEST(PostStatusText, AFailedPostFreesThePayloadAndReportsIt) {
  FakePlatform platform;
  platform.postFails = true;  // the fake then keeps nothing: a payload left behind would leak
  EXPECT_FALSE(PostStatusText(platform, L"%d/%d %s", 1, 2, "a.dll"));
  EXPECT_FALSE(PostStatusText(platform, std::wstring(3000, L'x').c_str()));
  EXPECT_TRUE(platform.posted.empty());
  EXPECT_EQ(platform.log.size(), 2u);  // both were attempted
}

TEST(PostFatalText, HasNoLengthLimit) {
  FakePlatform platform;
  const std::wstring longText(20000, L'退');
  EXPECT_TRUE(PostFatalText(platform, longText.c_str()));
  ASSERT_EQ(platform.posted.size(), 1u);
  EXPECT_EQ(platform.posted[0].message, WM_UPDATE_FATAL_TEXT);
  ASSERT_TRUE(platform.posted[0].text);
  EXPECT_EQ(*platform.posted[0].text, longText);
}

TEST(PostFatalText, FormatsWideArguments) {
  FakePlatform platform;
  EXPECT_TRUE(PostFatalText(platform, L"%ls 失败 (%d)", L"退出Zoria投屏助手", 4003));
  ASSERT_EQ(platform.posted.size(), 1u);
  ASSERT_TRUE(platform.posted[0].text);
  EXPECT_EQ(WideToUtf8(*platform.posted[0].text), "退出Zoria投屏助手 失败 (4003)");
}

TEST(PostFatalText, AFailedPostFreesThePayloadAndReportsIt) {
  FakePlatform platform;
  platform.postFails = true;
  EXPECT_FALSE(PostFatalText(platform, L"退出Zoria投屏助手失败，请重启电脑后重试！"));
  EXPECT_TRUE(platform.posted.empty());
}

}  // namespace
}  // namespace zr
