// Replacing the product's files, rolling back and recovering, against the fake: exact
// sequences for the ordinary cases, the checks made before anything moves, then sweeps that
// make every single file operation fail, end the process or kill it, in turn.

#include "update/apply.h"
#include "update/entry_check.h"
#include "update/recovery.h"
#include "util/paths.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <iostream>
#include <string>
#include <vector>

#include "support/fake_platform.h"
#include "update/journal.h"
#include "update/md5.h"
#include "update/outcome.h"
#include "update/progress.h"
#include "update/update_context.h"
#include "update/update_worker.h"
#include "util/ascii.h"
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

std::string Upper(std::string text) {
  for (char& c : text) c = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
  return text;
}

// ReplaceFiles inside a held file stage, with the staged files held, as the worker runs it.
UpdateOutcome Replace(CUpdateContext& context, FakePlatform& platform) {
  CFileStage stage(platform);
  EXPECT_TRUE(stage.Enter());
  const UpdateOutcome held = HoldStagedFiles(context, platform);
  return held == UpdateOutcome::kOk ? ReplaceFiles(context, platform) : held;
}

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
  CFileStage stage(platform);
  EXPECT_EQ(RecoverInterruptedRun(next, platform, stage), UpdateOutcome::kOk);
  EXPECT_EQ(platform.files, (FileTable{{L"C:\\Zoria\\a.dll", "new a"}}));
  EXPECT_EQ(platform.processes.count(7), 1u) << "the product runs on";
  EXPECT_EQ(platform.fileStageRequests, 1) << "only the replacing's own";
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

// ---- Checks before anything moves ---------------------------------------------------------

TEST(ApplyUpdate, AManifestThatCannotBeAppliedFailsBeforeTheProductIsClosedAndTouchesNothing) {
  const std::wstring b = kProduct + L"\\b.dll", bStaged = kStaging + L"\\b.staged";
  const std::string md5 = "3e6ccdf94150d22dd4b2c94bfba165bf";   // of "new b"
  const std::string longer = "749a54a17e9b07e22fff8ac1375e95e5";  // of "new b!": b is one byte short
  // What another program does with the second staged file meanwhile.
  enum class Read {
    kFine,
    kHeld,          // holds it without sharing, for good
    kReadShared,    // holds it, letting others read it but not delete it
    kWriteShared,   // holds it, letting others read and write it but not delete it
    kScanned,       // reads it, letting others do anything: it can be held all the same
    kHeldAMoment,   // holds it without sharing for a second
    kBadSector,
  };
  struct Case {
    const char* name;
    std::wstring tmp, path;  // of the second of three entries
    bool usable = false;
    std::string md5 = "";  // the second entry's
    Read read = Read::kFine;
  } cases[] = {
      {"staged file missing", kStaging + L"\\gone.staged", b},
      {"staged file is a directory", kStaging, b},
      {"target is a directory", bStaged, kProduct + L"\\plugins"},
      {"target is a directory link", bStaged, kProduct + L"\\linked"},
      {"staged file is a target", L"c:/zoria/A.DLL", b},
      {"staged file listed twice", kStaging + L"\\a.staged", b},
      {"target is another target's backup", bStaged, kProduct + L"\\a.dll.bak"},
      {"target is another target's parking name", bStaged, kProduct + L"\\A.dll.TMP"},
      {"empty target", bStaged, L""},
      {"empty staged file", L"", b},
      {"relative target", bStaged, L"b.dll"},
      {"drive-relative target", bStaged, L"C:b.dll"},
      {"target without a drive", bStaged, L"\\Zoria\\b.dll"},
      {"device path", bStaged, L"\\\\.\\C:\\Zoria\\b.dll"},
      {"a line break in the target", bStaged, b + L"\nN C:\\victim.txt"},
      {"a control character in the staged file", kStaging + L"\\b\x01.staged", b},
      {"a wildcard", bStaged, kProduct + L"\\b?.dll"},
      {"a stream name", bStaged, b + L":stream"},
      {"target outside the installation", bStaged, L"C:\\Windows\\b.dll"},
      {"target next to the installation", bStaged, L"C:\\Zoria2\\b.dll"},
      {"target climbing out", bStaged, kProduct + L"\\..\\b.dll"},
      {"target through a link", bStaged, kProduct + L"\\linked\\b.dll"},
      {"target below a file", bStaged, kProduct + L"\\a.dll\\b.dll"},
      {"target is the journal", bStaged, kProduct + L"\\ZRUPDATER.JOURNAL"},
      {"target is the journal, with trailing dots and blanks", bStaged, kProduct + L"\\zrUpdater.journal. ."},
      {"target is the journal, in the \\\\?\\ form", bStaged, L"\\\\?\\" + kProduct + L"\\zrUpdater.journal"},
      {"target is the short name the journal will have", bStaged, kProduct + L"\\" + FakePlatform::ShortNameOf(L"zrUpdater.journal")},
      {"target is the lock", bStaged, kProduct + L"\\zrUpdater.lock"},
      {"target is the record", bStaged, kProduct + L"\\zrUpdater.log"},
      {"target is the previous record", bStaged, kProduct + L"\\ZRUPDATER.LOG.1"},
      {"target is the short name of the backup the run makes", bStaged, kProduct + L"\\" + FakePlatform::ShortNameOf(L"a.dll.bak")},
      {"target is a numbered backup name of a target", bStaged, kProduct + L"\\a.dll.2.bak"},
      {"target is the copy name of a target", bStaged, kProduct + L"\\A.DLL.new"},
      {"target in a new folder named like a short name", bStaged, kProduct + L"\\NEWF~1AB\\b.dll"},
      {"target in an existing folder named by its short name", bStaged,
       kProduct + L"\\" + FakePlatform::ShortNameOf(L"plugins") + L"\\b.dll", true},
      {"staged file in the installation, not in its cache", kProduct + L"\\plugins\\b.new", b},
      {"staged file named like a target's backup", kStaging + L"\\x.dat.bak", kStaging + L"\\x.dat"},
      {"staged file outside the installation", L"D:\\downloads\\b.new", b, true},
      {"target in a new folder", bStaged, kProduct + L"\\new\\deeper\\b.dll", true},
      {"md5 of other bytes", bStaged, b, false, longer},
      {"md5 of other bytes, upper case", bStaged, b, false, Upper(longer)},
      {"md5 matches", bStaged, b, true, md5},
      {"md5 matches, upper case", bStaged, b, true, Upper(md5)},
      {"md5 empty: not checked", bStaged, b, true, ""},
      {"md5 of 31 digits: not checked", bStaged, b, true, longer.substr(1)},
      {"md5 of 33 digits: not checked", bStaged, b, true, longer + "0"},
      {"md5 with blanks: not checked", bStaged, b, true, " " + longer},
      {"md5 matches, staged file held", bStaged, b, false, md5, Read::kHeld},
      {"staged file held", bStaged, b, false, "", Read::kHeld},
      {"staged file held: read allowed, delete refused", bStaged, b, false, md5, Read::kReadShared},
      {"staged file held: write allowed, delete refused", bStaged, b, false, "", Read::kWriteShared},
      {"staged file read by a program that shares it", bStaged, b, true, md5, Read::kScanned},
      {"staged file held for a moment", bStaged, b, true, md5, Read::kHeldAMoment},
      {"md5 matches, staged file unreadable part-way", bStaged, b, false, md5, Read::kBadSector},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Installation platform;
    platform.directories.insert(kProduct + L"\\plugins");
    platform.directories.insert(L"D:\\elsewhere");
    platform.directories.insert(L"D:\\downloads");
    platform.directoryLinks[kProduct + L"\\linked"] = L"D:\\elsewhere";
    platform.files[kProduct + L"\\a.dll"] = "old a";
    platform.files[kProduct + L"\\plugins\\b.new"] = "new b";
    platform.files[kStaging + L"\\a.staged"] = "new a";
    platform.files[bStaged] = "new b";
    platform.files[kStaging + L"\\b\x01.staged"] = "new b";
    platform.files[kStaging + L"\\x.dat.bak"] = "new b";
    platform.files[L"D:\\downloads\\b.new"] = "new b";
    platform.files[kStaging + L"\\c.staged"] = "new c";
    platform.processes[7] = {kProduct + L"\\zrCastrix.exe"};
    switch (c.read) {
      case Read::kHeld: platform.lockedPaths.insert(bStaged); break;
      case Read::kReadShared: platform.holders.insert({bStaged, test::Holder{}}); break;
      case Read::kWriteShared: platform.holders.insert({bStaged, test::Holder{true, true, true, false}}); break;
      case Read::kScanned: platform.holders.insert({bStaged, test::Holder{false, true, true, true}}); break;
      case Read::kHeldAMoment: platform.holders.insert({bStaged, test::Holder{true, false, false, false, 1000}}); break;
      case Read::kBadSector: platform.failReadAt = 3; break;
      case Read::kFine: break;
    }
    platform.readPieceBytes = 2;
    CUpdateContext context;
    context.files = {{"", "", kStaging + L"\\a.staged", kProduct + L"\\a.dll", 0},
                     {"", c.md5, c.tmp, c.path, 0},
                     {"", "", kStaging + L"\\c.staged", kProduct + L"\\c.dll", 0}};
    if (c.path == kStaging + L"\\x.dat") context.files[0].path = kStaging + L"\\x.dat";
    const FileTable before = platform.files;

    CFileStage stage(platform);
    if (c.usable) {
      EXPECT_EQ(CheckFileEntries(context, platform), UpdateOutcome::kOk);
      EXPECT_EQ(context.heldStaged.size(), 3u) << "every staged file held from here on";
      EXPECT_EQ(platform.clock, c.read == Read::kHeldAMoment ? 1500u : 0u) << "a moment's lock is waited out";
      continue;
    }
    EXPECT_EQ(ApplyUpdate(context, platform, stage), UpdateOutcome::kCheckRefused);
    EXPECT_EQ(platform.files, before);
    EXPECT_EQ(platform.operations, 0);
    EXPECT_EQ(platform.processes.count(7), 1u) << "the product is not closed for nothing";
    EXPECT_EQ(platform.fileStageRequests, 0);
    EXPECT_TRUE(context.heldStaged.empty());
    ASSERT_FALSE(platform.StatusTexts().empty());
    // Refused for its md5, or before the md5 is read (a path rule, a staged file held by another program).
    const bool md5Read = !c.md5.empty() && (c.read == Read::kFine || c.read == Read::kBadSector);
    EXPECT_EQ(platform.StatusTexts().back(),
              (md5Read ? L"pro_verify_md5_error(2,3," : L"pro_update_file_dds(2,3,") + FileNameOfPath(c.path) + L")");
  }
}

// The check is a step of its own: each staged file is read in pieces while the bar follows the
// bytes, all before the product is asked anything; the bar is then empty for the replacing.
TEST(ApplyUpdate, TheMd5CheckFillsTheBarBeforeTheProductIsAsked) {
  Installation platform;
  platform.processes[7] = {kProduct + L"\\zrCastrix.exe"};
  platform.boxAnswers = {BoxAnswer::kFirst};
  CUpdateContext context;
  Stage(platform, context, kProduct + L"\\a.dll", L"a", std::string(300000, 'x'));
  Stage(platform, context, kProduct + L"\\b.dll", L"b", "new b");
  context.files[0].md5 = "d408ed46ebcc326f9e7c6bb9c77af1cd";
  context.files[1].md5 = "3E6CCDF94150D22DD4B2C94BFBA165BF";
  CFileStage stage(platform);
  ASSERT_EQ(ApplyUpdate(context, platform, stage), UpdateOutcome::kOk);

  const auto asked = std::find_if(platform.log.begin(), platform.log.end(),
                                  [](const std::wstring& line) { return line.compare(0, 11, L"questionbox") == 0; });
  ASSERT_NE(asked, platform.log.end());
  std::vector<int64_t> bar;
  std::vector<std::wstring> lines;
  for (auto line = platform.log.begin(); line != asked; ++line) {
    EXPECT_NE(line->compare(0, 5, L"move "), 0) << "nothing moves before the question";
    if (line->compare(0, 9, L"progress ") == 0) bar.push_back(std::stoll(line->substr(9)));
    if (line->compare(0, 7, L"status ") == 0) lines.push_back(line->substr(7));
  }
  EXPECT_EQ(lines, (std::vector<std::wstring>{L"pro_verifying_dds(1,2,a.dll)", L"pro_verifying_dds(2,2,b.dll)"}));
  ASSERT_GT(bar.size(), 50u) << "the bar follows the bytes";
  EXPECT_LE(bar.size(), 102u);
  EXPECT_EQ(bar.front(), 0);
  EXPECT_EQ(bar[bar.size() - 2], 100);
  EXPECT_EQ(bar.back(), 0) << "emptied for the next step";
  for (size_t i = 2; i + 1 < bar.size(); ++i) EXPECT_LT(bar[i - 1], bar[i]);
  EXPECT_EQ(platform.files[kProduct + L"\\a.dll"], std::string(300000, 'x'));
}

// From its check to its move no other program can change a staged file: neither rewrite it
// (setting its time back), nor move another file onto it, nor move it away; what was checked is
// installed.
TEST(ApplyUpdate, NoOtherProgramCanChangeAStagedFileFromItsCheckToItsMove) {
  Installation platform;
  platform.processes[7] = {kProduct + L"\\zrCastrix.exe"};
  platform.boxAnswers = {BoxAnswer::kFirst};
  platform.files[kProduct + L"\\a.dll"] = "old a";
  platform.files[L"C:\\evil"] = "new A";
  CUpdateContext context;
  Stage(platform, context, kProduct + L"\\a.dll", L"a", "new a");
  context.files[0].md5 = "49746909ac6ede6a7a85f557a212a066";
  std::vector<bool> attempts;
  platform.onBox = [&](FakePlatform& p) {
    const std::wstring staged = kStaging + L"\\a.staged";
    attempts = {p.OtherProgramWrites(staged, "new A", true), p.OtherProgramMoves(L"C:\\evil", staged),
                p.OtherProgramMoves(staged, L"C:\\away")};
  };
  CFileStage stage(platform);
  EXPECT_EQ(ApplyUpdate(context, platform, stage), UpdateOutcome::kOk);
  EXPECT_EQ(attempts, std::vector<bool>(3, false));
  EXPECT_EQ(platform.files[kProduct + L"\\a.dll"], "new a");
  // Once the update is over the file is nobody's: the fake does let another program at it.
  platform.files[kStaging + L"\\b"] = "b";
  EXPECT_TRUE(platform.OtherProgramWrites(kStaging + L"\\b", "B", true));
}

// From another volume a staged file is copied beside its target, under a name of the run's own,
// before the target moves; the copy is renamed over the target and the staged file deleted. A
// volume told apart only by the rename (it failed with error 17) gets its copy then.
TEST(ApplyUpdate, AStagedFileFromAnotherVolumeIsCopiedBesideItsTargetFirst) {
  for (const bool misjudged : {false, true}) {
    SCOPED_TRACE(misjudged ? "volumes told apart by the rename" : "volumes known apart");
    Installation platform;
    platform.directories.insert(L"D:\\staging");
    platform.files[kProduct + L"\\a.dll"] = "old a";
    platform.files[L"D:\\staging\\a.new"] = "new a";
    platform.misjudgeVolumes = misjudged;
    CUpdateContext context;
    context.files = {{"", "", L"D:\\staging\\a.new", kProduct + L"\\a.dll", 0}};
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
    CFileStage stage(platform);
    EXPECT_EQ(ApplyUpdate(context, platform, stage), UpdateOutcome::kUserCancelled);
  }
  EXPECT_EQ(platform.files, before);
  EXPECT_EQ(platform.operations, 0);
  EXPECT_TRUE(context.backups.empty());

  platform.boxAnswers = {BoxAnswer::kFirst};  // quits on request this time
  CFileStage stage(platform);
  EXPECT_EQ(ApplyUpdate(context, platform, stage), UpdateOutcome::kOk);
  EXPECT_EQ(platform.files[L"C:\\Zoria\\a.dll"], "new a");
  EXPECT_EQ(platform.processes.count(7), 0u);
}

// ---- Recovery after an interrupted run ----------------------------------------------------

// The plan of a run over a.dll and b.dll (replaced) and n.dll (created in "new\"), as its
// journal holds it, with the names and contents given.
PlannedFile Planned(const std::wstring& target, const char* original, const char* replacement,
                    const std::wstring& backup) {
  PlannedFile file;
  file.target = target;
  file.existed = original != nullptr;
  if (file.existed) {
    file.backup = backup;
    file.original = FakePlatform::IdentityOf(original);
  }
  file.parking = target + L".tmp";
  file.copy = target + L".new";
  file.replacements = {FakePlatform::IdentityOf(replacement)};
  return file;
}

std::string ThreeFileJournal(const std::string& marks = "", const std::wstring& aBackup = L"") {
  const std::wstring a = kProduct + L"\\a.dll", b = kProduct + L"\\b.dll", n = kProduct + L"\\new\\n.dll";
  Journal journal;
  journal.files = {Planned(a, "old a", "new a", aBackup.empty() ? a + L".bak" : aBackup),
                   Planned(b, "old b", "new b", b + L".bak"), Planned(n, nullptr, "new n", L"")};
  journal.createdDirectories = {kProduct + L"\\new"};
  return FormatJournal(journal) + marks;
}

TEST(RecoverInterruptedRun, FinishesWhatTheJournalLeftAndOnlyThat) {
  const std::wstring a = kProduct + L"\\a.dll", b = kProduct + L"\\b.dll", n = kProduct + L"\\new\\n.dll";
  const std::string plan = ThreeFileJournal();
  const FileTable old = {{a, "old a"}, {b, "old b"}};
  struct Case {
    const char* name;
    std::string journal;
    FileTable disk;      // product files before recovery
    FileTable expected;  // after it
    bool journalKept = false;
  } cases[] = {
      {"killed between the two moves of a", plan, {{a + L".bak", "old a"}, {b, "old b"}}, old},
      {"killed after every move", plan,
       {{a + L".bak", "old a"}, {a, "new a"}, {b + L".bak", "old b"}, {b, "new b"}, {n, "new n"}}, old},
      {"killed in a rollback step", plan,
       {{a + L".tmp", "new a"}, {a + L".bak", "old a"}, {b, "old b"}, {n + L".tmp", "new n"}}, old},
      {"killed in a rollback after a commit", ThreeFileJournal("commit\r\nrollback\r\n"),
       {{a, "old a"}, {b + L".bak", "old b"}, {b, "new b"}, {n, "new n"}}, old},
      {"killed while backups were deleted", ThreeFileJournal("commit\r\n"),
       {{a, "new a"}, {b + L".bak", "old b"}, {b, "new b"}, {n, "new n"}}, {{a, "new a"}, {b, "new b"}, {n, "new n"}}},
      {"a finished run's backup name holding a user's file now", ThreeFileJournal("commit\r\n"),
       {{a, "new a"}, {a + L".bak", "the user's"}, {b, "new b"}, {n, "new n"}},
       {{a, "new a"}, {a + L".bak", "the user's"}, {b, "new b"}, {n, "new n"}}},
      {"killed while a copy from another volume was made", plan,
       {{a, "old a"}, {a + L".new", std::string("ne\0\0\0", 5)}, {b, "old b"}}, old},
      {"killed after the copy, its target moved aside", plan, {{a + L".bak", "old a"}, {a + L".new", "new a"}, {b, "old b"}},
       old},
      {"a user's file at a copy name", plan, {{a, "old a"}, {a + L".new", "someone's"}, {b, "old b"}},
       {{a, "old a"}, {a + L".new", "someone's"}, {b, "old b"}}},
      {"killed while the plan was written", plan.substr(0, plan.size() / 2),
       {{a, "old a"}, {a + L".bak", "someone's"}}, {{a, "old a"}, {a + L".bak", "someone's"}}},
      {"a foreign backup beside the run's", ThreeFileJournal("", a + L".2.bak"),
       {{a + L".bak", "someone's"}, {a + L".2.bak", "old a"}, {a, "new a"}, {b, "old b"}},
       {{a + L".bak", "someone's"}, {a, "old a"}, {b, "old b"}}},
      {"reinstalled since: nothing is moved, the backups stay", plan,
       {{a + L".bak", "old a"}, {a, "reinstalled a"}, {b + L".bak", "old b"}, {b, "new b"}},
       {{a + L".bak", "old a"}, {a, "reinstalled a"}, {b + L".bak", "old b"}, {b, "new b"}}},
      {"a file created where the run created one", plan,
       {{a + L".bak", "old a"}, {a, "new a"}, {b, "old b"}, {n, "someone's n"}},
       {{a + L".bak", "old a"}, {a, "new a"}, {b, "old b"}, {n, "someone's n"}}},
      {"an original lost: nothing moves", plan, {{a, "new a"}, {b + L".bak", "old b"}, {b, "new b"}},
       {{a, "new a"}, {b + L".bak", "old b"}, {b, "new b"}}, true},
      {"a damaged journal: nothing moves", plan.substr(0, 30) + "X" + plan.substr(31),
       {{a + L".bak", "old a"}, {a, "new a"}, {b, "old b"}}, {{a + L".bak", "old a"}, {a, "new a"}, {b, "old b"}}, true},
      {"the journal of another format", "zrUpdater journal 1\r\nB " + WideToUtf8(a) + "\r\nend\r\n",
       {{a + L".bak", "old a"}, {a, "new a"}}, {{a + L".bak", "old a"}, {a, "new a"}}, true},
  };
  for (Case& c : cases) {
    SCOPED_TRACE(c.name);
    Installation platform;
    platform.files = c.disk;
    platform.files[kJournal] = c.journal;
    if (c.disk.count(n) || c.disk.count(n + L".tmp")) platform.directories.insert(kProduct + L"\\new");
    CUpdateContext context;
    CFileStage stage(platform);
    EXPECT_EQ(RecoverInterruptedRun(context, platform, stage), c.journalKept ? UpdateOutcome::kRecoveryFailed : UpdateOutcome::kOk);
    if (c.journalKept) {
      EXPECT_EQ(platform.files[kJournal], c.journal);
      platform.files.erase(kJournal);
      EXPECT_EQ(platform.operations, 0);
      EXPECT_FALSE(platform.StatusTexts().empty()) << "the status line says why";
    }
    EXPECT_EQ(platform.files, c.expected);
    EXPECT_EQ(platform.movesOutsideFileStage, 0);
    if (c.expected == old) {
      EXPECT_FALSE(platform.Exists(kProduct + L"\\new")) << "the run's folder goes with it";
    }
  }
}

TEST(RecoverInterruptedRun, MovesNothingWhileTheProductRunsOnAndKeepsTheJournalWhileAFileCannotComeBack) {
  const std::wstring a = kProduct + L"\\a.dll";
  struct Case {
    const char* name;
    BoxAnswer answer;
    bool terminable;
    bool backupLocked;
    UpdateOutcome result;
    bool productEnds;
  } cases[] = {
      {"the user keeps the product", BoxAnswer::kSecond, true, false, UpdateOutcome::kUserCancelled, false},
      {"the product does not end", BoxAnswer::kFirst, false, false, UpdateOutcome::kCloseFailed, false},
      {"the backup is held", BoxAnswer::kFirst, true, true, UpdateOutcome::kRecoveryFailed, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Installation platform;
    platform.files[a] = "new a";
    platform.files[a + L".bak"] = "old a";
    platform.files[kProduct + L"\\b.dll"] = "old b";
    platform.files[kJournal] = ThreeFileJournal();
    test::FakeProcess product;
    product.path = kProduct + L"\\zrCastrix.exe";
    product.quitsOnRequest = product.terminable = c.terminable;
    platform.processes[7] = product;
    platform.boxAnswers = {c.answer};
    if (c.backupLocked) platform.lockedPaths = {a + L".bak"};
    const FileTable before = platform.files;

    CUpdateContext context;
    CFileStage stage(platform);
    EXPECT_EQ(RecoverInterruptedRun(context, platform, stage), c.result);
    EXPECT_EQ(platform.processes.count(7), c.productEnds ? 0u : 1u);
    EXPECT_EQ(platform.files, before) << "nothing moves, and the journal stays";
    if (c.backupLocked) {
      EXPECT_EQ(platform.StatusTexts().back(), L"pro_restore_failed_dds(1,3,a.dll)");
    } else {
      EXPECT_EQ(platform.moveCount, 0);
    }
  }
}

// A plan with its "end" line, as the updater writes it.
std::string Signed(const std::string& plan) { return plan + "end|" + JournalChecksum(plan) + "\r\n"; }

// A journal that an updater before copies wrote (version 2, no copy field) is read all the same.
TEST(Journal, AJournalWithoutCopyNamesIsReadAsOneWhoseFilesHaveNone) {
  const Journal read = ParseJournal(Signed("zrUpdater journal 2\r\nB|C:\\a|C:\\a.bak|C:\\a.tmp|4@5|6@7\r\n") + "commit\r\n");
  EXPECT_EQ(read.state, Journal::State::kFinished);
  ASSERT_EQ(read.files.size(), 1u);
  EXPECT_EQ(read.files[0].parking, L"C:\\a.tmp");
  EXPECT_EQ(read.files[0].copy, L"");
  EXPECT_EQ(read.files[0].original, (FileIdentity{4, 5}));
  EXPECT_EQ(ParseJournal(Signed("zrUpdater journal 3\r\nB|C:\\a|C:\\a.bak|C:\\a.tmp|4@5|6@7\r\n")).state,
            Journal::State::kDamaged) << "a version 3 line has its copy field";
}

TEST(Journal, RoundTripsEveryPathAndShowsAnyDamage) {
  Journal journal;
  PlannedFile file = Planned(L"C:\\Program Files\\Zoria 投屏\\a|b%c.dll", "old", "new", L"C:\\x\\a.2.bak");
  file.replacements.push_back(FileIdentity{UINT64_MAX, 0});
  journal.files = {file, Planned(L"D:\\x\\" + std::wstring(300, L'长') + L"\r\nN C:\\victim.txt", nullptr, "n", L"")};
  journal.createdDirectories = {L"D:\\x\\新"};
  journal.leftovers = {{L"C:\\x\\old.bak", FileIdentity{3, 4}}};
  const std::string text = FormatJournal(journal);
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 6) << "a path never makes a line of its own";

  const struct {
    std::string bytes;
    Journal::State state;
  } variants[] = {
      {text, Journal::State::kPlanned},
      {text + "commit\r\n", Journal::State::kFinished},
      {text + "commit\r\nrollback\r\n", Journal::State::kPlanned},
      {text + "done\r\n", Journal::State::kFinished},
      {text + "comm", Journal::State::kPlanned},  // a mark cut off was never written
      {text.substr(0, text.size() - 5), Journal::State::kCutOff},
      {"", Journal::State::kCutOff},
      {text + "commit\r\nX\r\n", Journal::State::kDamaged},
      {text.substr(0, 40) + "%" + text.substr(41), Journal::State::kDamaged},
      {"zrUpdater journal 1\r\nB C:\\a\r\nend\r\n", Journal::State::kDamaged},
      {Signed("zrUpdater journal 3\r\nB|C:\\a|C:\\a.bak|C:\\a.tmp|C:\\a.new|18446744073709551616@1|1@1\r\n"),
       Journal::State::kDamaged},  // one more than 64 bits hold
      {Signed("zrUpdater journal 3\r\nB|C:\\a|C:\\a.bak|C:\\a.tmp|C:\\a.new|99999999999999999999@1|1@1\r\n"),
       Journal::State::kDamaged},
      {Signed("zrUpdater journal 3\r\nB|C:\\a|C:\\a.bak|C:\\a.tmp|C:\\a.new|18446744073709551615@1|1@1\r\n"),
       Journal::State::kPlanned},  // the most 64 bits hold
  };
  for (const auto& variant : variants) {
    SCOPED_TRACE(variant.bytes);
    const Journal read = ParseJournal(variant.bytes);
    EXPECT_EQ(read.state, variant.state);
    if (read.files.size() == 1) {
      EXPECT_EQ(read.files[0].original.size, UINT64_MAX);
    }
    if (read.files.size() != 2) continue;
    ASSERT_EQ(read.files.size(), 2u);
    for (size_t i = 0; i < 2; ++i) {
      EXPECT_EQ(read.files[i].target, journal.files[i].target);
      EXPECT_EQ(read.files[i].existed, journal.files[i].existed);
      EXPECT_EQ(read.files[i].backup, journal.files[i].backup);
      EXPECT_EQ(read.files[i].parking, journal.files[i].parking);
      EXPECT_EQ(read.files[i].copy, journal.files[i].copy);
      EXPECT_EQ(read.files[i].original, journal.files[i].original);
      EXPECT_EQ(read.files[i].replacements, journal.files[i].replacements);
    }
    EXPECT_EQ(read.createdDirectories, journal.createdDirectories);
    ASSERT_EQ(read.leftovers.size(), 1u);
    EXPECT_EQ(read.leftovers[0].path, L"C:\\x\\old.bak");
    EXPECT_EQ(read.leftovers[0].identity, (FileIdentity{3, 4}));
  }
}

// ---- Fault sweeps ---------------------------------------------------------------------------

// One manifest entry of a sweep: which product file (by number), whether it exists before,
// which spelling of its path the entry uses, and where its staged file lies: in the cache (0),
// on another volume (1), or on another volume the updater takes for its own until a rename
// fails (2).
struct SweepEntry {
  int file;
  bool existed;
  int spelling = 0;
  int staging = 0;
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
  FileTable foreign;    // files named like the run's backups and parked files, there before
  test::PathSet directories = platform.directories;
};

// Every manifest also finds a ".bak" beside f0 and a ".tmp" beside f1 that are not the run's.
void Prepare(SweepRun& run, const std::vector<SweepEntry>& manifest) {
  for (size_t i = 0; i < manifest.size(); ++i) {
    const std::wstring path = SweepPath(manifest[i]);
    if (manifest[i].existed) {
      run.originals[path] = "original " + std::to_string(manifest[i].file);
      run.platform.files[path] = run.originals[path];
      const std::wstring plain = SweepPath({manifest[i].file, true});
      if (manifest[i].file == 0) run.foreign[plain + L".bak"] = "someone's backup";
      if (manifest[i].file == 1) run.foreign[plain + L".tmp"] = "someone's notes";
    }
    const std::string content = "staged " + std::to_string(i);
    Stage(run.platform, run.context, path, L"s" + std::to_wstring(i), content);
    if (manifest[i].staging != 0) {
      UpdateFileEntry& entry = run.context.files.back();
      run.platform.files.erase(entry.tmp);
      entry.tmp = L"D:\\staging\\s" + std::to_wstring(i);
      run.platform.files[entry.tmp] = content;
      run.platform.directories.insert(L"D:\\staging");
      run.platform.misjudgeVolumes = run.platform.misjudgeVolumes || manifest[i].staging == 2;
    }
    run.finals[path] = content;
  }
  for (const auto& [path, content] : run.foreign) run.platform.files[path] = content;
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
  // Staged files on another volume: copied beside their targets first.
  const SweepEntry e0d{0, true, 0, 1}, n2d{2, false, 0, 1}, e1m{1, true, 0, 2};
  manifests.push_back({e0d});
  manifests.push_back({e0d, n2d, e1});
  manifests.push_back({n2, e0d, n2b});
  manifests.push_back({e1m, n2});
  return manifests;
}

std::string Describe(const std::vector<SweepEntry>& manifest) {
  std::string text;
  for (const SweepEntry& e : manifest) {
    text += std::to_string(e.file) + (e.existed ? "E" : "N") + std::to_string(e.spelling) + "/" + std::to_string(e.staging) + " ";
  }
  return text;
}

// Below the installation, but not in its cache.
bool InInstallation(const std::wstring& path) {
  const std::wstring full = AsciiLower(test::FakeFullPath(path));
  const std::wstring cache = AsciiLower(kProduct + L"\\cache");
  return full.compare(0, kProduct.size() + 1, AsciiLower(kProduct) + L"\\") == 0 && full != cache &&
         full.compare(0, cache.size() + 1, cache + L"\\") != 0;
}

// The installation's files are exactly `expected` (any spelling), nothing more.
bool Holds(const FakePlatform& disk, const FileTable& expected) {
  size_t present = 0;
  for (const auto& [path, content] : disk.files) present += InInstallation(path) ? 1 : 0;
  for (const auto& [path, content] : expected) {
    const auto now = disk.files.find(path);
    if (now == disk.files.end() || now->second != content) return false;
  }
  return present == expected.size();
}

FileTable Joined(FileTable a, const FileTable& b) {
  a.insert(b.begin(), b.end());
  return a;
}

// Every product file old (originals in place, created files and folders absent) or every one
// new; nothing of the run left beside them (no backup, no parked file, no journal), and every
// file that was not the run's exactly as it was. A folder whose removal was made to fail
// (`rmdirFailed`) may stay.
::testing::AssertionResult OldOrNew(const SweepRun& run, const FakePlatform& disk, bool rmdirFailed = false) {
  if (Holds(disk, Joined(run.finals, run.foreign))) return ::testing::AssertionSuccess();
  if (!Holds(disk, Joined(run.originals, run.foreign))) {
    ::testing::AssertionResult failure = ::testing::AssertionFailure();
    failure << "neither all old nor all new:";
    for (const auto& [path, content] : disk.files) {
      if (InInstallation(path)) failure << " " << WideToUtf8(path) << "=" << content;
    }
    return failure;
  }
  for (const std::wstring& directory : disk.directories) {
    if (!rmdirFailed && InInstallation(directory) && !run.directories.count(directory)) {
      return ::testing::AssertionFailure() << "a folder the run created is left: " << WideToUtf8(directory);
    }
  }
  return ::testing::AssertionSuccess();
}

bool RmdirFailed(const FakePlatform& platform) {
  return std::any_of(platform.log.begin(), platform.log.end(),
                     [](const std::wstring& line) { return line.compare(0, 12, L"failed rmdir") == 0; });
}

// The next start's recovery, on what `disk` holds.
UpdateOutcome RecoverOn(const FakePlatform& disk, FakePlatform& next) {
  next.moduleDirectory = kProduct;
  next.directories = disk.directories;
  next.files = disk.files;
  CUpdateContext context;
  CFileStage stage(next);
  return RecoverInterruptedRun(context, next, stage);
}

int CleanOperationCount(const std::vector<SweepEntry>& manifest) {
  SweepRun run;
  Prepare(run, manifest);
  EXPECT_EQ(Replace(run.context, run.platform), UpdateOutcome::kOk) << Describe(manifest);
  return run.platform.operations;
}

// The failure at each operation comes in two kinds: the operation does nothing, or it takes
// effect and is reported failed all the same (a write whose flush failed, a move across
// volumes whose source could not be deleted).
TEST(FaultSweep, EveryFailedReplacementIsUndoneCompletely) {
  int cases = 0;
  for (const auto& manifest : SweepManifests(6)) {
    const int operations = CleanOperationCount(manifest);
    for (int fail = 1; fail <= operations; ++fail) {
      for (const bool afterEffect : {false, true}) {
        SCOPED_TRACE(testing::Message() << "manifest " << Describe(manifest) << ", failing operation " << fail
                                        << (afterEffect ? " after its effect" : ""));
        SweepRun run;
        Prepare(run, manifest);
        run.platform.failOperation = fail;
        run.platform.failAfterEffect = afterEffect;
        ++cases;
        const UpdateOutcome result = Replace(run.context, run.platform);
        ASSERT_EQ(run.platform.movesOutsideFileStage, 0);
        if (result == UpdateOutcome::kOk) {
          // Only a deletion after the commit failed: every file is new.
          for (const auto& [path, content] : run.finals) ASSERT_EQ(run.platform.files[path], content);
          continue;
        }
        ASSERT_TRUE(result == UpdateOutcome::kMoveFailed || result == UpdateOutcome::kJournalFailed);
        const int replacing = run.platform.operations;
        const bool commitLanded = run.platform.files[kJournal].find("commit") != std::string::npos;
        RollbackFiles(run.context, run.platform);
        ASSERT_TRUE(OldOrNew(run, run.platform, RmdirFailed(run.platform)));
        ASSERT_TRUE(Holds(run.platform, Joined(run.originals, run.foreign))) << "rolled back";
        // A commit that landed although it was reported failed, then the process killed in the
        // rollback: the next start still rolls back.
        for (int at = replacing + 1; commitLanded && at <= run.platform.operations; ++at) {
          SweepRun killed;
          Prepare(killed, manifest);
          killed.platform.failOperation = fail;
          killed.platform.failAfterEffect = true;
          killed.platform.dieAtOperation = at;
          ASSERT_EQ(Replace(killed.context, killed.platform), UpdateOutcome::kJournalFailed);
          ASSERT_THROW(RollbackFiles(killed.context, killed.platform), test::ProcessDied);
          FakePlatform next;
          ASSERT_EQ(RecoverOn(killed.platform, next), UpdateOutcome::kOk);
          ASSERT_TRUE(Holds(next, Joined(run.originals, run.foreign))) << "killed in the rollback at " << at;
          ++cases;
        }
      }
    }
  }
  std::cout << "[ sweep    ] " << cases << " replacing runs, each failing at another file operation\n";
  EXPECT_GT(cases, 2000);
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
        if (Replace(run.context, run.platform) == UpdateOutcome::kOk) continue;
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
        ASSERT_NE(Replace(run.context, run.platform), UpdateOutcome::kOk);
        const FileTable beforeRollback = run.platform.files;
        run.platform.failOperation = run.platform.operations + rollbackFail;
        RollbackFiles(run.context, run.platform);
        ++cases;
        const FileTable& files = run.platform.files;
        for (const auto& [path, content] : run.originals) {
          const bool kept = std::any_of(files.begin(), files.end(), [&](const auto& file) { return file.second == content; });
          ASSERT_TRUE(kept) << WideToUtf8(path) << " lost its original";
          // A product file is never left missing by the rollback itself.
          if (beforeRollback.count(path)) {
            ASSERT_EQ(files.count(path), 1u) << WideToUtf8(path) << " left missing";
          }
        }
        // What the rollback could not finish, the next start does.
        FakePlatform next;
        if (RecoverOn(run.platform, next) == UpdateOutcome::kOk) {
          ASSERT_TRUE(OldOrNew(run, next, RmdirFailed(run.platform)));
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
// recovers, itself dying at every point once more; or an operation there throws (memory
// exhausted), and the run must end as a failed one. Every single run must end with the
// installation all old or all new and nothing left.
const std::wstring kConfig = L"C:\\update.xml";

// The sweep's manifest at kConfig, every staged file with its md5 (the check runs before every
// replacing), a run failing at operation `fail` (-1: none), and every box answered with its
// first button.
void PrepareRun(SweepRun& run, const std::vector<SweepEntry>& manifest, int fail) {
  Prepare(run, manifest);
  std::string xml = "<config>";
  for (const auto& entry : run.context.files) {
    CMd5 md5;
    const std::string& staged = run.platform.files[entry.tmp];
    md5.Add(staged.data(), staged.size());
    xml += "<file><md5>" + md5.Hex() + "</md5><tmp>" + WideToUtf8(entry.tmp) + "</tmp><path>" +
           WideToUtf8(entry.path) + "</path></file>";
  }
  run.platform.files[kConfig] = xml + "</config>";
  run.platform.failOperation = fail;
  run.platform.boxAnswers = {BoxAnswer::kFirst, BoxAnswer::kFirst, BoxAnswer::kFirst};
}

// Another program tries to replace every staged file, rewriting it (its time set back) and
// moving another file onto it, just before one call of a whole run, each call in turn: whatever
// moment it picks, the files installed are those whose md5 was checked, or the run is refused
// with nothing touched.
TEST(FaultSweep, AStagedFileReplacedAtAnyMomentIsNeverInstalled) {
  int cases = 0, refused = 0;
  for (const auto& manifest : SweepManifests(3)) {
    int calls = 0;
    {
      SweepRun run;
      PrepareRun(run, manifest, -1);
      CUpdateContext context;
      ASSERT_EQ(RunUpdate(context, run.platform, kConfig), UpdateOutcome::kOk);
      calls = run.platform.calls;
    }
    for (int at = 1; at <= calls; ++at) {
      SCOPED_TRACE(testing::Message() << "manifest " << Describe(manifest) << ", replaced before call " << at);
      SweepRun run;
      PrepareRun(run, manifest, -1);
      run.platform.actAtCall = at;
      run.platform.actor = [&](FakePlatform& p) {
        for (const UpdateFileEntry& entry : run.context.files) {
          p.OtherProgramWrites(entry.tmp, "forged", true);
          p.files[L"D:\\forged"] = "forged";
          p.OtherProgramMoves(L"D:\\forged", entry.tmp);
        }
      };
      CUpdateContext context;
      const UpdateOutcome result = RunUpdate(context, run.platform, kConfig);
      ASSERT_TRUE(result == UpdateOutcome::kOk || result == UpdateOutcome::kCheckRefused) << static_cast<int>(result);
      ASSERT_TRUE(Holds(run.platform, Joined(result == UpdateOutcome::kOk ? run.finals : run.originals, run.foreign)));
      refused += result == UpdateOutcome::kCheckRefused ? 1 : 0;
      ++cases;
    }
  }
  std::cout << "[ sweep    ] " << cases << " runs with a staged file replaced before one of their calls, " << refused
            << " refused at the check\n";
  EXPECT_GT(refused, 0);
  EXPECT_LT(refused, cases);
}

TEST(FaultSweep, EveryInterruptionEndsAllOldOrAllNew) {
  const std::wstring config = kConfig;
  auto setUp = [](SweepRun& run, const std::vector<SweepEntry>& manifest, int fail) { PrepareRun(run, manifest, fail); };
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

  int ended = 0, threw = 0, died = 0, diedTwice = 0;
  for (const auto& manifest : SweepManifests(4)) {
    const int replacing = CleanOperationCount(manifest);
    for (int fail = 0; fail <= replacing; ++fail) {  // 0: the replacing succeeds
      int total = 0;
      {
        SweepRun run;
        setUp(run, manifest, fail == 0 ? -1 : fail);
        CUpdateContext context;
        // A failing deletion after the commit fails nothing: such runs are the successful one.
        if (RunUpdate(context, run.platform, config) == UpdateOutcome::kOk && fail != 0) continue;
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
          ASSERT_EQ(run.platform.movesOutsideFileStage, 0);
          ASSERT_TRUE(OldOrNew(run, run.platform, RmdirFailed(run.platform)));
          ++ended;
        }
        {
          // Out of memory there: the run ends as a failed one does, and the next start finishes
          // what its rollback could not.
          SweepRun run;
          setUp(run, manifest, fail == 0 ? -1 : fail);
          run.platform.throwAtOperation = at;
          CUpdateContext context;
          ASSERT_NO_THROW(RunUpdate(context, run.platform, config));
          ASSERT_EQ(run.platform.fileStageDepth, 0);
          const UpdateEvent::Kind last = run.platform.EventKinds().back();
          ASSERT_TRUE(last == UpdateEvent::Kind::kFinished || last == UpdateEvent::Kind::kSucceeded) << "the window is told";
          FakePlatform next;
          recover(run.platform, -1, next);
          ASSERT_TRUE(OldOrNew(run, next, RmdirFailed(run.platform)));
          ++threw;
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
          ASSERT_EQ(next.movesOutsideFileStage, 0);
          ASSERT_TRUE(OldOrNew(run, next, RmdirFailed(run.platform)));
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
          ASSERT_TRUE(OldOrNew(run, third, RmdirFailed(run.platform))) << "recovery died at " << again;
          ++diedTwice;
        }
      }
    }
  }
  std::cout << "[ sweep    ] " << ended << " runs asked to end, " << threw << " out of memory, " << died
            << " killed and recovered, "
            << diedTwice << " killed again while recovering: all old or all new\n";
  EXPECT_GT(ended, 1000);
}

}  // namespace
}  // namespace zr
