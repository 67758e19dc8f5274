// The closing stage against the fake: the exact sequence of process checks, sleeps, the one
// question, quit requests and terminations for each way the product can behave.

#include "update/apply.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/fake_platform.h"
#include "update/outcome.h"
#include "update/progress.h"
#include "util/text.h"

namespace zr {
namespace {

using test::FakePlatform;
using test::FakeProcess;

constexpr uint32_t kProductId = 4242;
const std::wstring kQuestion =
    L"questionbox update|box_close_tool|update|cancel";
const std::wstring kTerminate = L"terminate 4242 4294967295";

// The fake with the product running from the updater's own directory.
FakePlatform WithProduct(FakeProcess process) {
  FakePlatform platform;
  process.path = platform.moduleDirectory + L"\\zrCastrix.exe";
  platform.processes[kProductId] = process;
  return platform;
}

std::vector<std::wstring> Repeat(int times, const std::vector<std::wstring>& lines) {
  std::vector<std::wstring> out;
  for (int i = 0; i < times; ++i) out.insert(out.end(), lines.begin(), lines.end());
  return out;
}

std::vector<std::wstring> Join(std::initializer_list<std::vector<std::wstring>> parts) {
  std::vector<std::wstring> out;
  for (const auto& part : parts) out.insert(out.end(), part.begin(), part.end());
  return out;
}

// Log lines as UTF-8, so that a mismatch prints readably.
std::vector<std::string> Narrow(const std::vector<std::wstring>& lines) {
  std::vector<std::string> out;
  for (const auto& line : lines) out.push_back(WideToUtf8(line));
  return out;
}

const std::vector<std::wstring> kWaitPoll = {L"find 4242", L"sleep 1000"};

TEST(CloseRunningProduct, NotRunningPassesStraightThrough) {
  FakePlatform platform;
  EXPECT_EQ(CloseRunningProduct(platform), UpdateOutcome::kOk);
  EXPECT_EQ(Narrow(platform.log), Narrow({L"find 0", L"find 0"}));
  EXPECT_EQ(platform.clock, 0u);
  EXPECT_TRUE(platform.events.empty());
}

TEST(CloseRunningProduct, ProductInAnotherDirectoryIsLeftAlone) {
  FakePlatform platform;
  platform.processes[kProductId] = {L"C:\\Program Files\\Other\\zrCastrix.exe"};
  EXPECT_EQ(CloseRunningProduct(platform), UpdateOutcome::kOk);
  EXPECT_EQ(Narrow(platform.log), Narrow({L"find 0", L"find 0"}));
  EXPECT_EQ(platform.processes.count(kProductId), 1u);
}

TEST(CloseRunningProduct, ProductEndingDuringTheWaitIsNotAsked) {
  FakeProcess process;
  process.exitsAfterMs = 2500;
  FakePlatform platform = WithProduct(process);
  EXPECT_EQ(CloseRunningProduct(platform), UpdateOutcome::kOk);
  EXPECT_EQ(Narrow(platform.log), Narrow(Join({Repeat(3, kWaitPoll), {L"find 0", L"find 0"}})));
  EXPECT_EQ(platform.clock, 3000u);
}

TEST(CloseRunningProduct, AnsweredYesTheProductEndsAsItAllows) {
  const std::vector<std::wstring> kTerminated = {L"find 4242", L"find 4242", kTerminate, L"sleep 2000"};
  const struct {
    const char* name;
    bool quitsOnRequest;
    bool hasWindow;
    std::vector<std::wstring> afterTheWait;
    uint32_t clock;
  } cases[] = {
      // It quits 500 ms after its window is asked and is never terminated.
      {"quits on request", true, true,
       {L"find 4242", kQuestion, L"quit-window 4242", L"sleep 1000", L"find 0"}, 6000},
      {"ignores the request: terminated in attempt one", false, true,
       Join({{L"find 4242", kQuestion, L"quit-window 4242", L"sleep 1000"}, kTerminated, {L"find 0"}}), 8000},
      {"no window: terminated at once", true, false,
       Join({{L"find 4242", kQuestion, L"quit-window none"}, kTerminated, {L"find 0"}}), 7000},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    FakeProcess process;
    process.quitsOnRequest = c.quitsOnRequest;
    process.hasWindow = c.hasWindow;
    FakePlatform platform = WithProduct(process);
    platform.boxAnswers = {BoxAnswer::kFirst};
    EXPECT_EQ(CloseRunningProduct(platform), UpdateOutcome::kOk);
    EXPECT_EQ(Narrow(platform.log), Narrow(Join({Repeat(5, kWaitPoll), c.afterTheWait})));
    EXPECT_EQ(platform.clock, c.clock);
    EXPECT_TRUE(platform.events.empty());
  }
}

TEST(CloseRunningProduct, ProductThatNeverEndsGivesUpAfterFourteenSeconds) {
  FakeProcess process;
  process.quitsOnRequest = false;
  process.terminable = false;
  FakePlatform platform = WithProduct(process);
  platform.boxAnswers = {BoxAnswer::kFirst, BoxAnswer::kFirst, BoxAnswer::kFirst};
  EXPECT_EQ(CloseRunningProduct(platform), UpdateOutcome::kCloseFailed);
  EXPECT_EQ(Narrow(platform.log),
            Narrow(Join({Repeat(5, kWaitPoll),
                         {L"find 4242", kQuestion, L"quit-window 4242", L"sleep 1000"},
                         Repeat(4, {L"find 4242", L"find 4242", kTerminate, L"sleep 2000"}),
                         {L"find 4242", L"fatal box_exit_reboot"}})));
  EXPECT_EQ(platform.clock, 5000u + 1000u + 8000u);
  EXPECT_EQ(platform.boxAnswers.size(), 2u) << "the user is asked once";
  ASSERT_EQ(platform.events.size(), 1u);
  EXPECT_EQ(platform.events[0].event.kind, UpdateEvent::Kind::kFatalText);
}

TEST(CloseRunningProduct, CancelTellsTheUpdaterToQuitAndKeepsTheProduct) {
  FakeProcess process;
  FakePlatform platform = WithProduct(process);
  platform.boxAnswers = {BoxAnswer::kSecond};
  EXPECT_EQ(CloseRunningProduct(platform), UpdateOutcome::kUserCancelled);
  ASSERT_EQ(platform.events.size(), 1u);
  EXPECT_EQ(platform.events[0].event.kind, UpdateEvent::Kind::kQuit);
  EXPECT_EQ(platform.processes.count(kProductId), 1u);
  EXPECT_EQ(platform.clock, 5000u);
  const auto& log = platform.log;
  EXPECT_EQ(log.size(), 5u * 2 + 3);
  EXPECT_EQ(WideToUtf8(log[log.size() - 2]), WideToUtf8(kQuestion));
  for (const auto& line : log) {
    EXPECT_EQ(line.find(L"terminate"), std::wstring::npos);
    EXPECT_EQ(line.find(L"quit-window"), std::wstring::npos);
  }
}

TEST(CloseRunningProduct, AnyAnswerButCancelConfirms) {
  for (int answer : {6, 8, 0, 1, 2, -1, 1000}) {
    SCOPED_TRACE(answer);
    FakeProcess process;
    process.quitsOnRequest = false;
    FakePlatform platform = WithProduct(process);
    platform.boxAnswers = {static_cast<BoxAnswer>(answer)};
    EXPECT_EQ(CloseRunningProduct(platform), UpdateOutcome::kOk);
    EXPECT_EQ(platform.processes.count(kProductId), 0u) << "terminated";
    EXPECT_EQ(platform.clock, 8000u);
    EXPECT_TRUE(platform.events.empty());
  }
}

// The engine asks for the product's path beside the updater; how a running process's path is
// compared with it (letter case, dots) is the platform's, proven in product_process_win_test.cpp.
TEST(CloseRunningProduct, LooksForTheProductBesideTheUpdater) {
  struct Case {
    const char* name;
    std::wstring moduleDirectory;
    std::wstring processPath;
    bool found;
  } cases[] = {
      {"same directory", L"C:\\Zoria", L"C:\\Zoria\\zrCastrix.exe", true},
      {"directory with trailing separator", L"C:\\Zoria\\", L"C:\\Zoria\\zrCastrix.exe", true},
      {"parent directory", L"C:\\Zoria\\bin", L"C:\\Zoria\\zrCastrix.exe", false},
      {"another file name", L"C:\\Zoria", L"C:\\Zoria\\zrCastrix2.exe", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    FakePlatform platform;
    platform.moduleDirectory = c.moduleDirectory;
    FakeProcess process;
    process.path = c.processPath;
    process.exitsAfterMs = 1;  // ends during the first sleep if it is waited for
    platform.processes[kProductId] = process;
    EXPECT_EQ(CloseRunningProduct(platform), UpdateOutcome::kOk);
    EXPECT_EQ(platform.clock, c.found ? 1000u : 0u);
  }
}

}  // namespace
}  // namespace zr
