// Sweeps that make every single file operation of a run fail, end the process or kill it, in
// turn, and another program replace a staged file before each call: every run ends with the
// installation all old or all new, nothing of the run left.

#include <gtest/gtest.h>

#include <algorithm>
#include <iostream>
#include <string>
#include <vector>

#include "support/fake_platform.h"
#include "support/update_fixtures.h"
#include "update/apply.h"
#include "update/entry_check.h"
#include "update/journal.h"
#include "update/md5.h"
#include "update/outcome.h"
#include "update/progress.h"
#include "update/update_context.h"
#include "update/update_worker.h"
#include "util/ascii.h"
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

// One manifest entry of a sweep: which product file (by number), whether it exists before,
// which spelling of its path the entry uses, and where its staged file lies: in the cache (0),
// on another volume (1), or on another volume the updater takes for its own until a rename
// fails (2). A twin's staged file has its product file's size and last write time.
struct SweepEntry {
  int file;
  bool existed;
  int spelling = 0;
  int staging = 0;
  bool twin = false;
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
    const std::string content = (manifest[i].twin ? "replaced " : "staged ") + std::to_string(i);
    Stage(run.platform, run.context, path, L"s" + std::to_wstring(i), content);
    if (manifest[i].twin) run.platform.GiveTimeOf(run.context.files.back().tmp, path);
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
  // A staged file that looks like its product file by size and time alone.
  const SweepEntry e0t{0, true, 0, 0, true};
  manifests.push_back({e0t, n2});
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
  next.TakeDiskOf(disk);
  CUpdateContext context;
  CMovingSection section(next);
  return RecoverInterruptedRun(context, next, section);
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
        ASSERT_EQ(run.platform.movesOutsideMovingSection, 0);
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
    next.TakeDiskOf(disk);
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
          ASSERT_EQ(run.platform.movingSectionDepth, 0);
          ASSERT_EQ(run.platform.movesOutsideMovingSection, 0);
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
          ASSERT_EQ(run.platform.movingSectionDepth, 0);
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
          ASSERT_EQ(next.movesOutsideMovingSection, 0);
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
