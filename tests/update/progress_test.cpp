// What the engine tells the window: the status line's texts with their values put in and its
// 1024-byte buffer, the fatal text, and the queue that carries the events from the worker to
// the window.

#include "update/progress.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>

#include "strings/texts.h"
#include "support/fake_platform.h"
#include "update/update_events.h"
#include "util/text.h"

namespace zr {
namespace {

using test::FakePlatform;

// The one status text the fake received, as UTF-8 so that failures print readably.
std::string OnlyStatusText(const FakePlatform& platform) {
  EXPECT_EQ(platform.events.size(), 1u);
  if (platform.events.empty()) return "(no text)";
  EXPECT_EQ(platform.events[0].event.kind, UpdateEvent::Kind::kStatusText);
  return WideToUtf8(platform.events[0].event.text);
}

// One text under the id "t".
class OneText final : public ITexts {
 public:
  explicit OneText(std::wstring text) : m_text(std::move(text)) {}
  std::wstring Get(const std::wstring& id) const override { return id == L"t" ? m_text : std::wstring(); }

 private:
  std::wstring m_text;
};

// Each value goes where the text says, by its place; nothing in a text is ever a printf format:
// a "%" the text holds otherwise, or one whose value is missing or of the other kind, stays.
TEST(PostStatus, PutsEachValueInItsPlaceAndLeavesEveryOtherPercentAlone) {
  struct Case {
    const char* name;
    std::wstring text;
    size_t index;
    size_t count;
    std::wstring file;
    std::string expected;
  } cases[] = {
      {"file line", L"%d/%d 正在更新文件 %s", 2, 10, L"投屏 助手.dll", "3/10 正在更新文件 投屏 助手.dll"},
      {"rollback line with empty name", L"%d/%d 正在回滚文件(%s)", 0, 3, L"", "1/3 正在回滚文件()"},
      {"large numbers", L"%d|%d|%s", 4294967294u, 4294967295u, L"x", "4294967295|4294967295|x"},
      {"percent signs in the name stay", L"%d/%d %s", 0, 1, L"100%d.dll", "1/1 100%d.dll"},
      {"four-byte characters", L"%d/%d 😀%s", 0, 2, L"𠀋.txt", "1/2 😀𠀋.txt"},
      {"a percent the text holds", L"已完成 100% %d/%d，%s 50%", 0, 2, L"a.dll", "已完成 100% 1/2，a.dll 50%"},
      {"printf's other conversions", L"%n%p%ls%x%-5d %d/%d %s %", 0, 2, L"a", "%n%p%ls%x%-5d 1/2 a %"},
      {"%% is one percent", L"%d/%d %s 100%%", 0, 2, L"a", "1/2 a 100%"},
      {"a conversion of the other kind", L"%s/%d %d %s", 0, 2, L"a", "%s/1 2 a"},
      {"more conversions than values", L"%d/%d %s %d %s", 0, 2, L"a", "1/2 a %d %s"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    FakePlatform platform;
    PostStatus(platform, OneText(c.text), EntryText{L"t"}, c.index, c.count, c.file);
    EXPECT_EQ(OnlyStatusText(platform), c.expected);
  }
  // The other kinds of text.
  FakePlatform platform;
  PostStatus(platform, OneText(L"更新完成！%d"), PlainText{L"t"});
  PostStatus(platform, OneText(L"文件(%s)正被占用 %d"), NamedText{L"t"}, L"a.dll");
  PostStatus(platform, OneText(L"错误码:(%d) %s"), CodeText{L"t"}, -5);
  EXPECT_EQ(platform.StatusTexts(), (std::vector<std::wstring>{L"更新完成！%d", L"文件(a.dll)正被占用 %d", L"错误码:(-5) %s"}));
}

TEST(PostStatus, KeepsAtMost1023BytesAndNeverHalfACharacter) {
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
    PostStatus(platform, OneText(L"%s"), NamedText{L"t"}, Utf8ToWide(name));
    const std::string shown = OnlyStatusText(platform);
    EXPECT_EQ(shown.size(), c.expectedBytes);
    EXPECT_EQ(shown, name.substr(0, c.expectedBytes));
  }
}

TEST(PostStatus, TheTextCountsTowardsTheLimit) {
  FakePlatform platform;
  PostStatus(platform, OneText(std::wstring(1000, L'文') + L"%d"), CodeText{L"t"}, 42);  // 3000 bytes of text
  EXPECT_EQ(OnlyStatusText(platform), WideToUtf8(std::wstring(341, L'文')));          // 1023 bytes
}

TEST(PostFatal, HasNoLengthLimitAndFillsNothing) {
  FakePlatform platform;
  const std::wstring longText = std::wstring(20000, L'退') + L" %d %s %";
  PostFatal(platform, OneText(longText), PlainText{L"t"});
  ASSERT_EQ(platform.events.size(), 1u);
  EXPECT_EQ(platform.events[0].event.kind, UpdateEvent::Kind::kFatalText);
  EXPECT_EQ(platform.events[0].event.text, longText);
}

// The worker reports 20,000 status lines while the window takes them slowly: every one comes,
// in order, and the window is woken once per time it found the queue empty, never more.
TEST(EventQueue, KeepsOrderLosesNothingAndWakesOnceWhileEventsWait) {
  std::atomic<int> wakes{0};
  std::atomic<bool> wakeFails{false};
  CEventQueue queue([&] {
    ++wakes;
    return !wakeFails.load();
  });
  EXPECT_FALSE(queue.Take().has_value());
  queue.Report({UpdateEvent::Kind::kProgress, 5});
  queue.Report({UpdateEvent::Kind::kFinished});
  EXPECT_EQ(wakes, 1) << "one wake-up for events that wait together";
  EXPECT_EQ(queue.Take()->value, 5);
  EXPECT_EQ(queue.Take()->kind, UpdateEvent::Kind::kFinished);
  EXPECT_FALSE(queue.Take().has_value());

  wakeFails = true;  // the window's message queue is full: the next report asks again
  queue.Report({UpdateEvent::Kind::kStatusText, 0, L"a"});
  wakeFails = false;
  queue.Report({UpdateEvent::Kind::kStatusText, 0, L"b"});
  EXPECT_EQ(wakes, 3);
  EXPECT_EQ(queue.Take()->text, L"a");
  EXPECT_EQ(queue.Take()->text, L"b");
  EXPECT_FALSE(queue.Take().has_value());

  constexpr int kLines = 20000;
  wakes = 0;
  std::thread worker([&] {
    for (int i = 0; i < kLines; ++i) queue.Report({UpdateEvent::Kind::kStatusText, 0, std::to_wstring(i)});
    queue.Report({UpdateEvent::Kind::kFinished});
  });
  int next = 0, emptied = 0;
  for (bool finished = false; !finished;) {
    std::optional<UpdateEvent> event = queue.Take();
    if (!event) {
      ++emptied;
      std::this_thread::yield();
      continue;
    }
    if (event->kind == UpdateEvent::Kind::kFinished) {
      finished = true;
    } else {
      ASSERT_EQ(event->text, std::to_wstring(next++));
    }
    if (next % 1000 == 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));  // a slow window
  }
  worker.join();
  EXPECT_EQ(next, kLines);
  EXPECT_LE(wakes, emptied + 1);
}

}  // namespace
}  // namespace zr
