// The worker's attempt loop and failure path, against the in-memory platform.
#include "update/update_worker.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "support/fake_platform.h"
#include "update/journal.h"
#include "update/outcome.h"
#include "update/progress.h"
#include "update/update_context.h"
#include "util/text.h"

namespace zr {
namespace {

using test::FakePlatform;

const std::wstring kConfig = L"C:\\Users\\u\\AppData\\update.xml";
const std::wstring kDir = L"C:\\Program Files\\Zoria";

std::string Manifest(const std::wstring& tmp, const std::wstring& path) {
  return "<config><version>3.2.0</version><file><tmp>" + std::string(tmp.begin(), tmp.end()) +
         "</tmp><path>" + std::string(path.begin(), path.end()) + "</path></file></config>";
}

// Index of the first log line starting with prefix, or -1.
int Find(const FakePlatform& p, const std::wstring& prefix, int from = 0) {
  for (size_t i = static_cast<size_t>(from); i < p.log.size(); ++i) {
    if (p.log[i].compare(0, prefix.size(), prefix) == 0) return static_cast<int>(i);
  }
  return -1;
}

int Count(const FakePlatform& p, const std::wstring& prefix) {
  return static_cast<int>(std::count_if(p.log.begin(), p.log.end(), [&](const std::wstring& line) {
    return line.compare(0, prefix.size(), prefix) == 0;
  }));
}

class UpdateWorker : public ::testing::Test {
 protected:
  void SetUp() override {
    platform.moduleDirectory = kDir;
    platform.directories.insert(kDir);
    platform.directories.insert(kDir + L"\\cache");
    platform.directories.insert(kDir + L"\\cache\\update");
  }
  FakePlatform platform;
  CUpdateContext context;
};

TEST_F(UpdateWorker, NoConfigGivesTheRetryBoxAndRetryRepeatsTheFailure) {
  platform.boxAnswers = {BoxAnswer::kFirst, BoxAnswer::kFirst, BoxAnswer::kSecond};  // retry, retry, then the other button
  EXPECT_EQ(RunUpdate(context, platform, L""), RESULT_MANIFEST_INVALID);

  EXPECT_EQ(Count(platform, L"linkbox"), 3);
  EXPECT_EQ(Count(platform, L"linkbox 更新|更新失败，请至官网下载最新安装包！|重试|确定|去官网"), 3);
  // Each attempt: parsing line, progress 0, speed -1, failure line; the finished message once.
  const std::vector<uint32_t> attempt = {WM_UPDATE_STATUS_TEXT, WM_UPDATE_PROGRESS, WM_UPDATE_SPEED,
                                         WM_UPDATE_STATUS_TEXT};
  std::vector<uint32_t> expected;
  for (int i = 0; i < 3; ++i) expected.insert(expected.end(), attempt.begin(), attempt.end());
  expected.push_back(WM_UPDATE_FINISHED);
  EXPECT_EQ(platform.PostedIds(), expected);
  EXPECT_EQ(platform.posted[1].value, 0);
  EXPECT_EQ(platform.posted[2].value, -1);
  EXPECT_EQ(platform.StatusTexts().front(), L"正在解析配置文件...");
  EXPECT_EQ(platform.StatusTexts()[1], L"解析配置文件失败");
  EXPECT_EQ(platform.reportsSent, 0);
  EXPECT_EQ(Find(platform, L"rmtree"), -1);
}

TEST_F(UpdateWorker, ClosingTheBoxEndsWithTheManifestCode) {
  platform.boxAnswers = {BoxAnswer::kClosed};
  EXPECT_EQ(RunUpdate(context, platform, kConfig), RESULT_MANIFEST_INVALID);
  EXPECT_EQ(platform.PostedIds().back(), WM_UPDATE_FINISHED);
  EXPECT_EQ(Count(platform, L"read " + kConfig), 1);
}

TEST_F(UpdateWorker, ConfigWithoutFileEntriesIsUnusable) {
  platform.files[kConfig] =
      "<config><version>3.2.0</version><removedfiles><item><path>C:\\x</path></item></removedfiles></config>";
  platform.boxAnswers = {BoxAnswer::kSecond};
  EXPECT_EQ(RunUpdate(context, platform, kConfig), RESULT_MANIFEST_INVALID);
  EXPECT_EQ(Count(platform, L"linkbox"), 1);
  EXPECT_EQ(context.version, "3.2.0");
}

TEST_F(UpdateWorker, RetryReadsTheManifestAgainFromDisk) {
  const std::wstring tmp = kDir + L"\\cache\\update\\a.dll";
  const std::wstring path = kDir + L"\\a.dll";
  platform.files[tmp] = "new";
  platform.files[path] = "old";
  platform.files[kConfig] = "<config><version>3.2.0</version>";  // cut short: not XML
  platform.boxAnswers = {BoxAnswer::kFirst};
  platform.onBox = [&](FakePlatform& p) { p.files[kConfig] = Manifest(tmp, path); };

  EXPECT_EQ(RunUpdate(context, platform, kConfig), RESULT_OK);
  EXPECT_EQ(Count(platform, L"read " + kConfig), 2);
  EXPECT_EQ(context.files.size(), 1u);  // emptied before the second attempt
  EXPECT_EQ(platform.files[path], "new");
  EXPECT_EQ(platform.PostedIds().back(), WM_UPDATE_SUCCEEDED);
  EXPECT_EQ(platform.posted.back().value, 2);
}

TEST_F(UpdateWorker, SuccessSendsNoReportAndKeepsTheCache) {
  const std::wstring tmp = kDir + L"\\cache\\update\\a.dll";
  platform.files[tmp] = "new";
  platform.files[kConfig] = Manifest(tmp, kDir + L"\\a.dll");
  EXPECT_EQ(RunUpdate(context, platform, kConfig), RESULT_OK);

  const std::vector<uint32_t> ids = platform.PostedIds();
  EXPECT_EQ(std::count(ids.begin(), ids.end(), WM_UPDATE_FINISHED), 0);
  EXPECT_EQ(std::count(ids.begin(), ids.end(), WM_UPDATE_SUCCEEDED), 1);
  EXPECT_EQ(platform.reportsSent, 0);
  EXPECT_EQ(Count(platform, L"linkbox"), 0);
  EXPECT_TRUE(platform.Exists(kDir + L"\\cache\\update"));
}

TEST_F(UpdateWorker, ApplyFailureRunsBoxRollbackCacheRemovalAndReportInOrderOnce) {
  // The first file goes in, the second is held by another program: 4001 after one replacement.
  const std::wstring tmpA = kDir + L"\\cache\\update\\a.dll";
  platform.files[tmpA] = "new a";
  platform.files[kDir + L"\\cache\\update\\b.dll"] = "new b";
  platform.files[kDir + L"\\a.dll"] = "old a";
  platform.files[kDir + L"\\b.dll"] = "old b";
  platform.lockedPaths.insert(kDir + L"\\b.dll");
  platform.files[kDir + L"\\cache\\update\\other.bin"] = "cached";
  platform.files[kDir + L"\\keep.txt"] = "outside the cache";
  platform.files[kConfig] =
      "<config><version>3.2.0</version>"
      "<file><tmp>" + std::string("C:\\Program Files\\Zoria\\cache\\update\\a.dll") +
      "</tmp><path>C:\\Program Files\\Zoria\\a.dll</path></file>"
      "<file><tmp>C:\\Program Files\\Zoria\\cache\\update\\b.dll</tmp>"
      "<path>C:\\Program Files\\Zoria\\b.dll</path></file></config>";

  EXPECT_EQ(RunUpdate(context, platform, kConfig), RESULT_MOVE_FAILED);

  const int box = Find(platform, L"linkbox 更新|更新失败，请至官网下载最新安装包！|确定|(none)|去官网");
  const int rollbackLine = Find(platform, L"post 3 1/1 正在回滚文件(a.dll)");
  const int cache = Find(platform, L"rmtree C:\\Program Files\\Zoria\\cache\\update\\");
  const int report = Find(platform, L"report 4001");
  const int finished = Find(platform, L"post 9");
  ASSERT_GE(box, 0);
  EXPECT_LT(box, rollbackLine);
  EXPECT_LT(rollbackLine, cache);
  EXPECT_LT(cache, report);
  EXPECT_LT(report, finished);
  EXPECT_EQ(Count(platform, L"linkbox"), 1);
  EXPECT_EQ(Count(platform, L"rmtree"), 1);
  EXPECT_EQ(platform.reportsSent, 1);
  EXPECT_EQ(Count(platform, L"post 9"), 1);
  EXPECT_EQ(Count(platform, L"post 7"), 0);

  EXPECT_EQ(platform.files[kDir + L"\\a.dll"], "old a");
  EXPECT_EQ(platform.files[kDir + L"\\b.dll"], "old b");
  EXPECT_EQ(platform.files.count(kDir + L"\\cache\\update\\other.bin"), 0u);
  EXPECT_EQ(platform.files[kDir + L"\\keep.txt"], "outside the cache");
  EXPECT_TRUE(platform.Exists(kDir + L"\\cache"));
}

TEST_F(UpdateWorker, CancelledCloseStillRunsTheFailurePath) {
  platform.files[kDir + L"\\cache\\update\\a.dll"] = "new";
  platform.files[kConfig] = Manifest(kDir + L"\\cache\\update\\a.dll", kDir + L"\\a.dll");
  platform.processes[42] = {kDir + L"\\zrCastrix.exe"};
  platform.boxAnswers = {BoxAnswer::kSecond, BoxAnswer::kFirst};  // cancel the question, confirm the failure box
  EXPECT_EQ(RunUpdate(context, platform, kConfig), RESULT_USER_CANCELLED);
  EXPECT_EQ(platform.lastReportCode, RESULT_USER_CANCELLED);
  EXPECT_EQ(platform.PostedIds().back(), WM_UPDATE_FINISHED);
  EXPECT_EQ(platform.processes.count(42), 1u);  // left running
}

TEST_F(UpdateWorker, AJournalLeftBehindIsFinishedBeforeAnythingElse) {
  const std::wstring a = kDir + L"\\a.dll";
  platform.files[a] = "new a";
  platform.files[a + L".bak"] = "old a";
  platform.files[kDir + L"\\zrUpdater.journal"] = FormatJournal({{a, true}});
  platform.boxAnswers = {BoxAnswer::kClosed};
  EXPECT_EQ(RunUpdate(context, platform, kConfig), RESULT_MANIFEST_INVALID);
  EXPECT_LT(Find(platform, L"move " + a + L".bak -> " + a), Find(platform, L"read " + kConfig));
  EXPECT_EQ(platform.files[a], "old a");
  EXPECT_EQ(platform.files.count(kDir + L"\\zrUpdater.journal"), 0u);
}

TEST_F(UpdateWorker, AnInstallationThatCannotBeMadeWholeIsLeftAlone) {
  const std::wstring a = kDir + L"\\a.dll";
  platform.files[a] = "new a";
  platform.files[a + L".bak"] = "old a";
  platform.files[kDir + L"\\zrUpdater.journal"] = FormatJournal({{a, true}});
  platform.lockedPaths.insert(a + L".bak");
  platform.files[kConfig] = Manifest(kDir + L"\\cache\\update\\a.dll", a);
  EXPECT_EQ(RunUpdate(context, platform, kConfig), RESULT_MOVE_FAILED);
  EXPECT_EQ(Count(platform, L"linkbox 更新|更新失败，请至官网下载最新安装包！|确定|(none)|去官网"), 1);
  EXPECT_EQ(platform.PostedIds().back(), WM_UPDATE_FINISHED);
  EXPECT_EQ(Count(platform, L"read " + kConfig), 0) << "no update runs over it";
  EXPECT_EQ(platform.files.count(kDir + L"\\zrUpdater.journal"), 1u);
}

TEST_F(UpdateWorker, TheCacheIsNeverEmptiedThroughALink) {
  for (const wchar_t* link : {L"\\cache", L"\\cache\\update"}) {
    SCOPED_TRACE(WideToUtf8(link));
    FakePlatform fake;
    fake.moduleDirectory = kDir;
    fake.directories = {kDir, kDir + L"\\cache", kDir + L"\\cache\\update"};
    fake.directoryLinks.insert(kDir + link);
    fake.files[kDir + L"\\cache\\update\\kept.bin"] = "someone else's";
    ClearUpdateCache(fake);
    EXPECT_EQ(fake.files.count(kDir + L"\\cache\\update\\kept.bin"), 1u);
  }
  ClearUpdateCache(platform);  // a plain folder is emptied and removed
  EXPECT_FALSE(platform.Exists(kDir + L"\\cache\\update"));
}

}  // namespace
}  // namespace zr
