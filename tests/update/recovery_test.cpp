// Recovery at the next start after a run was cut short, against the fake: what the journal
// left is finished, and only that; nothing moves while the product runs on or a file cannot
// come back.

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
using test::Planned;

// The plan of a run over a.dll and b.dll (replaced) and n.dll (created in "new\\"), as its
// journal holds it, with the marks after it.
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
    CMovingSection section(platform);
    EXPECT_EQ(RecoverInterruptedRun(context, platform, section), c.journalKept ? UpdateOutcome::kRecoveryFailed : UpdateOutcome::kOk);
    if (c.journalKept) {
      EXPECT_EQ(platform.files[kJournal], c.journal);
      platform.files.erase(kJournal);
      EXPECT_EQ(platform.operations, 0);
      EXPECT_FALSE(platform.StatusTexts().empty()) << "the status line says why";
    }
    EXPECT_EQ(platform.files, c.expected);
    EXPECT_EQ(platform.movesOutsideMovingSection, 0);
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
    CMovingSection section(platform);
    EXPECT_EQ(RecoverInterruptedRun(context, platform, section), c.result);
    EXPECT_EQ(platform.processes.count(7), c.productEnds ? 0u : 1u);
    EXPECT_EQ(platform.files, before) << "nothing moves, and the journal stays";
    if (c.backupLocked) {
      EXPECT_EQ(platform.StatusTexts().back(), L"pro_restore_failed_dds(1,3,a.dll)");
    } else {
      EXPECT_EQ(platform.moveCount, 0);
    }
  }
}

}  // namespace
}  // namespace zr
