// The worker's attempt loop and failure path, against the in-memory platform.
#include "update/update_worker.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

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

// The journal of a run that replaced a.dll ("old a" by "new a") and was killed.
std::string JournalOfA(const std::wstring& a) {
  Journal journal;
  PlannedFile file;
  file.target = a;
  file.existed = true;
  file.backup = a + L".bak";
  file.parking = a + L".tmp";
  file.original = FakePlatform::IdentityOf("old a");
  file.replacements = {FakePlatform::IdentityOf("new a")};
  journal.files = {file};
  return FormatJournal(journal);
}

TEST_F(UpdateWorker, AJournalLeftBehindIsFinishedBeforeAnythingElse) {
  const std::wstring a = kDir + L"\\a.dll";
  platform.files[a] = "new a";
  platform.files[a + L".bak"] = "old a";
  platform.files[kDir + L"\\zrUpdater.journal"] = JournalOfA(a);
  platform.boxAnswers = {BoxAnswer::kClosed};
  EXPECT_EQ(RunUpdate(context, platform, kConfig), RESULT_MANIFEST_INVALID);
  EXPECT_LT(Find(platform, L"move " + a + L".bak -> " + a), Find(platform, L"read " + kConfig));
  EXPECT_EQ(platform.files[a], "old a");
  EXPECT_EQ(platform.files.count(kDir + L"\\zrUpdater.journal"), 0u);
}

// A recovery that cannot be done ends the run before any manifest is read: the status line says
// why before the failure box, one report is sent, and the journal stays for the next start.
TEST_F(UpdateWorker, AnInstallationThatCannotBeMadeWholeIsLeftAloneAndReported) {
  const std::wstring a = kDir + L"\\a.dll";
  struct Case {
    const char* name;
    std::function<void(FakePlatform&)> arrange;
    int32_t result;
    const wchar_t* line;  // the status line before the box
  } cases[] = {
      {"the backup is held", [&](FakePlatform& p) { p.lockedPaths.insert(a + L".bak"); }, RESULT_MOVE_FAILED,
       L"1/1 无法恢复文件(a.dll)，请关闭占用它的程序后重试"},
      {"the journal is held", [&](FakePlatform& p) { p.lockedPaths.insert(kDir + L"\\zrUpdater.journal"); },
       RESULT_MOVE_FAILED, L"无法读取更新记录(zrUpdater.journal)，请重启电脑后重试或重新安装Zoria投屏助手"},
      {"the user keeps the product",
       [&](FakePlatform& p) {
         p.processes[42] = {kDir + L"\\zrCastrix.exe"};
         p.boxAnswers = {BoxAnswer::kSecond};
       },
       RESULT_USER_CANCELLED, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FakePlatform p;
    p.moduleDirectory = kDir;
    p.directories = platform.directories;
    p.files[a] = "new a";
    p.files[a + L".bak"] = "old a";
    p.files[kDir + L"\\zrUpdater.journal"] = JournalOfA(a);
    p.files[kDir + L"\\cache\\update\\a.dll"] = "newer a";
    p.files[kConfig] = Manifest(kDir + L"\\cache\\update\\a.dll", a);
    c.arrange(p);
    const test::FileTable before = p.files;
    CUpdateContext run;
    EXPECT_EQ(RunUpdate(run, p, kConfig), c.result);
    EXPECT_EQ(p.files, before) << "nothing moved, the journal and the cache stay";
    EXPECT_EQ(Count(p, L"read " + kConfig), 0) << "no update runs over it";
    EXPECT_EQ(p.reportsSent, 1);
    EXPECT_EQ(p.lastReportCode, c.result);
    EXPECT_EQ(p.PostedIds().back(), WM_UPDATE_FINISHED);
    if (c.line) {
      EXPECT_LT(Find(p, std::wstring(L"post 3 ") + c.line), Find(p, L"linkbox 更新|更新失败，请至官网下载最新安装包！|确定|(none)|去官网"));
    }
  }
}

TEST_F(UpdateWorker, TheCacheIsNeverEmptiedThroughALink) {
  for (const wchar_t* link : {L"\\cache", L"\\cache\\update"}) {
    SCOPED_TRACE(WideToUtf8(link));
    FakePlatform fake;
    fake.moduleDirectory = kDir;
    fake.directories = {kDir, kDir + L"\\cache", L"D:\\elsewhere", L"D:\\elsewhere\\update"};
    fake.directoryLinks[kDir + link] = L"D:\\elsewhere";
    const std::wstring kept = std::wstring(link) == L"\\cache" ? L"D:\\elsewhere\\update\\kept.bin" : L"D:\\elsewhere\\kept.bin";
    fake.files[kept] = "someone else's";
    ASSERT_TRUE(fake.Exists(kDir + L"\\cache\\update\\kept.bin")) << "reached through the link";
    ClearUpdateCache(fake);
    EXPECT_EQ(fake.files.count(kept), 1u);
  }
  ClearUpdateCache(platform);  // a plain folder is emptied and removed
  EXPECT_FALSE(platform.Exists(kDir + L"\\cache\\update"));
}

}  // namespace
}  // namespace zr
