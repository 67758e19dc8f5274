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

std::string Manifest(const std::wstring& tmp, const std::wstring& path, const std::string& md5 = "") {
  return "<config><version>3.2.0</version><file><md5>" + md5 + "</md5><tmp>" + std::string(tmp.begin(), tmp.end()) +
         "</tmp><path>" + std::string(path.begin(), path.end()) + "</path></file></config>";
}

// Index of the first line of the record that holds every one of `parts`, or -1.
int RecordLine(const FakePlatform& p, const std::vector<std::string>& parts) {
  for (size_t i = 0; i < p.record.size(); ++i) {
    if (std::all_of(parts.begin(), parts.end(), [&](const std::string& part) { return p.record[i].find(part) != std::string::npos; })) {
      return static_cast<int>(i);
    }
  }
  return -1;
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

// The fake with the updater in kDir, beside an empty download cache.
FakePlatform InTheProductFolder() {
  FakePlatform platform;
  platform.moduleDirectory = kDir;
  platform.directories = {kDir, kDir + L"\\cache", kDir + L"\\cache\\update"};
  return platform;
}

class UpdateWorker : public ::testing::Test {
 protected:
  FakePlatform platform = InTheProductFolder();
  CUpdateContext context;
};

TEST_F(UpdateWorker, NoConfigGivesTheRetryBoxAndRetryRepeatsTheFailure) {
  platform.boxAnswers = {BoxAnswer::kFirst, BoxAnswer::kFirst, BoxAnswer::kSecond};  // retry, retry, then the other button
  EXPECT_EQ(RunUpdate(context, platform, L""), UpdateOutcome::kManifestInvalid);

  EXPECT_EQ(Count(platform, L"linkbox"), 3);
  EXPECT_EQ(Count(platform, L"linkbox update|box_update_failed_goto_offical_site|retry|ok|goto_offical_site"), 3);
  // Each attempt: parsing line, progress 0, speed -1, failure line; the finished message once.
  using Kind = UpdateEvent::Kind;
  const std::vector<Kind> attempt = {Kind::kStatusText, Kind::kProgress, Kind::kSpeed, Kind::kStatusText};
  std::vector<Kind> expected;
  for (int i = 0; i < 3; ++i) expected.insert(expected.end(), attempt.begin(), attempt.end());
  expected.push_back(Kind::kFinished);
  EXPECT_EQ(platform.EventKinds(), expected);
  EXPECT_EQ(platform.events[1].event.value, 0);
  EXPECT_EQ(platform.events[2].event.value, -1);
  EXPECT_EQ(platform.StatusTexts().front(), L"pro_parsing_config");
  EXPECT_EQ(platform.StatusTexts()[1], L"pro_parse_config_failed");
  EXPECT_EQ(platform.reportsSent, 0);
  EXPECT_EQ(Find(platform, L"rmtree"), -1);
}

TEST_F(UpdateWorker, ClosingTheBoxEndsWithTheManifestCode) {
  platform.boxAnswers = {BoxAnswer::kClosed};
  EXPECT_EQ(RunUpdate(context, platform, kConfig), UpdateOutcome::kManifestInvalid);
  EXPECT_EQ(platform.EventKinds().back(), UpdateEvent::Kind::kFinished);
  EXPECT_EQ(Count(platform, L"read " + kConfig), 1);
}

TEST_F(UpdateWorker, ConfigWithoutFileEntriesIsUnusable) {
  platform.files[kConfig] =
      "<config><version>3.2.0</version><removedfiles><item><path>C:\\x</path></item></removedfiles></config>";
  platform.boxAnswers = {BoxAnswer::kSecond};
  EXPECT_EQ(RunUpdate(context, platform, kConfig), UpdateOutcome::kManifestInvalid);
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

  EXPECT_EQ(RunUpdate(context, platform, kConfig), UpdateOutcome::kOk);
  EXPECT_EQ(Count(platform, L"read " + kConfig), 2);
  EXPECT_EQ(context.files.size(), 1u);  // emptied before the second attempt
  EXPECT_EQ(platform.files[path], "new");
  EXPECT_EQ(platform.EventKinds().back(), UpdateEvent::Kind::kSucceeded);
}

TEST_F(UpdateWorker, SuccessSendsNoReportAndKeepsTheCache) {
  const std::wstring tmp = kDir + L"\\cache\\update\\a.dll";
  platform.files[tmp] = "new";
  platform.files[kConfig] = Manifest(tmp, kDir + L"\\a.dll");
  EXPECT_EQ(RunUpdate(context, platform, kConfig), UpdateOutcome::kOk);

  const std::vector<UpdateEvent::Kind> kinds = platform.EventKinds();
  EXPECT_EQ(std::count(kinds.begin(), kinds.end(), UpdateEvent::Kind::kFinished), 0);
  EXPECT_EQ(std::count(kinds.begin(), kinds.end(), UpdateEvent::Kind::kSucceeded), 1);
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

  EXPECT_EQ(RunUpdate(context, platform, kConfig), UpdateOutcome::kMoveFailed);

  const int box = Find(platform, L"linkbox update|box_update_failed_goto_offical_site|ok|(none)|goto_offical_site");
  const int rollbackLine = Find(platform, L"status pro_rollback_dds(1,1,a.dll)");
  const int cache = Find(platform, L"rmtree C:\\Program Files\\Zoria\\cache\\update\\");
  const int report = Find(platform, L"report 4001");
  const int finished = Find(platform, L"finished");
  ASSERT_GE(box, 0);
  EXPECT_LT(box, rollbackLine);
  EXPECT_LT(rollbackLine, cache);
  EXPECT_LT(cache, report);
  EXPECT_LT(report, finished);
  EXPECT_EQ(Count(platform, L"linkbox"), 1);
  EXPECT_EQ(Count(platform, L"rmtree"), 1);
  EXPECT_EQ(platform.reportsSent, 1);
  EXPECT_EQ(Count(platform, L"finished"), 1);
  EXPECT_EQ(Count(platform, L"succeeded"), 0);

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
  EXPECT_EQ(RunUpdate(context, platform, kConfig), UpdateOutcome::kUserCancelled);
  EXPECT_EQ(platform.lastReport, UpdateOutcome::kUserCancelled);
  EXPECT_EQ(platform.EventKinds().back(), UpdateEvent::Kind::kFinished);
  EXPECT_EQ(platform.processes.count(42), 1u);  // left running
}

// An updater asked to end (its window closed, the session ending) is waited for: it stops at
// its next step, leaving the product running and every file old, and neither deletes the
// cache nor sends the report, which would keep the ending process waiting.
TEST_F(UpdateWorker, AnUpdaterAskedToEndStopsAtItsNextStep) {
  struct Case {
    const char* name;
    bool productRunning;
    bool endsBeforeTheRun;  // else while the first box is open
  } cases[] = {
      {"asked before the product is", true, true},
      {"asked while the question box is open", true, false},
      {"asked while the failure box is open", false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FakePlatform p = InTheProductFolder();
    p.files[kDir + L"\\cache\\update\\a.dll"] = "new a";
    p.files[kDir + L"\\cache\\update\\b.dll"] = "new b";
    p.files[kDir + L"\\a.dll"] = "old a";
    p.files[kDir + L"\\b.dll"] = "old b";
    p.lockedPaths.insert(kDir + L"\\b.dll");  // a failing run, when it gets to moving
    p.files[kConfig] =
        "<config><version>3.2.0</version>"
        "<file><tmp>C:\\Program Files\\Zoria\\cache\\update\\a.dll</tmp><path>C:\\Program Files\\Zoria\\a.dll</path></file>"
        "<file><tmp>C:\\Program Files\\Zoria\\cache\\update\\b.dll</tmp><path>C:\\Program Files\\Zoria\\b.dll</path></file>"
        "</config>";
    if (c.productRunning) p.processes[42] = {kDir + L"\\zrCastrix.exe"};
    p.shuttingDown = c.endsBeforeTheRun;
    p.onBox = [](FakePlatform& fake) { fake.shuttingDown = true; };
    CUpdateContext run;
    EXPECT_NE(RunUpdate(run, p, kConfig), UpdateOutcome::kOk);
    EXPECT_EQ(p.EventKinds().back(), UpdateEvent::Kind::kFinished);
    EXPECT_EQ(p.processes.count(42), c.productRunning ? 1u : 0u);
    EXPECT_EQ(Count(p, L"terminate") + Count(p, L"quit-window"), 0);
    EXPECT_EQ(p.files[kDir + L"\\a.dll"], "old a");
    EXPECT_EQ(p.reportsSent, 0);
    EXPECT_EQ(p.files.count(kDir + L"\\cache\\update\\b.dll"), 1u) << "the cache is left";
  }
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
  EXPECT_EQ(RunUpdate(context, platform, kConfig), UpdateOutcome::kManifestInvalid);
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
    UpdateOutcome result;
    const wchar_t* line;  // the status line before the box
  } cases[] = {
      {"the backup is held", [&](FakePlatform& p) { p.lockedPaths.insert(a + L".bak"); }, UpdateOutcome::kRecoveryFailed,
       L"pro_restore_failed_dds(1,1,a.dll)"},
      {"the journal is held", [&](FakePlatform& p) { p.lockedPaths.insert(kDir + L"\\zrUpdater.journal"); },
       UpdateOutcome::kRecoveryFailed, L"pro_journal_damaged"},
      {"the user keeps the product",
       [&](FakePlatform& p) {
         p.processes[42] = {kDir + L"\\zrCastrix.exe"};
         p.boxAnswers = {BoxAnswer::kSecond};
       },
       UpdateOutcome::kUserCancelled, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FakePlatform p = InTheProductFolder();
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
    EXPECT_EQ(p.lastReport, c.result);
    EXPECT_EQ(p.EventKinds().back(), UpdateEvent::Kind::kFinished);
    if (c.line) {
      EXPECT_LT(Find(p, std::wstring(L"status ") + c.line), Find(p, L"linkbox update|box_update_failed_goto_offical_site|ok|(none)|goto_offical_site"));
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

// The record of a failed run: a line names what failed (the file or entry, and the error), and
// the run ends with its outcome and, when a report is sent, what became of it.
TEST_F(UpdateWorker, TheRecordOfAFailingRunNamesWhatFailedAndWhy) {
  const std::wstring a = kDir + L"\\a.dll", staged = kDir + L"\\cache\\update\\a.dll";
  const std::string shortByOne = "18b0730914ed618a3c117b4e90996058";  // of "new a!"
  const std::string inTime = "usage report delivered, HTTP status 200";
  struct Case {
    const char* name;
    std::function<void(FakePlatform&)> arrange;
    UpdateOutcome outcome;
    std::string ended;               // the outcome's line: the report's code and the reason
    std::vector<std::string> named;  // all in one line
    std::string report;              // the line on the report; empty: none is sent
  } cases[] = {
      {"the target is held", [&](FakePlatform& p) { p.lockedPaths.insert(a); }, UpdateOutcome::kMoveFailed,
       "outcome 4001: a file could not be moved", {WideToUtf8(a), "error 32"}, inTime},
      {"the staged file is one byte short",
       [&](FakePlatform& p) { p.files[kConfig] = Manifest(staged, a, shortByOne); }, UpdateOutcome::kCheckRefused,
       "outcome 4001: an entry was refused", {"entry 1/1", WideToUtf8(staged), shortByOne}, inTime},
      {"the staged file cannot be read part-way",
       [&](FakePlatform& p) {
         p.files[kConfig] = Manifest(staged, a, shortByOne);
         p.failReadAt = 2;
       },
       UpdateOutcome::kCheckRefused, "outcome 4001: an entry was refused", {"entry 1/1", WideToUtf8(staged), "error 23"},
       inTime},
      {"the manifest is missing", [&](FakePlatform& p) { p.files.erase(kConfig); }, UpdateOutcome::kManifestInvalid,
       "outcome 1005: the manifest is unusable", {WideToUtf8(kConfig), "error 3"}, ""},
      {"the product would not end, the report times out",
       [&](FakePlatform& p) {
         test::FakeProcess product;
         product.path = kDir + L"\\zrCastrix.exe";
         product.quitsOnRequest = product.terminable = false;
         p.processes[42] = product;
         p.boxAnswers = {BoxAnswer::kFirst};
         p.reportDelivery = {ReportDelivery::Outcome::kTimedOut, 0, 0};
       },
       UpdateOutcome::kCloseFailed, "outcome 4003: the product would not end",
       {"terminating the product (process 42), attempt 4"}, "usage report not delivered"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FakePlatform p = InTheProductFolder();
    p.files[a] = "old a";
    p.files[staged] = "new a";
    p.files[kConfig] = Manifest(staged, a);
    c.arrange(p);
    CUpdateContext run;
    EXPECT_EQ(RunUpdate(run, p, kConfig), c.outcome);
    EXPECT_GE(RecordLine(p, c.named), 0);
    const int outcome = RecordLine(p, {c.ended});
    ASSERT_GE(outcome, 0);
    const int report = RecordLine(p, {"usage report"});
    if (c.report.empty()) {
      EXPECT_EQ(report, -1);
    } else {
      EXPECT_EQ(report, outcome + 1);
      EXPECT_EQ(RecordLine(p, {c.report}), report);
    }
  }
}

}  // namespace
}  // namespace zr
