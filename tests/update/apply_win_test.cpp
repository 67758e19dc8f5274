// Replacing and rollback on real files under Wine: MoveFileExW's sharing violations, long and
// Chinese names, and the rollback's parked file when a backup cannot come back.

#include "update/apply.h"

#include <windows.h>
#include <shlwapi.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "update/outcome.h"
#include "update/platform.h"
#include "update/progress.h"
#include "update/update_context.h"
#include "util/files.h"

namespace zr {
namespace {

// The file half of the platform, done with the same calls as the updater; the window half
// only frees what is posted to it.
class DiskPlatform : public IUpdatePlatform {
 public:
  bool PathExists(const std::wstring& path) override { return PathFileExistsW(path.c_str()) != FALSE; }
  bool MoveReplace(const std::wstring& from, const std::wstring& to) override {
    const bool moved = MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED |
                                                                 MOVEFILE_WRITE_THROUGH) != FALSE;
    if (!moved) failedMoves.push_back(GetLastError());
    return moved;
  }
  void RemoveFile(const std::wstring& path) override { DeleteFileW(path.c_str()); }
  bool CreateDirectoryChain(const std::wstring& path) override { return zr::CreateDirectoryChain(path.c_str()); }
  std::string ReadWholeFile(const std::wstring& path) override { return zr::ReadWholeFile(path.c_str()); }
  bool DeleteDirectoryTree(const std::wstring& directory) override { return zr::DeleteDirectoryTree(directory); }
  std::wstring ModuleDirectory() override { return GetModuleDirectory(); }
  uint32_t FindProcessByPath(const std::wstring&) override { return 0; }
  void TerminateProcessById(uint32_t, uint32_t) override {}
  bool PostQuitToProductWindow() override { return false; }
  bool PostToMainWindow(uint32_t message, intptr_t lParam) override {
    if ((message == WM_UPDATE_STATUS_TEXT || message == WM_UPDATE_FATAL_TEXT) && lParam != 0) {
      delete reinterpret_cast<std::wstring*>(lParam);  // as the window does after showing it
    }
    return true;
  }
  int ShowLinkBox(const std::wstring&, const std::wstring&, const std::wstring&, const std::wstring&,
                  const std::wstring*) override {
    return 6;
  }
  int ShowQuestionBox(const std::wstring&, const std::wstring&, const std::wstring&, const std::wstring&) override {
    return 6;
  }
  void Sleep(uint32_t milliseconds) override { ::Sleep(milliseconds); }
  bool EnterFileStage() override { return true; }
  void LeaveFileStage() override {}
  void SendUsageReport(const CUpdateContext&, int32_t) override {}

  std::vector<DWORD> failedMoves;  // GetLastError of every failed move
};

// A fresh folder of its own under the temp directory, removed at the end.
class TempDir {
 public:
  TempDir() {
    static unsigned counter = 0;
    wchar_t base[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, base);
    do {
      path_ = std::wstring(base) + L"zr-apply " + std::to_wstring(GetCurrentProcessId()) + L"-" +
              std::to_wstring(GetTickCount()) + L"-" + std::to_wstring(++counter) + L" 更新";
    } while (!CreateDirectoryW(path_.c_str(), nullptr));
  }
  ~TempDir() { DeleteDirectoryTree(path_); }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::wstring& path() const { return path_; }

 private:
  std::wstring path_;
};

struct HandleCloser {
  void operator()(HANDLE handle) const { CloseHandle(handle); }
};
using HeldFile = std::unique_ptr<void, HandleCloser>;

// Opens a file the way a virus scanner or a running program does: without delete sharing, so
// that it cannot be moved or deleted while held.
HeldFile Hold(const std::wstring& path) {
  HANDLE handle = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  EXPECT_NE(handle, INVALID_HANDLE_VALUE) << "cannot hold the file";
  return HeldFile(handle == INVALID_HANDLE_VALUE ? nullptr : handle);
}

void Write(const std::wstring& path, const std::string& content) {
  CreateDirectoryChain(path.c_str());
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  DWORD written = 0;
  WriteFile(file, content.data(), static_cast<DWORD>(content.size()), &written, nullptr);
  CloseHandle(file);
}

std::string Read(const std::wstring& path) { return ReadWholeFile(path.c_str()); }
bool Exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// An installation with `count` product files (the second one new) and their staged contents.
struct Installation {
  explicit Installation(const TempDir& temp, int count) {
    for (int i = 0; i < count; ++i) {
      const std::wstring name = L"file " + std::to_wstring(i) + L" 文件.dll";
      const std::wstring path = i == 1 ? temp.path() + L"\\新 目录\\子\\" + name : temp.path() + L"\\" + name;
      const std::wstring staged = temp.path() + L"\\cache\\update\\" + std::to_wstring(i) + L".new";
      originals.push_back(i == 1 ? std::string() : "original " + std::to_string(i));
      if (i != 1) Write(path, originals.back());
      Write(staged, "new " + std::to_string(i));
      context.files.push_back({"", "", staged, path, 0});
    }
  }
  // Every product file as before the update, no new file, no backup or parked file.
  void ExpectRestored() const {
    for (size_t i = 0; i < context.files.size(); ++i) {
      const std::wstring& path = context.files[i].path;
      if (i == 1) {
        EXPECT_FALSE(Exists(path)) << "the created file is gone";
      } else {
        EXPECT_EQ(Read(path), originals[i]) << "entry " << i;
      }
      EXPECT_FALSE(Exists(path + L".bak")) << "entry " << i;
      EXPECT_FALSE(Exists(path + L".tmp")) << "entry " << i;
    }
  }
  CUpdateContext context;
  std::vector<std::string> originals;
};

TEST(ApplyOnDisk, ReplacesEveryFileAndLeavesNoBackup) {
  TempDir temp;
  Installation install(temp, 4);
  Write(install.context.files[0].path + L".bak", "stale backup of an earlier run");
  DiskPlatform platform;

  ASSERT_EQ(ReplaceFiles(install.context, platform), RESULT_OK);
  for (size_t i = 0; i < 4; ++i) {
    EXPECT_EQ(Read(install.context.files[i].path), "new " + std::to_string(i));
    EXPECT_FALSE(Exists(install.context.files[i].tmp)) << "moved, not copied";
    EXPECT_FALSE(Exists(install.context.files[i].path + L".bak"));
  }
}

TEST(ApplyOnDisk, AHeldProductFileFailsTheMoveAndRollbackRestoresTheOthers) {
  TempDir temp;
  Installation install(temp, 5);
  DiskPlatform platform;
  {
    HeldFile held = Hold(install.context.files[2].path);
    EXPECT_EQ(ReplaceFiles(install.context, platform), RESULT_MOVE_FAILED);
    ASSERT_EQ(platform.failedMoves.size(), 1u);
    EXPECT_EQ(platform.failedMoves[0], static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    EXPECT_EQ(install.context.backups.size(), 2u) << "nothing recorded for the held file";
  }
  RollbackFiles(install.context, platform);
  install.ExpectRestored();
  EXPECT_TRUE(Exists(install.context.files[3].tmp)) << "later staged files stay";
}

TEST(ApplyOnDisk, AHeldStagedFileFailsAfterTheBackupAndRollbackBringsItBack) {
  TempDir temp;
  Installation install(temp, 3);
  DiskPlatform platform;
  {
    HeldFile held = Hold(install.context.files[2].tmp);
    EXPECT_EQ(ReplaceFiles(install.context, platform), RESULT_MOVE_FAILED);
  }
  ASSERT_EQ(install.context.backups.size(), 3u);
  EXPECT_FALSE(Exists(install.context.files[2].path)) << "moved aside before the failure";
  RollbackFiles(install.context, platform);
  install.ExpectRestored();
}

TEST(ApplyOnDisk, ABackupThatCannotComeBackLeavesTheTargetFilled) {
  TempDir temp;
  Installation install(temp, 3);
  DiskPlatform platform;
  {
    HeldFile held = Hold(install.context.files[2].tmp);
    ASSERT_EQ(ReplaceFiles(install.context, platform), RESULT_MOVE_FAILED);
  }
  const std::wstring& first = install.context.files[0].path;
  {
    HeldFile held = Hold(first + L".bak");  // the original cannot move back while held
    RollbackFiles(install.context, platform);
    EXPECT_EQ(Read(first), "new 0") << "the parked file went back to the target";
    EXPECT_EQ(Read(first + L".bak"), "original 0") << "the original is kept at its backup";
    EXPECT_FALSE(Exists(first + L".tmp"));
  }
  // Everything else was restored regardless.
  EXPECT_EQ(Read(install.context.files[2].path), "original 2");
  EXPECT_FALSE(Exists(install.context.files[1].path));
}

TEST(ApplyOnDisk, PathsLongerThan200Characters) {
  TempDir temp;
  const std::wstring deep = temp.path() + L"\\" + std::wstring(60, L'深') + L"\\" + std::wstring(60, L'd') + L"\\" +
                            std::wstring(40, L'文');
  const std::wstring path = deep + L"\\长 name.dll";
  ASSERT_GT(path.size(), 200u);
  ASSERT_LT(path.size() + 4, static_cast<size_t>(MAX_PATH));
  Write(path, "old");
  Write(temp.path() + L"\\staged.new", "new");
  CUpdateContext context;
  context.files.push_back({"", "", temp.path() + L"\\staged.new", path, 0});
  context.files.push_back({"", "", temp.path() + L"\\missing.new", deep + L"\\新\\second.dll", 0});
  DiskPlatform platform;

  ASSERT_EQ(ReplaceFiles(context, platform), RESULT_MOVE_FAILED);  // the second is not staged
  EXPECT_EQ(Read(path), "new");
  RollbackFiles(context, platform);
  EXPECT_EQ(Read(path), "old");
  EXPECT_FALSE(Exists(path + L".bak"));
}

TEST(ApplyOnDisk, AFileListedTwiceInAnotherSpellingKeepsItsOriginal) {
  TempDir temp;
  const std::wstring path = temp.path() + L"\\Bin\\Core.dll";
  Write(path, "original");
  Write(temp.path() + L"\\first.new", "first");
  CUpdateContext context;
  context.files.push_back({"", "", temp.path() + L"\\first.new", path, 0});
  // The same file once more, as Windows sees it; its staged file is missing, so this fails.
  context.files.push_back({"", "", temp.path() + L"\\second.new", temp.path() + L"/bin/CORE.DLL", 0});
  DiskPlatform platform;

  ASSERT_EQ(ReplaceFiles(context, platform), RESULT_MOVE_FAILED);
  EXPECT_EQ(Read(path + L".bak"), "original") << "the backup of the original is not overwritten";
  RollbackFiles(context, platform);
  EXPECT_EQ(Read(path), "original");
  EXPECT_FALSE(Exists(path + L".bak"));
}

}  // namespace
}  // namespace zr
