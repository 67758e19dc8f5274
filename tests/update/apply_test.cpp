// Replacing the product's files, rolling back and recovering, against the fake: exact
// sequences for the ordinary cases, the checks made before anything moves, then sweeps that
// make every single file operation fail, end the process or kill it, in turn.

#include "update/apply.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <iostream>
#include <string>
#include <vector>

#include "support/fake_platform.h"
#include "update/journal.h"
#include "update/outcome.h"
#include "update/progress.h"
#include "update/update_context.h"
#include "update/update_worker.h"
#include "util/text.h"

namespace zr {
namespace {

using test::FakePlatform;
using test::FileTable;

const std::wstring kProduct = L"C:\\Zoria";
const std::wstring kStaging = L"C:\\Zoria\\cache\\update";
const std::wstring kJournal = L"C:\\Zoria\\zrUpdater.journal";

// The fake as an installation in C:\Zoria with its staging folder.
class Installation : public FakePlatform {
 public:
  Installation() {
    moduleDirectory = kProduct;
    directories = {kProduct, kProduct + L"\\cache", kStaging};
  }
};

std::vector<std::string> Narrow(const std::vector<std::wstring>& lines) {
  std::vector<std::string> out;
  for (const auto& line : lines) out.push_back(WideToUtf8(line));
  return out;
}

// Adds an entry whose new content waits at kStaging\<name>.staged.
void Stage(FakePlatform& platform, CUpdateContext& context, const std::wstring& path,
           const std::wstring& stagedName, const std::string& content) {
  const std::wstring staged = kStaging + L"\\" + stagedName + L".staged";
  platform.files[staged] = content;
  context.files.push_back({"", "", staged, path, 0});
}

// ReplaceFiles inside a held file stage, as the worker runs it.
int32_t Replace(CUpdateContext& context, FakePlatform& platform) {
  CFileStage stage(platform);
  EXPECT_TRUE(stage.Enter());
  return ReplaceFiles(context, platform);
}

TEST(ReplaceFiles, JournalsThenReplacesAnExistingFileAndCreatesANewOne) {
  Installation platform;
  platform.files[L"C:\\Zoria\\a.dll"] = "old a";
  CUpdateContext context;
  Stage(platform, context, L"C:\\Zoria\\a.dll", L"a", "new a");
  Stage(platform, context, L"C:\\Zoria\\plugins\\新 目录\\b.dll", L"b", "new b");

  EXPECT_EQ(Replace(context, platform), RESULT_OK);
  EXPECT_EQ(Narrow(platform.log),
            Narrow({L"write C:\\Zoria\\zrUpdater.journal",
                    L"post 3 1/2 正在更新文件 a.dll",
                    L"move C:\\Zoria\\a.dll -> C:\\Zoria\\a.dll.bak",
                    L"move C:\\Zoria\\cache\\update\\a.staged -> C:\\Zoria\\a.dll",
                    L"post 1",
                    L"post 3 2/2 正在更新文件 b.dll",
                    L"mkdirs C:\\Zoria\\plugins\\新 目录\\b.dll",
                    L"move C:\\Zoria\\cache\\update\\b.staged -> C:\\Zoria\\plugins\\新 目录\\b.dll",
                    L"append C:\\Zoria\\zrUpdater.journal",
                    L"delete C:\\Zoria\\a.dll.bak",
                    L"delete C:\\Zoria\\zrUpdater.journal",
                    L"post 1",
                    L"post 3 更新完成！"}));
  ASSERT_EQ(platform.posted.size(), 5u);
  EXPECT_EQ(platform.posted[1].value, 50);
  EXPECT_EQ(platform.posted[3].value, 100);
  EXPECT_EQ(platform.files, (FileTable{{L"C:\\Zoria\\a.dll", "new a"},
                                       {L"C:\\Zoria\\plugins\\新 目录\\b.dll", "new b"}}));
  ASSERT_EQ(context.backups.size(), 2u);
  EXPECT_EQ(context.backups[0].target, L"C:\\Zoria\\a.dll");
  EXPECT_EQ(context.backups[0].backup, L"C:\\Zoria\\a.dll.bak");
  EXPECT_EQ(context.backups[1].target, L"C:\\Zoria\\plugins\\新 目录\\b.dll");
  EXPECT_EQ(context.backups[1].backup, L"");
  EXPECT_EQ(platform.directories.count(L"C:\\Zoria\\plugins\\新 目录"), 1u) << "directories remain";
}

TEST(ReplaceFiles, TheJournalHoldsThePlanBeforeTheFirstMove) {
  Installation platform;
  platform.files[L"C:\\Zoria\\a.dll"] = "old a";
  CUpdateContext context;
  Stage(platform, context, L"C:\\Zoria\\a.dll", L"a", "new a");
  Stage(platform, context, L"c:/zoria/A.DLL", L"again", "again");  // the same file
  Stage(platform, context, L"C:\\Zoria\\新.dll", L"n", "new n");
  platform.dieAtOperation = 2;  // the first move

  EXPECT_THROW(Replace(context, platform), test::ProcessDied);
  EXPECT_EQ(platform.files[kJournal],
            "zrUpdater journal 1\r\nB C:\\Zoria\\a.dll\r\nN " + WideToUtf8(L"C:\\Zoria\\新.dll") + "\r\nend\r\n");
}

TEST(ReplaceFiles, TheProgressBarFollowsTheFilesDoneAtMostAHundredTimes) {
  for (const int count : {3, 250}) {
    SCOPED_TRACE(count);
    Installation platform;
    CUpdateContext context;
    for (int i = 0; i < count; ++i) {
      Stage(platform, context, kProduct + L"\\f" + std::to_wstring(i), L"s" + std::to_wstring(i), "x");
    }
    ASSERT_EQ(Replace(context, platform), RESULT_OK);
    std::vector<intptr_t> positions;
    for (const auto& post : platform.posted) {
      if (post.message == WM_UPDATE_PROGRESS) positions.push_back(post.value);
    }
    ASSERT_FALSE(positions.empty());
    EXPECT_LE(positions.size(), 100u);
    EXPECT_EQ(positions.back(), 100);
    for (size_t i = 1; i < positions.size(); ++i) EXPECT_LT(positions[i - 1], positions[i]);
    if (count == 3) {
      EXPECT_EQ(positions, (std::vector<intptr_t>{33, 66, 100}));
    }
  }
}

TEST(ReplaceFiles, AStaleBackupIsDeletedBeforeTheRunAndNeverRestored) {
  Installation platform;
  platform.files[L"C:\\Zoria\\a.dll"] = "old a";
  platform.files[L"C:\\Zoria\\a.dll.bak"] = "stale";
  CUpdateContext context;
  Stage(platform, context, L"C:\\Zoria\\a.dll", L"a", "new a");
  Stage(platform, context, L"C:\\Zoria\\missing.dll", L"m", "new m");
  platform.lockedPaths = {L"C:\\Zoria\\missing.dll"};

  EXPECT_EQ(Replace(context, platform), RESULT_MOVE_FAILED);
  EXPECT_EQ(platform.files[L"C:\\Zoria\\a.dll.bak"], "old a");
  RollbackFiles(context, platform);
  EXPECT_EQ(platform.files[L"C:\\Zoria\\a.dll"], "old a");
  EXPECT_EQ(platform.files.count(L"C:\\Zoria\\a.dll.bak"), 0u);
  EXPECT_EQ(platform.files.count(kJournal), 0u);
}

TEST(ReplaceFiles, AFailedDeletionOfABackupStillSucceeds) {
  Installation platform;
  platform.files[L"C:\\Zoria\\a.dll"] = "old a";
  CUpdateContext context;
  Stage(platform, context, L"C:\\Zoria\\a.dll", L"a", "new a");
  platform.failOperation = 5;  // journal, two moves, commit, then the deletion of a.dll.bak

  EXPECT_EQ(Replace(context, platform), RESULT_OK);
  EXPECT_EQ(platform.files[L"C:\\Zoria\\a.dll"], "new a");
  EXPECT_EQ(platform.files[L"C:\\Zoria\\a.dll.bak"], "old a");
  EXPECT_EQ(platform.files.count(kJournal), 0u);
}

TEST(ReplaceFiles, NothingMovesWithoutAJournalOrACommit) {
  for (const int failing : {1, 4}) {  // the journal's plan, its commit
    SCOPED_TRACE(failing);
    Installation platform;
    platform.files[L"C:\\Zoria\\a.dll"] = "old a";
    CUpdateContext context;
    Stage(platform, context, L"C:\\Zoria\\a.dll", L"a", "new a");
    platform.failOperation = failing;
    EXPECT_EQ(Replace(context, platform), RESULT_MOVE_FAILED);
    RollbackFiles(context, platform);
    EXPECT_EQ(platform.files[L"C:\\Zoria\\a.dll"], "old a");
    EXPECT_EQ(platform.files.count(L"C:\\Zoria\\a.dll.bak"), 0u);
    EXPECT_EQ(platform.files.count(kJournal), 0u);
  }
}

TEST(ReplaceFiles, ALockedFirstFileEndsAtOnceWithNothingRecorded) {
  Installation platform;
  platform.files[L"C:\\Zoria\\a.dll"] = "old a";
  platform.lockedPaths = {L"C:\\Zoria\\a.dll"};
  CUpdateContext context;
  Stage(platform, context, L"C:\\Zoria\\a.dll", L"a", "new a");
  Stage(platform, context, L"C:\\Zoria\\b.dll", L"b", "new b");

  EXPECT_EQ(Replace(context, platform), RESULT_MOVE_FAILED);
  EXPECT_TRUE(context.backups.empty());
  EXPECT_EQ(platform.StatusTexts().size(), 1u);

  platform.log.clear();
  RollbackFiles(context, platform);
  EXPECT_EQ(Narrow(platform.log), Narrow({L"delete " + kJournal})) << "nothing to roll back, not even a pause";
  EXPECT_EQ(platform.files[L"C:\\Zoria\\a.dll"], "old a");
  EXPECT_EQ(platform.files.count(L"C:\\Zoria\\b.dll"), 0u);
}

TEST(RollbackFiles, ThirdOfFiveFailingRestoresTheFirstThreeInOrder) {
  Installation platform;
  CUpdateContext context;
  for (wchar_t c : std::wstring(L"abcde")) {
    const std::wstring name(1, c);
    platform.files[kProduct + L"\\" + name + L".dll"] = "old " + WideToUtf8(name);
    Stage(platform, context, kProduct + L"\\" + name + L".dll", name, "new " + WideToUtf8(name));
  }
  platform.files.erase(kStaging + L"\\c.staged");  // the third new content is missing

  EXPECT_EQ(Replace(context, platform), RESULT_MOVE_FAILED);
  ASSERT_EQ(context.backups.size(), 3u);
  platform.log.clear();
  RollbackFiles(context, platform);

  std::vector<std::wstring> expected;
  for (int k = 0; k < 3; ++k) {
    const std::wstring name(1, L"abc"[k]);
    const std::wstring target = kProduct + L"\\" + name + L".dll";
    expected.push_back(L"post 3 " + std::to_wstring(k + 1) + L"/3 正在回滚文件(" + name + L".dll)");
    if (k < 2) expected.push_back(L"move " + target + L" -> " + target + L".tmp");
    expected.push_back(L"move " + target + L".bak -> " + target);  // c.dll was only moved aside
    if (k < 2) expected.push_back(L"delete " + target + L".tmp");
    expected.push_back(L"sleep 10");
  }
  expected.push_back(L"delete " + kJournal);
  EXPECT_EQ(Narrow(platform.log), Narrow(expected));
  for (const char* name : {"a", "b", "c", "d", "e"}) {
    const std::wstring target = kProduct + L"\\" + Utf8ToWide(name) + L".dll";
    EXPECT_EQ(platform.files[target], std::string("old ") + name);
    EXPECT_EQ(platform.files.count(target + L".bak"), 0u);
    EXPECT_EQ(platform.files.count(target + L".tmp"), 0u);
  }
  EXPECT_EQ(platform.files.count(kStaging + L"\\d.staged"), 1u) << "later staged files stay";
  EXPECT_EQ(context.backups.size(), 3u) << "the list is kept";
}

TEST(RollbackFiles, DeletesFilesTheRunCreatedAndPausesOnlyForAWindow) {
  for (const bool ending : {false, true}) {
    Installation platform;
    CUpdateContext context;
    Stage(platform, context, L"C:\\Zoria\\new\\n.dll", L"n", "new n");
    Stage(platform, context, L"C:\\Zoria\\x.dll", L"x", "new x");
    platform.files.erase(kStaging + L"\\x.staged");

    EXPECT_EQ(Replace(context, platform), RESULT_MOVE_FAILED);
    platform.log.clear();
    platform.shuttingDown = ending;
    RollbackFiles(context, platform);
    std::vector<std::wstring> expected = {L"post 3 1/2 正在回滚文件(n.dll)",
                                          L"move C:\\Zoria\\new\\n.dll -> C:\\Zoria\\new\\n.dll.tmp",
                                          L"delete C:\\Zoria\\new\\n.dll.tmp", L"sleep 10",
                                          L"post 3 2/2 正在回滚文件(x.dll)", L"delete " + kJournal};
    if (ending) expected.erase(std::remove(expected.begin(), expected.end(), L"sleep 10"), expected.end());
    EXPECT_EQ(Narrow(platform.log), Narrow(expected));
    EXPECT_EQ(platform.files.count(L"C:\\Zoria\\new\\n.dll"), 0u);
    EXPECT_EQ(platform.files.count(L"C:\\Zoria\\new\\n.dll.tmp"), 0u);
  }
}

TEST(ReplaceFiles, PathsWithForwardSlashesOnly) {
  Installation platform;
  platform.files[L"C:/Zoria/a.dll"] = "old a";
  CUpdateContext context;
  Stage(platform, context, L"C:/Zoria/a.dll", L"a", "new a");
  Stage(platform, context, L"C:/Zoria/b.dll", L"b", "new b");
  platform.files.erase(kStaging + L"\\b.staged");

  EXPECT_EQ(Replace(context, platform), RESULT_MOVE_FAILED);
  RollbackFiles(context, platform);
  const auto texts = platform.StatusTexts();
  ASSERT_EQ(texts.size(), 4u);
  EXPECT_EQ(WideToUtf8(texts[0]), "1/2 正在更新文件 a.dll");
  EXPECT_EQ(WideToUtf8(texts[2]), "1/2 正在回滚文件()");
  EXPECT_EQ(WideToUtf8(texts[3]), "2/2 正在回滚文件()");
  EXPECT_EQ(platform.files[L"C:/Zoria/a.dll"], "old a");
}

TEST(RollbackFiles, TheParkedFileReturnsWhenTheBackupCannotComeBackAndTheJournalStays) {
  Installation platform;
  platform.files[L"C:\\Zoria\\a.dll"] = "old a";
  CUpdateContext context;
  Stage(platform, context, L"C:\\Zoria\\a.dll", L"a", "new a");
  Stage(platform, context, L"C:\\Zoria\\b.dll", L"b", "new b");
  platform.files.erase(kStaging + L"\\b.staged");
  ASSERT_EQ(Replace(context, platform), RESULT_MOVE_FAILED);

  platform.failOperation = platform.operations + 2;  // moving a.dll.bak back
  platform.log.clear();
  RollbackFiles(context, platform);
  EXPECT_EQ(Narrow(platform.log), Narrow({L"post 3 1/2 正在回滚文件(a.dll)",
                                          L"move C:\\Zoria\\a.dll -> C:\\Zoria\\a.dll.tmp",
                                          L"failed move C:\\Zoria\\a.dll.bak -> C:\\Zoria\\a.dll",
                                          L"move C:\\Zoria\\a.dll.tmp -> C:\\Zoria\\a.dll", L"sleep 10",
                                          L"post 3 2/2 正在回滚文件(b.dll)"}));
  EXPECT_EQ(platform.files[L"C:\\Zoria\\a.dll"], "new a");
  EXPECT_EQ(platform.files[L"C:\\Zoria\\a.dll.bak"], "old a");
  EXPECT_EQ(platform.files.count(L"C:\\Zoria\\a.dll.tmp"), 0u);
  EXPECT_EQ(platform.files.count(kJournal), 1u) << "the next start tries again";
}

TEST(ReplaceFiles, ATargetListedTwiceKeepsItsOriginalRestorable) {
  struct Case {
    const char* name;
    bool existed;
    bool secondMoveFails;
  } cases[] = {
      {"existing file, success", true, false},
      {"existing file, second move fails", true, true},
      {"new file, success", false, false},
      {"new file, second move fails", false, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Installation platform;
    if (c.existed) platform.files[L"C:\\Zoria\\a.dll"] = "original";
    CUpdateContext context;
    Stage(platform, context, L"C:\\Zoria\\a.dll", L"first", "first");
    Stage(platform, context, L"C:\\Zoria\\sub\\..\\A.DLL.", L"second", "second");
    if (c.secondMoveFails) platform.files.erase(kStaging + L"\\second.staged");

    const int32_t result = Replace(context, platform);
    EXPECT_EQ(context.backups.size(), 1u);
    EXPECT_EQ(platform.files.count(L"C:\\Zoria\\a.dll.bak"), c.secondMoveFails && c.existed ? 1u : 0u);
    if (!c.secondMoveFails) {
      EXPECT_EQ(result, RESULT_OK);
      EXPECT_EQ(platform.files[L"C:\\Zoria\\a.dll"], "second");
      continue;
    }
    EXPECT_EQ(result, RESULT_MOVE_FAILED);
    RollbackFiles(context, platform);
    if (c.existed) {
      EXPECT_EQ(platform.files[L"C:\\Zoria\\a.dll"], "original");
    } else {
      EXPECT_EQ(platform.files.count(L"C:\\Zoria\\a.dll"), 0u);
    }
  }
}

// ---- Checks before anything moves ---------------------------------------------------------

TEST(ApplyUpdate, AManifestThatCannotBeAppliedFailsBeforeTheProductIsClosedAndTouchesNothing) {
  struct Case {
    const char* name;
    std::wstring tmp, path;  // of the second of three entries
  } cases[] = {
      {"staged file missing", kStaging + L"\\gone.staged", kProduct + L"\\b.dll"},
      {"staged file is a directory", kStaging, kProduct + L"\\b.dll"},
      {"target is a directory", kStaging + L"\\b.staged", kProduct + L"\\plugins"},
      {"target is a directory link", kStaging + L"\\b.staged", kProduct + L"\\linked"},
      {"staged file is a target", L"c:/zoria/A.DLL", kProduct + L"\\b.dll"},
      {"staged file listed twice", kStaging + L"\\a.staged", kProduct + L"\\b.dll"},
      {"target is another target's backup", kStaging + L"\\b.staged", kProduct + L"\\a.dll.bak"},
      {"target is another target's parking name", kStaging + L"\\b.staged", kProduct + L"\\A.dll.TMP"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Installation platform;
    platform.directories.insert(kProduct + L"\\plugins");
    platform.directoryLinks.insert(kProduct + L"\\linked");
    platform.files[kProduct + L"\\a.dll"] = "old a";
    platform.files[kStaging + L"\\a.staged"] = "new a";
    platform.files[kStaging + L"\\b.staged"] = "new b";
    platform.files[kStaging + L"\\c.staged"] = "new c";
    platform.processes[7] = {kProduct + L"\\zrCastrix.exe"};
    CUpdateContext context;
    context.files = {{"", "", kStaging + L"\\a.staged", kProduct + L"\\a.dll", 0},
                     {"", "", c.tmp, c.path, 0},
                     {"", "", kStaging + L"\\c.staged", kProduct + L"\\c.dll", 0}};
    const FileTable before = platform.files;

    CFileStage stage(platform);
    EXPECT_EQ(ApplyUpdate(context, platform, stage), RESULT_MOVE_FAILED);
    EXPECT_EQ(platform.files, before);
    EXPECT_EQ(platform.operations, 0);
    EXPECT_EQ(platform.processes.count(7), 1u) << "the product is not closed for nothing";
    EXPECT_EQ(platform.fileStageRequests, 0);
    ASSERT_FALSE(platform.StatusTexts().empty());
    EXPECT_EQ(platform.StatusTexts().back(), L"2/3 正在更新文件 " + c.path.substr(c.path.find_last_of(L"\\/") + 1));
  }
}

TEST(ApplyUpdate, ClosesTheProductFirstAndTouchesNothingWhenThatFails) {
  Installation platform;
  platform.files[L"C:\\Zoria\\a.dll"] = "old a";
  test::FakeProcess product;
  product.path = L"C:\\Zoria\\zrCastrix.exe";
  platform.processes[7] = product;
  platform.boxAnswers = {BoxAnswer::kSecond};
  CUpdateContext context;
  Stage(platform, context, L"C:\\Zoria\\a.dll", L"a", "new a");
  const FileTable before = platform.files;

  {
    CFileStage stage(platform);
    EXPECT_EQ(ApplyUpdate(context, platform, stage), RESULT_USER_CANCELLED);
  }
  EXPECT_EQ(platform.files, before);
  EXPECT_EQ(platform.operations, 0);
  EXPECT_TRUE(context.backups.empty());

  platform.boxAnswers = {BoxAnswer::kFirst};  // quits on request this time
  CFileStage stage(platform);
  EXPECT_EQ(ApplyUpdate(context, platform, stage), RESULT_OK);
  EXPECT_EQ(platform.files[L"C:\\Zoria\\a.dll"], "new a");
  EXPECT_EQ(platform.processes.count(7), 0u);
}

// ---- Recovery after an interrupted run ----------------------------------------------------

TEST(RecoverInterruptedRun, FinishesWhatTheJournalLeft) {
  const std::wstring a = kProduct + L"\\a.dll", b = kProduct + L"\\b.dll", n = kProduct + L"\\n.dll";
  const std::string plan = "zrUpdater journal 1\r\nB " + WideToUtf8(a) + "\r\nB " + WideToUtf8(b) + "\r\nN " +
                           WideToUtf8(n) + "\r\nend\r\n";
  struct Case {
    const char* name;
    std::string journal;
    FileTable disk;      // product files before recovery
    FileTable expected;  // after it
  } cases[] = {
      {"killed between the two moves of a", plan, {{a + L".bak", "old a"}, {b, "old b"}},
       {{a, "old a"}, {b, "old b"}}},
      {"killed after every move", plan, {{a + L".bak", "old a"}, {a, "new a"}, {b + L".bak", "old b"}, {b, "new b"}, {n, "new n"}},
       {{a, "old a"}, {b, "old b"}}},
      {"killed in a rollback step", plan, {{a + L".tmp", "new a"}, {a + L".bak", "old a"}, {b, "old b"}, {n + L".tmp", "new n"}},
       {{a, "old a"}, {b, "old b"}}},
      {"killed while backups were deleted", plan + "commit\r\n", {{a, "new a"}, {b + L".bak", "old b"}, {b, "new b"}, {n, "new n"}},
       {{a, "new a"}, {b, "new b"}, {n, "new n"}}},
      {"killed while the plan was written", "zrUpdater journal 1\r\nB " + WideToUtf8(a) + "\r\nN C:",
       {{a, "old a"}, {a + L".bak", "a stale backup"}}, {{a, "old a"}, {a + L".bak", "a stale backup"}}},
  };
  for (Case& c : cases) {
    SCOPED_TRACE(c.name);
    Installation platform;
    platform.files = c.disk;
    platform.files[kJournal] = c.journal;
    CFileStage stage(platform);
    EXPECT_EQ(RecoverInterruptedRun(platform, stage), RESULT_OK);
    EXPECT_EQ(platform.files, c.expected);
  }
}

TEST(RecoverInterruptedRun, ClosesTheProductFirstAndKeepsTheJournalWhileAFileCannotComeBack) {
  Installation platform;
  const std::wstring a = kProduct + L"\\a.dll";
  platform.files[a] = "new a";
  platform.files[a + L".bak"] = "old a";
  platform.files[kJournal] = FormatJournal({{a, true}});
  platform.processes[7] = {kProduct + L"\\zrCastrix.exe"};
  platform.boxAnswers = {BoxAnswer::kFirst};
  platform.lockedPaths = {a + L".bak"};

  CFileStage stage(platform);
  EXPECT_EQ(RecoverInterruptedRun(platform, stage), RESULT_MOVE_FAILED);
  EXPECT_EQ(platform.processes.count(7), 0u);
  EXPECT_EQ(platform.files[a], "new a");
  EXPECT_EQ(platform.files[a + L".bak"], "old a");
  EXPECT_EQ(platform.files.count(kJournal), 1u);
}

TEST(Journal, RoundTripsEveryPathAndTellsAPlanFromACommit) {
  const std::vector<JournalEntry> entries = {{L"C:\\Program Files\\Zoria 投屏\\a b.dll", true},
                                             {L"D:\\x\\" + std::wstring(300, L'长') + L".dll", false}};
  const std::string text = FormatJournal(entries);
  for (const std::string& variant : {text, text + "commit\r\n", text.substr(0, text.size() - 5)}) {
    const Journal journal = ParseJournal(variant);
    if (variant.size() < text.size()) {
      EXPECT_EQ(journal.state, Journal::State::kNone) << "cut off before its end line";
      continue;
    }
    EXPECT_EQ(journal.state, variant == text ? Journal::State::kPlanned : Journal::State::kCommitted);
    ASSERT_EQ(journal.entries.size(), 2u);
    EXPECT_EQ(journal.entries[0].target, entries[0].target);
    EXPECT_TRUE(journal.entries[0].existed);
    EXPECT_EQ(journal.entries[1].target, entries[1].target);
    EXPECT_FALSE(journal.entries[1].existed);
  }
  EXPECT_EQ(ParseJournal("something else\r\nend\r\n").state, Journal::State::kNone);
  EXPECT_EQ(ParseJournal("zrUpdater journal 1\r\nX C:\\a\r\nend\r\n").state, Journal::State::kNone);
}

// ---- Fault sweeps ---------------------------------------------------------------------------

// One manifest entry of a sweep: which product file (by number), whether it exists before,
// and which spelling of its path the entry uses.
struct SweepEntry {
  int file;
  bool existed;
  int spelling = 0;
};

std::wstring SweepPath(const SweepEntry& entry) {
  const std::wstring name = L"f" + std::to_wstring(entry.file) + L".dll";
  const std::wstring path =
      entry.existed ? kProduct + L"\\" + name : kProduct + L"\\new " + std::to_wstring(entry.file) + L"\\子\\" + name;
  switch (entry.spelling) {
    case 1: return L"c:/zoria/" + path.substr(kProduct.size() + 1) + L".";  // other separator, case, dot
    case 2: return kProduct + L"\\.\\sub\\..\\\\" + path.substr(kProduct.size() + 1);
    default: return path;
  }
}

struct SweepRun {
  Installation platform;
  CUpdateContext context;
  FileTable originals;  // product files before the update
  FileTable finals;     // what each path holds after success
};

void Prepare(SweepRun& run, const std::vector<SweepEntry>& manifest) {
  for (size_t i = 0; i < manifest.size(); ++i) {
    const std::wstring path = SweepPath(manifest[i]);
    if (manifest[i].existed) {
      run.originals[path] = "original " + std::to_string(manifest[i].file);
      run.platform.files[path] = run.originals[path];
    }
    const std::string content = "staged " + std::to_string(i);
    Stage(run.platform, run.context, path, L"s" + std::to_wstring(i), content);
    run.finals[path] = content;
  }
}

// Manifests of 1 to `most` distinct files, each existing or new, and some that list a file
// twice in several spellings.
std::vector<std::vector<SweepEntry>> SweepManifests(int most) {
  std::vector<std::vector<SweepEntry>> manifests;
  for (int n = 1; n <= most; ++n) {
    for (int mask = 0; mask < (1 << n); ++mask) {
      std::vector<SweepEntry> manifest;
      for (int i = 0; i < n; ++i) manifest.push_back({i, ((mask >> i) & 1) != 0});
      manifests.push_back(manifest);
    }
  }
  const SweepEntry e0{0, true}, e1{1, true}, n2{2, false}, n3{3, false};
  const SweepEntry e0b{0, true, 1}, e0c{0, true, 2}, e1b{1, true, 2}, n2b{2, false, 1};
  manifests.push_back({e0, e0b});
  manifests.push_back({n2, n2b});
  manifests.push_back({e0, n2, e0c});
  manifests.push_back({e0, e1, e0b, e1b});
  manifests.push_back({n2, e0, n2b, e1, e0c, n3});
  manifests.push_back({e0, e0b, e0c});
  return manifests;
}

std::string Describe(const std::vector<SweepEntry>& manifest) {
  std::string text;
  for (const SweepEntry& e : manifest) text += std::to_string(e.file) + (e.existed ? "E" : "N") + std::to_string(e.spelling) + " ";
  return text;
}

// Every product file old (originals in place, created files absent) or every one new, and
// nothing of the run left beside them: no backup, no parked file, no journal.
::testing::AssertionResult OldOrNew(const SweepRun& run, const FakePlatform& disk) {
  bool allOld = true, allNew = true;
  for (const auto& [path, content] : run.finals) {
    const auto now = disk.files.find(path);
    const auto original = run.originals.find(path);
    const bool old = original == run.originals.end() ? now == disk.files.end()
                                                     : now != disk.files.end() && now->second == original->second;
    allOld = allOld && old;
    allNew = allNew && now != disk.files.end() && now->second == content;
    for (const wchar_t* suffix : {L".bak", L".tmp"}) {
      if (disk.files.count(path + suffix)) return ::testing::AssertionFailure() << WideToUtf8(path + suffix) << " left";
    }
  }
  if (disk.files.count(kJournal)) return ::testing::AssertionFailure() << "the journal is left";
  if (!allOld && !allNew) return ::testing::AssertionFailure() << "some files old, some new";
  return ::testing::AssertionSuccess();
}

int CleanOperationCount(const std::vector<SweepEntry>& manifest) {
  SweepRun run;
  Prepare(run, manifest);
  EXPECT_EQ(Replace(run.context, run.platform), RESULT_OK);
  return run.platform.operations;
}

TEST(FaultSweep, EveryFailedReplacementIsUndoneCompletely) {
  int cases = 0;
  for (const auto& manifest : SweepManifests(6)) {
    const int operations = CleanOperationCount(manifest);
    for (int fail = 1; fail <= operations; ++fail) {
      SCOPED_TRACE(testing::Message() << "manifest " << Describe(manifest) << ", failing operation " << fail);
      SweepRun run;
      Prepare(run, manifest);
      run.platform.failOperation = fail;
      ++cases;
      const int32_t result = Replace(run.context, run.platform);
      if (result == RESULT_OK) {
        // Only a deletion after the commit failed: every file is new.
        for (const auto& [path, content] : run.finals) ASSERT_EQ(run.platform.files[path], content);
        continue;
      }
      ASSERT_EQ(result, RESULT_MOVE_FAILED);
      RollbackFiles(run.context, run.platform);
      for (const auto& [path, unused] : run.finals) {
        auto original = run.originals.find(path);
        if (original != run.originals.end()) {
          ASSERT_EQ(run.platform.files.count(path), 1u) << WideToUtf8(path);
          ASSERT_EQ(run.platform.files[path], original->second) << WideToUtf8(path);
        } else {
          ASSERT_EQ(run.platform.files.count(path), 0u) << WideToUtf8(path) << " was created";
        }
      }
      ASSERT_TRUE(OldOrNew(run, run.platform));
    }
  }
  std::cout << "[ sweep    ] " << cases << " replacing runs, each failing at another file operation\n";
  EXPECT_GT(cases, 1000);
}

TEST(FaultSweep, AFailingRollbackNeverLosesAnOriginal) {
  int cases = 0;
  for (const auto& manifest : SweepManifests(6)) {
    const int operations = CleanOperationCount(manifest);
    for (int fail = 1; fail <= operations; ++fail) {
      // How many operations the rollback after this failure makes when nothing else fails.
      int rollbackOperations = 0;
      {
        SweepRun run;
        Prepare(run, manifest);
        run.platform.failOperation = fail;
        if (Replace(run.context, run.platform) == RESULT_OK) continue;
        const int before = run.platform.operations;
        RollbackFiles(run.context, run.platform);
        rollbackOperations = run.platform.operations - before;
      }
      for (int rollbackFail = 1; rollbackFail <= rollbackOperations; ++rollbackFail) {
        SCOPED_TRACE(testing::Message() << "manifest " << Describe(manifest) << ", replacing fails at " << fail
                                        << ", rollback fails at " << rollbackFail);
        SweepRun run;
        Prepare(run, manifest);
        run.platform.failOperation = fail;
        ASSERT_EQ(Replace(run.context, run.platform), RESULT_MOVE_FAILED);
        const FileTable beforeRollback = run.platform.files;
        run.platform.failOperation = run.platform.operations + rollbackFail;
        RollbackFiles(run.context, run.platform);
        ++cases;
        const FileTable& files = run.platform.files;
        for (const auto& [path, content] : run.originals) {
          const bool atPath = files.count(path) && files.at(path) == content;
          const bool atBackup = files.count(path + L".bak") && files.at(path + L".bak") == content;
          ASSERT_TRUE(atPath || atBackup) << WideToUtf8(path) << " lost its original";
          // A product file is never left missing by the rollback itself.
          if (beforeRollback.count(path)) {
            ASSERT_EQ(files.count(path), 1u) << WideToUtf8(path) << " left missing";
          }
        }
        // What the rollback could not finish, the next start does.
        FakePlatform next;
        next.moduleDirectory = kProduct;
        next.directories = run.platform.directories;
        next.files = run.platform.files;
        CFileStage stage(next);
        if (RecoverInterruptedRun(next, stage) == RESULT_OK) {
          ASSERT_TRUE(OldOrNew(run, next));
        }
      }
    }
  }
  std::cout << "[ sweep    ] " << cases << " rollbacks, each failing at another file operation\n";
  EXPECT_GT(cases, 1000);
}

// The whole run through the worker, with the replacing failing at a chosen operation (or
// not at all), interrupted at every file operation of replacing and rollback: the process is
// asked to end there (window closed, WM_QUIT, session end), or dies there and the next start
// recovers, itself dying at every point once more. Every single run must end with the
// installation all old or all new and nothing left.
TEST(FaultSweep, EveryInterruptionEndsAllOldOrAllNew) {
  const std::wstring config = L"C:\\update.xml";
  auto manifestXml = [](const SweepRun& run) {
    std::string xml = "<config>";
    for (const auto& entry : run.context.files) {
      xml += "<file><tmp>" + WideToUtf8(entry.tmp) + "</tmp><path>" + WideToUtf8(entry.path) + "</path></file>";
    }
    return xml + "</config>";
  };
  auto setUp = [&](SweepRun& run, const std::vector<SweepEntry>& manifest, int fail) {
    Prepare(run, manifest);
    run.platform.files[config] = manifestXml(run);
    run.platform.failOperation = fail;
    run.platform.boxAnswers = {BoxAnswer::kFirst, BoxAnswer::kFirst, BoxAnswer::kFirst};
  };
  // A later start with nothing to do but recovery (no usable manifest).
  auto recover = [&](const FakePlatform& disk, int dieAt, FakePlatform& next) {
    next.moduleDirectory = kProduct;
    next.directories = disk.directories;
    next.files = disk.files;
    next.files.erase(config);
    next.dieAtOperation = dieAt;
    CUpdateContext context;
    RunUpdate(context, next, config);
  };

  int ended = 0, died = 0, diedTwice = 0;
  for (const auto& manifest : SweepManifests(4)) {
    const int replacing = CleanOperationCount(manifest);
    for (int fail = 0; fail <= replacing; ++fail) {  // 0: the replacing succeeds
      int total = 0;
      {
        SweepRun run;
        setUp(run, manifest, fail == 0 ? -1 : fail);
        CUpdateContext context;
        // A failing deletion after the commit fails nothing: such runs are the successful one.
        if (RunUpdate(context, run.platform, config) == RESULT_OK && fail != 0) continue;
        total = run.platform.operations;
      }
      for (int at = 1; at <= total + 1; ++at) {
        SCOPED_TRACE(testing::Message() << "manifest " << Describe(manifest) << ", replacing fails at " << fail
                                        << ", interrupted at " << at);
        {
          SweepRun run;
          setUp(run, manifest, fail == 0 ? -1 : fail);
          run.platform.endAtOperation = at;
          CUpdateContext context;
          RunUpdate(context, run.platform, config);
          ASSERT_EQ(run.platform.fileStageDepth, 0);
          ASSERT_TRUE(OldOrNew(run, run.platform));
          ++ended;
        }
        SweepRun run;
        setUp(run, manifest, fail == 0 ? -1 : fail);
        run.platform.dieAtOperation = at;
        CUpdateContext context;
        try {
          RunUpdate(context, run.platform, config);
        } catch (const test::ProcessDied&) {
        }
        int recoveryOperations = 0;
        {
          FakePlatform next;
          recover(run.platform, -1, next);
          ASSERT_TRUE(OldOrNew(run, next));
          recoveryOperations = next.operations;
          ++died;
        }
        for (int again = 1; again <= recoveryOperations; ++again) {
          FakePlatform second;
          try {
            recover(run.platform, again, second);
          } catch (const test::ProcessDied&) {
          }
          FakePlatform third;
          recover(second, -1, third);
          ASSERT_TRUE(OldOrNew(run, third)) << "recovery died at " << again;
          ++diedTwice;
        }
      }
    }
  }
  std::cout << "[ sweep    ] " << ended << " runs asked to end, " << died << " killed and recovered, "
            << diedTwice << " killed again while recovering: all old or all new\n";
  EXPECT_GT(ended, 1000);
}

}  // namespace
}  // namespace zr
