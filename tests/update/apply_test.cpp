// Replacing the product's files and rolling back, against the fake: exact sequences for the
// ordinary cases, staged files from another volume, files held for a moment or for good.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "support/fake_platform.h"
#include "support/update_fixtures.h"
#include "update/apply.h"
#include "update/entry_check.h"
#include "update/journal.h"
#include "update/outcome.h"
#include "update/progress.h"
#include "update/update_context.h"
#include "util/paths.h"
#include "util/text.h"

namespace zr {
namespace {

using test::FakePlatform;
using test::FileTable;
using test::Installation;
using test::kJournal;
using test::kProduct;
using test::kStaging;
using test::Narrow;
using test::Replace;
using test::Stage;

TEST(ReplaceFiles, JournalsThenReplacesAnExistingFileAndCreatesANewOne) {
  Installation platform;
  platform.files[L"C:\\Zoria\\a.dll"] = "old a";
  CUpdateContext context;
  Stage(platform, context, L"C:\\Zoria\\a.dll", L"a", "new a");
  Stage(platform, context, L"C:\\Zoria\\plugins\\新 目录\\b.dll", L"b", "new b");

  EXPECT_EQ(Replace(context, platform), UpdateOutcome::kOk);
  EXPECT_EQ(Narrow(platform.log),
            Narrow({L"hold C:\\Zoria\\cache\\update\\a.staged",
                    L"hold C:\\Zoria\\cache\\update\\b.staged",
                    L"write C:\\Zoria\\zrUpdater.journal",
                    L"status pro_update_file_dds(1,2,a.dll)",
                    L"move C:\\Zoria\\a.dll -> C:\\Zoria\\a.dll.bak",
                    L"move C:\\Zoria\\cache\\update\\a.staged -> C:\\Zoria\\a.dll",
                    L"progress 50",
                    L"status pro_update_file_dds(2,2,b.dll)",
                    L"mkdirs C:\\Zoria\\plugins\\新 目录\\b.dll",
                    L"move C:\\Zoria\\cache\\update\\b.staged -> C:\\Zoria\\plugins\\新 目录\\b.dll",
                    L"append C:\\Zoria\\zrUpdater.journal",
                    L"delete C:\\Zoria\\a.dll.bak",
                    L"delete C:\\Zoria\\zrUpdater.journal",
                    L"progress 100",
                    L"status pro_update_finished"}));
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
  Stage(platform, context, L"C:\\Zoria\\新\\新.dll", L"n", "new n");
  platform.dieAtOperation = 2;  // the first move

  EXPECT_THROW(Replace(context, platform), test::ProcessDied);
  const Journal journal = ParseJournal(platform.files[kJournal]);
  EXPECT_EQ(journal.state, Journal::State::kPlanned);
  ASSERT_EQ(journal.files.size(), 2u);
  const PlannedFile& a = journal.files[0];
  EXPECT_EQ(a.target, L"C:\\Zoria\\a.dll");
  EXPECT_TRUE(a.existed);
  EXPECT_EQ(a.backup, L"C:\\Zoria\\a.dll.bak");
  EXPECT_EQ(a.parking, L"C:\\Zoria\\a.dll.tmp");
  EXPECT_EQ(a.original, FakePlatform::IdentityOf("old a"));
  EXPECT_EQ(a.replacements, (std::vector<FileIdentity>{FakePlatform::IdentityOf("new a"), FakePlatform::IdentityOf("again")}));
  EXPECT_FALSE(journal.files[1].existed);
  EXPECT_EQ(journal.files[1].backup, L"");
  EXPECT_EQ(journal.createdDirectories, std::vector<std::wstring>{L"C:\\Zoria\\新"});
}

TEST(ReplaceFiles, TheProgressBarFollowsTheFilesDoneAtMostAHundredTimes) {
  for (const int count : {3, 250}) {
    SCOPED_TRACE(count);
    Installation platform;
    CUpdateContext context;
    for (int i = 0; i < count; ++i) {
      Stage(platform, context, kProduct + L"\\f" + std::to_wstring(i), L"s" + std::to_wstring(i), "x");
    }
    ASSERT_EQ(Replace(context, platform), UpdateOutcome::kOk);
    std::vector<int64_t> positions;
    for (const auto& reported : platform.events) {
      if (reported.event.kind == UpdateEvent::Kind::kProgress) positions.push_back(reported.event.value);
    }
    ASSERT_FALSE(positions.empty());
    EXPECT_LE(positions.size(), 100u);
    EXPECT_EQ(positions.back(), 100);
    for (size_t i = 1; i < positions.size(); ++i) EXPECT_LT(positions[i - 1], positions[i]);
    if (count == 3) {
      EXPECT_EQ(positions, (std::vector<int64_t>{33, 66, 100}));
    }
  }
}

TEST(ReplaceFiles, FilesNamedLikeBackupsThatWereThereBeforeAreLeftAlone) {
  for (const bool fails : {false, true}) {
    SCOPED_TRACE(fails);
    Installation platform;
    platform.files[L"C:\\Zoria\\a.dll"] = "old a";
    platform.files[L"C:\\Zoria\\a.dll.bak"] = "the user's backup";
    platform.files[L"C:\\Zoria\\a.dll.tmp"] = "the user's notes";
    platform.files[L"C:\\Zoria\\a.dll.2.bak"] = "another";
    const FileTable foreign = {{L"C:\\Zoria\\a.dll.bak", "the user's backup"},
                               {L"C:\\Zoria\\a.dll.tmp", "the user's notes"},
                               {L"C:\\Zoria\\a.dll.2.bak", "another"}};
    CUpdateContext context;
    Stage(platform, context, L"C:\\Zoria\\a.dll", L"a", "new a");
    Stage(platform, context, L"C:\\Zoria\\missing.dll", L"m", "new m");
    if (fails) platform.failOperation = 5;  // journal, a's two moves, the folders, then missing.dll's

    EXPECT_EQ(Replace(context, platform), fails ? UpdateOutcome::kMoveFailed : UpdateOutcome::kOk);
    ASSERT_FALSE(context.backups.empty());
    EXPECT_EQ(context.backups[0].backup, L"C:\\Zoria\\a.dll.3.bak");
    if (fails) {
      EXPECT_EQ(platform.files[L"C:\\Zoria\\a.dll.3.bak"], "old a");
      RollbackFiles(context, platform);
    }
    FileTable expected = foreign;
    expected[L"C:\\Zoria\\a.dll"] = fails ? "old a" : "new a";
    expected[fails ? kStaging + L"\\m.staged" : L"C:\\Zoria\\missing.dll"] = "new m";
    EXPECT_EQ(platform.files, expected);
  }
}

TEST(ReplaceFiles, ABackupThatCannotBeDeletedGoesAtTheNextStartWithoutClosingTheProduct) {
  Installation platform;
  platform.files[L"C:\\Zoria\\a.dll"] = "old a";
  CUpdateContext context;
  Stage(platform, context, L"C:\\Zoria\\a.dll", L"a", "new a");
  platform.failOperation = 5;  // journal, two moves, commit, then the deletion of a.dll.bak

  EXPECT_EQ(Replace(context, platform), UpdateOutcome::kOk);
  EXPECT_EQ(platform.files[L"C:\\Zoria\\a.dll"], "new a");
  EXPECT_EQ(platform.files[L"C:\\Zoria\\a.dll.bak"], "old a");
  EXPECT_EQ(ParseJournal(platform.files[kJournal]).state, Journal::State::kFinished);

  platform.failOperation = -1;
  platform.processes[7] = {kProduct + L"\\zrCastrix.exe"};
  CUpdateContext next;
  CMovingSection section(platform);
  EXPECT_EQ(RecoverInterruptedRun(next, platform, section), UpdateOutcome::kOk);
  EXPECT_EQ(platform.files, (FileTable{{L"C:\\Zoria\\a.dll", "new a"}}));
  EXPECT_EQ(platform.processes.count(7), 1u) << "the product runs on";
  EXPECT_EQ(platform.movingSectionRequests, 1) << "only the replacing's own";
}

TEST(ReplaceFiles, NothingMovesWithoutAJournalOrACommit) {
  for (const int failing : {1, 4}) {  // the journal's plan, its commit
    SCOPED_TRACE(failing);
    Installation platform;
    platform.files[L"C:\\Zoria\\a.dll"] = "old a";
    CUpdateContext context;
    Stage(platform, context, L"C:\\Zoria\\a.dll", L"a", "new a");
    platform.failOperation = failing;
    EXPECT_EQ(Replace(context, platform), UpdateOutcome::kJournalFailed);
    RollbackFiles(context, platform);
    EXPECT_EQ(platform.files[L"C:\\Zoria\\a.dll"], "old a");
    EXPECT_EQ(platform.files.count(L"C:\\Zoria\\a.dll.bak"), 0u);
    EXPECT_EQ(platform.files.count(kJournal), 0u);
  }
}

// Held for good: the updater waits a few seconds, then gives up.
TEST(ReplaceFiles, ALockedFirstFileEndsAfterAFewSecondsWithNothingRecorded) {
  Installation platform;
  platform.files[L"C:\\Zoria\\a.dll"] = "old a";
  platform.lockedPaths = {L"C:\\Zoria\\a.dll"};
  CUpdateContext context;
  Stage(platform, context, L"C:\\Zoria\\a.dll", L"a", "new a");
  Stage(platform, context, L"C:\\Zoria\\b.dll", L"b", "new b");

  EXPECT_EQ(Replace(context, platform), UpdateOutcome::kMoveFailed);
  EXPECT_TRUE(context.backups.empty());
  EXPECT_EQ(platform.StatusTexts(), (std::vector<std::wstring>{L"pro_update_file_dds(1,2,a.dll)", L"pro_file_in_use_s(a.dll)"}));
  EXPECT_EQ(platform.clock, 4500u) << "4.5 s of growing pauses";
  EXPECT_EQ(std::count(platform.log.begin(), platform.log.end(), L"move C:\\Zoria\\a.dll -> C:\\Zoria\\a.dll.bak"), 8)
      << "tried once, then after each pause";
  EXPECT_EQ(platform.record.end()[-2], "still held after 4.5 s, given up: \"C:\\Zoria\\a.dll\"");
  EXPECT_EQ(platform.record.back(), "failed: move \"C:\\Zoria\\a.dll\" -> \"C:\\Zoria\\a.dll.bak\": error 32 (held by another program)");

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
  platform.failOperation = 7;  // the journal, two moves for each of a and b, c moved aside, then c's new content

  EXPECT_EQ(Replace(context, platform), UpdateOutcome::kMoveFailed);
  ASSERT_EQ(context.backups.size(), 3u);
  platform.log.clear();
  RollbackFiles(context, platform);

  std::vector<std::wstring> expected;
  for (int k = 0; k < 3; ++k) {
    const std::wstring name(1, L"abc"[k]);
    const std::wstring target = kProduct + L"\\" + name + L".dll";
    expected.push_back(L"status pro_rollback_dds(" + std::to_wstring(k + 1) + L",3," + name + L".dll)");
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
    platform.failOperation = 5;  // the journal, n's folders and move, x's folders, then x's move

    EXPECT_EQ(Replace(context, platform), UpdateOutcome::kMoveFailed);
    platform.log.clear();
    platform.shuttingDown = ending;
    RollbackFiles(context, platform);
    std::vector<std::wstring> expected = {L"status pro_rollback_dds(1,2,n.dll)",
                                          L"move C:\\Zoria\\new\\n.dll -> C:\\Zoria\\new\\n.dll.tmp",
                                          L"delete C:\\Zoria\\new\\n.dll.tmp", L"sleep 10",
                                          L"status pro_rollback_dds(2,2,x.dll)", L"rmdir C:\\Zoria\\new",
                                          L"delete " + kJournal};
    if (ending) expected.erase(std::remove(expected.begin(), expected.end(), L"sleep 10"), expected.end());
    EXPECT_EQ(Narrow(platform.log), Narrow(expected));
    EXPECT_EQ(platform.files.count(L"C:\\Zoria\\new\\n.dll"), 0u);
    EXPECT_EQ(platform.files.count(L"C:\\Zoria\\new\\n.dll.tmp"), 0u);
    EXPECT_FALSE(platform.Exists(L"C:\\Zoria\\new")) << "the folder the run made is gone again";
  }
}

// An existing "a.dll" and a new "b.dll" in `folder` (ending in its separator), whose move
// fails: the run fails at b after a was replaced.
void StageAThenAFailingB(FakePlatform& platform, CUpdateContext& context, const std::wstring& folder) {
  platform.files[folder + L"a.dll"] = "old a";
  Stage(platform, context, folder + L"a.dll", L"a", "new a");
  Stage(platform, context, folder + L"b.dll", L"b", "new b");
  platform.failOperation = 5;  // the journal, a's two moves, b's folders, then b's move
}

// Another program's file that took a parking name after the run planned it is neither replaced
// nor deleted, beside a replaced file or a created one: the file stays as it is, and so does the
// journal, for the next start.
TEST(RollbackFiles, AFileThatTookTheParkingNameMeanwhileIsLeftAlone) {
  for (const bool created : {false, true}) {
    SCOPED_TRACE(created ? "beside a created file" : "beside a replaced file");
    Installation platform;
    CUpdateContext context;
    platform.files[L"C:\\Zoria\\a.dll"] = "old a";
    Stage(platform, context, L"C:\\Zoria\\a.dll", L"a", "new a");
    Stage(platform, context, L"C:\\Zoria\\n.dll", L"n", "new n");
    Stage(platform, context, L"C:\\Zoria\\b.dll", L"b", "new b");
    platform.failOperation = 7;  // the journal, a's two moves, n's folders and move, b's folders, b's move
    ASSERT_EQ(Replace(context, platform), UpdateOutcome::kMoveFailed);
    const std::wstring taken = created ? L"C:\\Zoria\\n.dll.tmp" : L"C:\\Zoria\\a.dll.tmp";
    platform.files[taken] = "someone's";
    RollbackFiles(context, platform);
    EXPECT_EQ(platform.files[taken], "someone's");
    EXPECT_EQ(platform.files[created ? L"C:\\Zoria\\n.dll" : L"C:\\Zoria\\a.dll.bak"], created ? "new n" : "old a");
    EXPECT_EQ(platform.files.count(kJournal), 1u);
    EXPECT_EQ(platform.StatusTexts().back(), created ? L"pro_restore_failed_dds(2,3,n.dll)" : L"pro_restore_failed_dds(1,3,a.dll)");
  }
}

TEST(ReplaceFiles, PathsWithForwardSlashesOnly) {
  Installation platform;
  CUpdateContext context;
  StageAThenAFailingB(platform, context, L"C:/Zoria/");
  EXPECT_EQ(Replace(context, platform), UpdateOutcome::kMoveFailed);
  RollbackFiles(context, platform);
  const auto texts = platform.StatusTexts();
  ASSERT_EQ(texts.size(), 4u);
  EXPECT_EQ(WideToUtf8(texts[0]), "pro_update_file_dds(1,2,a.dll)");
  EXPECT_EQ(WideToUtf8(texts[2]), "pro_rollback_dds(1,2,a.dll)") << "the file is named whatever separates its folders";
  EXPECT_EQ(WideToUtf8(texts[3]), "pro_rollback_dds(2,2,b.dll)");
  EXPECT_EQ(platform.files[L"C:/Zoria/a.dll"], "old a");
}

TEST(RollbackFiles, TheParkedFileReturnsWhenTheBackupCannotComeBackAndTheJournalStays) {
  Installation platform;
  CUpdateContext context;
  StageAThenAFailingB(platform, context, L"C:\\Zoria\\");
  ASSERT_EQ(Replace(context, platform), UpdateOutcome::kMoveFailed);

  platform.failOperation = platform.operations + 2;  // moving a.dll.bak back
  platform.log.clear();
  RollbackFiles(context, platform);
  EXPECT_EQ(Narrow(platform.log), Narrow({L"status pro_rollback_dds(1,2,a.dll)",
                                          L"move C:\\Zoria\\a.dll -> C:\\Zoria\\a.dll.tmp",
                                          L"failed move C:\\Zoria\\a.dll.bak -> C:\\Zoria\\a.dll",
                                          L"move C:\\Zoria\\a.dll.tmp -> C:\\Zoria\\a.dll", L"sleep 10",
                                          L"status pro_rollback_dds(2,2,b.dll)",
                                          L"status pro_restore_failed_dds(1,2,a.dll)"}));
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
    if (c.secondMoveFails) platform.failOperation = 4;  // the journal, two steps for the first, the second

    const UpdateOutcome result = Replace(context, platform);
    EXPECT_EQ(context.backups.size(), 1u);
    EXPECT_EQ(platform.files.count(L"C:\\Zoria\\a.dll.bak"), c.secondMoveFails && c.existed ? 1u : 0u);
    if (!c.secondMoveFails) {
      EXPECT_EQ(result, UpdateOutcome::kOk);
      EXPECT_EQ(platform.files[L"C:\\Zoria\\a.dll"], "second");
      continue;
    }
    EXPECT_EQ(result, UpdateOutcome::kMoveFailed);
    RollbackFiles(context, platform);
    if (c.existed) {
      EXPECT_EQ(platform.files[L"C:\\Zoria\\a.dll"], "original");
    } else {
      EXPECT_EQ(platform.files.count(L"C:\\Zoria\\a.dll"), 0u);
    }
  }
}

TEST(ApplyUpdate, AStagedFileFromAnotherVolumeIsCopiedBesideItsTargetFirst) {
  for (const bool misjudged : {false, true}) {
    SCOPED_TRACE(misjudged ? "volumes told apart by the rename" : "volumes known apart");
    Installation platform;
    platform.directories.insert(L"D:\\staging");
    platform.files[kProduct + L"\\a.dll"] = "old a";
    platform.files[L"D:\\staging\\a.new"] = "new a";
    platform.misjudgeVolumes = misjudged;
    CUpdateContext context;
    context.files = {{"", L"D:\\staging\\a.new", kProduct + L"\\a.dll"}};
    ASSERT_EQ(Replace(context, platform), UpdateOutcome::kOk);
    std::vector<std::wstring> moves;
    for (const std::wstring& line : platform.log) {
      if (line.compare(0, 5, L"move ") == 0 || line.compare(0, 5, L"copy ") == 0) moves.push_back(line);
    }
    const std::wstring copy = L"copy D:\\staging\\a.new -> C:\\Zoria\\a.dll.new";
    const std::wstring backup = L"move C:\\Zoria\\a.dll -> C:\\Zoria\\a.dll.bak";
    const std::wstring place = L"move D:\\staging\\a.new -> C:\\Zoria\\a.dll";
    const std::vector<std::wstring> expected =
        misjudged ? std::vector<std::wstring>{backup, place, copy, place} : std::vector<std::wstring>{copy, backup, place};
    EXPECT_EQ(moves, expected);
    EXPECT_EQ(platform.files, (FileTable{{kProduct + L"\\a.dll", "new a"}})) << "no copy and no staged file left";
    EXPECT_EQ(platform.record[0], "journal written: files to replace 1, to create 0, folders to make 0, copied from another volume " +
                                      std::string(misjudged ? "0" : "1"));
  }
}

// A file held by another program for a moment (a virus scanner) is waited for; the status line
// names it meanwhile, and the record tells the wait and its end.
TEST(ReplaceFiles, AFileHeldForAMomentIsWaitedFor) {
  Installation platform;
  platform.files[kProduct + L"\\a.dll"] = "old a";
  platform.holders.insert({kProduct + L"\\a.dll", test::Holder{false, true, true, false, 1000}});
  CUpdateContext context;
  Stage(platform, context, kProduct + L"\\a.dll", L"a", "new a");
  EXPECT_EQ(Replace(context, platform), UpdateOutcome::kOk);
  EXPECT_EQ(platform.files[kProduct + L"\\a.dll"], "new a");
  EXPECT_EQ(platform.clock, 1500u);
  EXPECT_EQ(platform.StatusTexts()[1], L"pro_file_in_use_s(a.dll)");
  const std::vector<std::string> waits(platform.record.begin() + 1, platform.record.begin() + 3);
  EXPECT_EQ(waits, (std::vector<std::string>{"waiting for \"C:\\Zoria\\a.dll\": error 32 (held by another program)",
                                             "free again after 1.5 s: \"C:\\Zoria\\a.dll\""}));
}

// A run waits 30 s at most in all: forty backups held for good after the commit cost no more.
TEST(ReplaceFiles, TheWaitsOfARunAreBounded) {
  Installation platform;
  CUpdateContext context;
  for (int i = 0; i < 40; ++i) {
    const std::wstring target = kProduct + L"\\f" + std::to_wstring(i);
    platform.files[target] = "old";
    Stage(platform, context, target, L"s" + std::to_wstring(i), "new");
  }
  platform.actAtCall = 1 + 40 + 1 + 80 + 1;  // the holds, the journal, the moves, the commit: the backups' deletion
  platform.actor = [](FakePlatform& p) {
    for (int i = 0; i < 40; ++i) p.lockedPaths.insert(kProduct + L"\\f" + std::to_wstring(i) + L".bak");
  };
  EXPECT_EQ(Replace(context, platform), UpdateOutcome::kOk);
  EXPECT_EQ(platform.clock, CPatientFileSystem::kRunWaitMs);
  EXPECT_EQ(context.leftovers.size(), 40u) << "the next start deletes them";
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
    CMovingSection section(platform);
    EXPECT_EQ(ApplyUpdate(context, platform, section), UpdateOutcome::kUserCancelled);
  }
  EXPECT_EQ(platform.files, before);
  EXPECT_EQ(platform.operations, 0);
  EXPECT_TRUE(context.backups.empty());

  platform.boxAnswers = {BoxAnswer::kFirst};  // quits on request this time
  CMovingSection section(platform);
  EXPECT_EQ(ApplyUpdate(context, platform, section), UpdateOutcome::kOk);
  EXPECT_EQ(platform.files[L"C:\\Zoria\\a.dll"], "new a");
  EXPECT_EQ(platform.processes.count(7), 0u);
}

}  // namespace
}  // namespace zr
