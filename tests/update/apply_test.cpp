// Replacing the product's files and rolling back, against the fake: exact sequences for the
// ordinary cases, then sweeps that make every single file operation fail in turn.

#include "update/apply.h"

#include <gtest/gtest.h>

#include <iostream>
#include <map>
#include <string>
#include <vector>

#include "support/fake_platform.h"
#include "update/outcome.h"
#include "update/progress.h"
#include "update/update_context.h"
#include "util/text.h"

namespace zr {
namespace {

using test::FakePlatform;

const std::wstring kProduct = L"C:\\Zoria";
const std::wstring kStaging = L"C:\\Zoria\\cache\\update";

// The fake, with one more kind of fault: the N-th file operation (move, delete or directory
// creation, counted together from 1) fails.
class FaultyPlatform : public FakePlatform {
 public:
  int operations = 0;
  int failOperation = -1;

  FaultyPlatform() {
    moduleDirectory = kProduct;
    directories = {kProduct, L"C:\\Zoria\\cache", kStaging};
  }
  bool MoveReplace(const std::wstring& from, const std::wstring& to) override {
    if (Fails()) {
      log.push_back(L"move failed " + from + L" -> " + to);
      return false;
    }
    return FakePlatform::MoveReplace(from, to);
  }
  void RemoveFile(const std::wstring& path) override {
    if (Fails()) {
      log.push_back(L"delete failed " + path);
      return;
    }
    FakePlatform::RemoveFile(path);
  }
  bool CreateDirectoryChain(const std::wstring& path) override {
    if (Fails()) {
      log.push_back(L"mkdirs failed " + path);
      return false;
    }
    return FakePlatform::CreateDirectoryChain(path);
  }

 private:
  bool Fails() { return ++operations == failOperation; }
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
  UpdateFileEntry entry;
  entry.tmp = staged;
  entry.path = path;
  context.files.push_back(entry);
}

TEST(ReplaceFiles, ReplacesAnExistingFileAndCreatesANewOne) {
  FaultyPlatform platform;
  platform.files[L"C:\\Zoria\\a.dll"] = "old a";
  CUpdateContext context;
  Stage(platform, context, L"C:\\Zoria\\a.dll", L"a", "new a");
  Stage(platform, context, L"C:\\Zoria\\plugins\\新 目录\\b.dll", L"b", "new b");

  EXPECT_EQ(ReplaceFiles(context, platform), RESULT_OK);
  EXPECT_EQ(Narrow(platform.log),
            Narrow({L"post 3 1/2 正在更新文件 a.dll",
                    L"move C:\\Zoria\\a.dll -> C:\\Zoria\\a.dll.bak",
                    L"move C:\\Zoria\\cache\\update\\a.staged -> C:\\Zoria\\a.dll",
                    L"post 3 2/2 正在更新文件 b.dll",
                    L"mkdirs C:\\Zoria\\plugins\\新 目录\\b.dll",
                    L"move C:\\Zoria\\cache\\update\\b.staged -> C:\\Zoria\\plugins\\新 目录\\b.dll",
                    L"delete C:\\Zoria\\a.dll.bak",
                    L"post 1",
                    L"post 3 更新完成！"}));
  ASSERT_EQ(platform.posted.size(), 4u);
  EXPECT_EQ(platform.posted[2].message, WM_UPDATE_PROGRESS);
  EXPECT_EQ(platform.posted[2].value, 100);
  EXPECT_EQ(platform.files, (std::map<std::wstring, std::string>{
                                {L"C:\\Zoria\\a.dll", "new a"}, {L"C:\\Zoria\\plugins\\新 目录\\b.dll", "new b"}}));
  ASSERT_EQ(context.backups.size(), 2u);
  EXPECT_EQ(context.backups[0].target, L"C:\\Zoria\\a.dll");
  EXPECT_EQ(context.backups[0].backup, L"C:\\Zoria\\a.dll.bak");
  EXPECT_EQ(context.backups[1].target, L"C:\\Zoria\\plugins\\新 目录\\b.dll");
  EXPECT_EQ(context.backups[1].backup, L"");
  EXPECT_EQ(platform.directories.count(L"C:\\Zoria\\plugins\\新 目录"), 1u) << "directories remain";
}

TEST(ReplaceFiles, AStaleBackupIsOverwrittenAndThenDeleted) {
  FaultyPlatform platform;
  platform.files[L"C:\\Zoria\\a.dll"] = "old a";
  platform.files[L"C:\\Zoria\\a.dll.bak"] = "stale";
  CUpdateContext context;
  Stage(platform, context, L"C:\\Zoria\\a.dll", L"a", "new a");
  Stage(platform, context, L"C:\\Zoria\\missing.dll", L"m", "new m");
  platform.lockedPaths = {L"C:\\Zoria\\missing.dll"};

  EXPECT_EQ(ReplaceFiles(context, platform), RESULT_MOVE_FAILED);
  EXPECT_EQ(platform.files[L"C:\\Zoria\\a.dll.bak"], "old a");
  RollbackFiles(context, platform);
  EXPECT_EQ(platform.files[L"C:\\Zoria\\a.dll"], "old a");
  EXPECT_EQ(platform.files.count(L"C:\\Zoria\\a.dll.bak"), 0u);
}

TEST(ReplaceFiles, AFailedDeletionOfABackupStillSucceeds) {
  FaultyPlatform platform;
  platform.files[L"C:\\Zoria\\a.dll"] = "old a";
  CUpdateContext context;
  Stage(platform, context, L"C:\\Zoria\\a.dll", L"a", "new a");
  platform.failOperation = 3;  // the deletion of a.dll.bak

  EXPECT_EQ(ReplaceFiles(context, platform), RESULT_OK);
  EXPECT_EQ(platform.files[L"C:\\Zoria\\a.dll"], "new a");
  EXPECT_EQ(platform.files[L"C:\\Zoria\\a.dll.bak"], "old a");
}

TEST(ReplaceFiles, ALockedFirstFileEndsAtOnceWithNothingRecorded) {
  FaultyPlatform platform;
  platform.files[L"C:\\Zoria\\a.dll"] = "old a";
  platform.lockedPaths = {L"C:\\Zoria\\a.dll"};
  CUpdateContext context;
  Stage(platform, context, L"C:\\Zoria\\a.dll", L"a", "new a");
  Stage(platform, context, L"C:\\Zoria\\b.dll", L"b", "new b");

  EXPECT_EQ(ReplaceFiles(context, platform), RESULT_MOVE_FAILED);
  EXPECT_TRUE(context.backups.empty());
  EXPECT_EQ(platform.StatusTexts().size(), 1u);

  platform.log.clear();
  RollbackFiles(context, platform);
  EXPECT_TRUE(platform.log.empty()) << "nothing to roll back, not even a pause";
  EXPECT_EQ(platform.files[L"C:\\Zoria\\a.dll"], "old a");
  EXPECT_EQ(platform.files.count(L"C:\\Zoria\\b.dll"), 0u);
}

TEST(RollbackFiles, ThirdOfFiveFailingRestoresTheFirstThreeInOrder) {
  FaultyPlatform platform;
  CUpdateContext context;
  for (wchar_t c : std::wstring(L"abcde")) {
    const std::wstring name(1, c);
    platform.files[kProduct + L"\\" + name + L".dll"] = "old " + WideToUtf8(name);
    Stage(platform, context, kProduct + L"\\" + name + L".dll", name, "new " + WideToUtf8(name));
  }
  platform.files.erase(kStaging + L"\\c.staged");  // the third new content is missing

  EXPECT_EQ(ReplaceFiles(context, platform), RESULT_MOVE_FAILED);
  ASSERT_EQ(context.backups.size(), 3u);
  platform.log.clear();
  RollbackFiles(context, platform);

  std::vector<std::wstring> expected;
  for (int k = 0; k < 3; ++k) {
    const std::wstring target = kProduct + L"\\" + std::wstring(1, L"abc"[k]) + L".dll";
    expected.push_back(L"post 3 " + std::to_wstring(k + 1) + L"/3 正在回滚文件(" + std::wstring(1, L"abc"[k]) + L".dll)");
    expected.push_back(L"move " + target + L" -> " + target + L".tmp");
    expected.push_back(L"move " + target + L".bak -> " + target);
    expected.push_back(L"delete " + target + L".tmp");
    expected.push_back(L"sleep 10");
  }
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

TEST(RollbackFiles, DeletesFilesTheRunCreated) {
  FaultyPlatform platform;
  CUpdateContext context;
  Stage(platform, context, L"C:\\Zoria\\new\\n.dll", L"n", "new n");
  Stage(platform, context, L"C:\\Zoria\\x.dll", L"x", "new x");
  platform.files.erase(kStaging + L"\\x.staged");

  EXPECT_EQ(ReplaceFiles(context, platform), RESULT_MOVE_FAILED);
  platform.log.clear();
  RollbackFiles(context, platform);
  EXPECT_EQ(Narrow(platform.log), Narrow({L"post 3 1/2 正在回滚文件(n.dll)",
                                          L"move C:\\Zoria\\new\\n.dll -> C:\\Zoria\\new\\n.dll.tmp",
                                          L"delete C:\\Zoria\\new\\n.dll.tmp", L"sleep 10",
                                          L"post 3 2/2 正在回滚文件(x.dll)", L"sleep 10"}));
  EXPECT_EQ(platform.files.count(L"C:\\Zoria\\new\\n.dll"), 0u);
  EXPECT_EQ(platform.files.count(L"C:\\Zoria\\new\\n.dll.tmp"), 0u);
}

TEST(ReplaceFiles, PathsWithForwardSlashesOnly) {
  FaultyPlatform platform;
  platform.directories.insert(L"C:/Zoria");
  platform.files[L"C:/Zoria/a.dll"] = "old a";
  CUpdateContext context;
  Stage(platform, context, L"C:/Zoria/a.dll", L"a", "new a");
  Stage(platform, context, L"C:/Zoria/b.dll", L"b", "new b");
  platform.files.erase(kStaging + L"\\b.staged");

  EXPECT_EQ(ReplaceFiles(context, platform), RESULT_MOVE_FAILED);
  RollbackFiles(context, platform);
  const auto texts = platform.StatusTexts();
  ASSERT_EQ(texts.size(), 4u);
  EXPECT_EQ(WideToUtf8(texts[0]), "1/2 正在更新文件 a.dll");
  EXPECT_EQ(WideToUtf8(texts[2]), "1/2 正在回滚文件()");
  EXPECT_EQ(WideToUtf8(texts[3]), "2/2 正在回滚文件()");
  EXPECT_EQ(platform.files[L"C:/Zoria/a.dll"], "old a");
}

TEST(RollbackFiles, TheParkedFileReturnsWhenTheBackupCannotComeBack) {
  FaultyPlatform platform;
  platform.files[L"C:\\Zoria\\a.dll"] = "old a";
  CUpdateContext context;
  Stage(platform, context, L"C:\\Zoria\\a.dll", L"a", "new a");
  Stage(platform, context, L"C:\\Zoria\\b.dll", L"b", "new b");
  platform.files.erase(kStaging + L"\\b.staged");
  ASSERT_EQ(ReplaceFiles(context, platform), RESULT_MOVE_FAILED);

  platform.failOperation = platform.operations + 2;  // moving a.dll.bak back
  platform.log.clear();
  RollbackFiles(context, platform);
  EXPECT_EQ(Narrow(platform.log), Narrow({L"post 3 1/2 正在回滚文件(a.dll)",
                                          L"move C:\\Zoria\\a.dll -> C:\\Zoria\\a.dll.tmp",
                                          L"move failed C:\\Zoria\\a.dll.bak -> C:\\Zoria\\a.dll",
                                          L"move C:\\Zoria\\a.dll.tmp -> C:\\Zoria\\a.dll", L"sleep 10",
                                          L"post 3 2/2 正在回滚文件(b.dll)", L"sleep 10"}));
  EXPECT_EQ(platform.files[L"C:\\Zoria\\a.dll"], "new a");
  EXPECT_EQ(platform.files[L"C:\\Zoria\\a.dll.bak"], "old a");
  EXPECT_EQ(platform.files.count(L"C:\\Zoria\\a.dll.tmp"), 0u);
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
    FaultyPlatform platform;
    if (c.existed) platform.files[L"C:\\Zoria\\a.dll"] = "original";
    CUpdateContext context;
    Stage(platform, context, L"C:\\Zoria\\a.dll", L"first", "first");
    Stage(platform, context, L"C:\\Zoria\\a.dll", L"second", "second");
    if (c.secondMoveFails) platform.files.erase(kStaging + L"\\second.staged");

    const int32_t result = ReplaceFiles(context, platform);
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

TEST(ApplyUpdate, ClosesTheProductFirstAndTouchesNothingWhenThatFails) {
  FaultyPlatform platform;
  platform.files[L"C:\\Zoria\\a.dll"] = "old a";
  test::FakeProcess product;
  product.path = L"C:\\Zoria\\zrCastrix.exe";
  platform.processes[7] = product;
  platform.boxAnswers = {7};
  CUpdateContext context;
  Stage(platform, context, L"C:\\Zoria\\a.dll", L"a", "new a");
  const auto before = platform.files;

  EXPECT_EQ(ApplyUpdate(context, platform), RESULT_USER_CANCELLED);
  EXPECT_EQ(platform.files, before);
  EXPECT_EQ(platform.moveCount, 0);
  EXPECT_TRUE(context.backups.empty());

  platform.boxAnswers = {6};  // quits on request this time
  EXPECT_EQ(ApplyUpdate(context, platform), RESULT_OK);
  EXPECT_EQ(platform.files[L"C:\\Zoria\\a.dll"], "new a");
  EXPECT_EQ(platform.processes.count(7), 0u);
}

// ---- Fault sweeps ---------------------------------------------------------------------------

// One manifest entry of a sweep: which product file (by number) and whether it exists before.
struct SweepEntry {
  int file;
  bool existed;
};

std::wstring SweepPath(const SweepEntry& entry) {
  const std::wstring name = L"f" + std::to_wstring(entry.file) + L".dll";
  return entry.existed ? kProduct + L"\\" + name : kProduct + L"\\new " + std::to_wstring(entry.file) + L"\\子\\" + name;
}

struct SweepRun {
  FaultyPlatform platform;
  CUpdateContext context;
  std::map<std::wstring, std::string> originals;  // product files before the update
  std::map<std::wstring, std::string> finals;     // what each path holds after success
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

// Every manifest of 1 to 6 distinct files, each existing or new, and some that list a file twice.
std::vector<std::vector<SweepEntry>> SweepManifests() {
  std::vector<std::vector<SweepEntry>> manifests;
  for (int n = 1; n <= 6; ++n) {
    for (int mask = 0; mask < (1 << n); ++mask) {
      std::vector<SweepEntry> manifest;
      for (int i = 0; i < n; ++i) manifest.push_back({i, ((mask >> i) & 1) != 0});
      manifests.push_back(manifest);
    }
  }
  const SweepEntry e0{0, true}, e1{1, true}, n2{2, false}, n3{3, false};
  manifests.push_back({e0, e0});
  manifests.push_back({n2, n2});
  manifests.push_back({e0, n2, e0});
  manifests.push_back({e0, e1, e0, e1});
  manifests.push_back({n2, e0, n2, e1, e0, n3});
  manifests.push_back({e0, e0, e0});
  return manifests;
}

int CleanOperationCount(const std::vector<SweepEntry>& manifest) {
  SweepRun run;
  Prepare(run, manifest);
  EXPECT_EQ(ReplaceFiles(run.context, run.platform), RESULT_OK);
  return run.platform.operations;
}

TEST(FaultSweep, EveryFailedReplacementIsUndoneCompletely) {
  int cases = 0;
  for (const auto& manifest : SweepManifests()) {
    const int operations = CleanOperationCount(manifest);
    for (int fail = 1; fail <= operations; ++fail) {
      SCOPED_TRACE(testing::Message() << "manifest of " << manifest.size() << " entries, first "
                                      << manifest[0].file << (manifest[0].existed ? "E" : "N")
                                      << ", failing operation " << fail);
      SweepRun run;
      Prepare(run, manifest);
      run.platform.failOperation = fail;
      ++cases;
      const int32_t result = ReplaceFiles(run.context, run.platform);
      if (result == RESULT_OK) {
        // Only a backup's deletion failed: every file is new, at most that backup remains.
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
        ASSERT_EQ(run.platform.files.count(path + L".bak"), 0u) << WideToUtf8(path);
        ASSERT_EQ(run.platform.files.count(path + L".tmp"), 0u) << WideToUtf8(path);
      }
    }
  }
  std::cout << "[ sweep    ] " << cases << " replacing runs, each failing at another file operation\n";
  EXPECT_GT(cases, 1000);
}

TEST(FaultSweep, AFailingRollbackNeverLosesAnOriginal) {
  int cases = 0;
  for (const auto& manifest : SweepManifests()) {
    const int operations = CleanOperationCount(manifest);
    for (int fail = 1; fail <= operations; ++fail) {
      // How many operations the rollback after this failure makes when nothing else fails.
      int rollbackOperations = 0;
      {
        SweepRun run;
        Prepare(run, manifest);
        run.platform.failOperation = fail;
        if (ReplaceFiles(run.context, run.platform) == RESULT_OK) continue;
        const int before = run.platform.operations;
        RollbackFiles(run.context, run.platform);
        rollbackOperations = run.platform.operations - before;
      }
      for (int rollbackFail = 1; rollbackFail <= rollbackOperations; ++rollbackFail) {
        SCOPED_TRACE(testing::Message() << "manifest of " << manifest.size() << " entries, replacing fails at "
                                        << fail << ", rollback fails at " << rollbackFail);
        SweepRun run;
        Prepare(run, manifest);
        run.platform.failOperation = fail;
        ASSERT_EQ(ReplaceFiles(run.context, run.platform), RESULT_MOVE_FAILED);
        const auto beforeRollback = run.platform.files;
        run.platform.failOperation = run.platform.operations + rollbackFail;
        RollbackFiles(run.context, run.platform);
        ++cases;
        const auto& files = run.platform.files;
        for (const auto& [path, content] : run.originals) {
          const bool atPath = files.count(path) && files.at(path) == content;
          const bool atBackup = files.count(path + L".bak") && files.at(path + L".bak") == content;
          ASSERT_TRUE(atPath || atBackup) << WideToUtf8(path) << " lost its original";
          // A product file is never left missing by the rollback itself.
          if (beforeRollback.count(path)) {
            ASSERT_EQ(files.count(path), 1u) << WideToUtf8(path) << " left missing";
          }
        }
      }
    }
  }
  std::cout << "[ sweep    ] " << cases << " rollbacks, each failing at another file operation\n";
  EXPECT_GT(cases, 1000);
}

}  // namespace
}  // namespace zr
