// The per-installation lock under Wine: one file in the updater's directory, whichever spelling
// leads there, held by one holder at a time and waited for while someone else has it. (The
// lock across processes, a killed holder and a directory without write rights are shown by
// the end-to-end tests with the real exe.)
#include "app/instance_lock_win.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <memory>
#include <thread>

#include "support/files_win.h"
#include "update/file_set.h"
#include "util/text.h"

namespace zr {
namespace {

TEST(InstallationLock, EverySpellingOfTheDirectoryReachesOneLock) {
  test::TempDir temp;
  const std::wstring directory = temp / L"Zoria 投屏 é";
  test::MakeDirectories(directory);
  const std::wstring otherDrive = test::ThroughAnotherDrive(directory);
  ASSERT_FALSE(otherDrive.empty()) << "no second drive letter for " << WideToUtf8(directory);

  auto mine = std::make_unique<CInstallationLock>(directory);
  ASSERT_TRUE(mine->Acquire(0));
  ASSERT_TRUE(mine->Held());
  EXPECT_TRUE(test::FileExists(directory + L"\\" + kLockFileName));
  for (const std::wstring& spelling : {temp / L"ZORIA 投屏 É\\", temp.path() + L"/zoria 投屏 é",
                                       temp / L".\\x\\..\\Zoria 投屏 é", L"\\\\?\\" + directory, otherDrive}) {
    EXPECT_FALSE(CInstallationLock(spelling).Acquire(0)) << WideToUtf8(spelling);
  }
  test::MakeDirectories(temp / L"Zoria 投屏");
  EXPECT_TRUE(CInstallationLock(temp / L"Zoria 投屏").Acquire(0)) << "another installation";
  mine.reset();
  CInstallationLock next(otherDrive);
  EXPECT_TRUE(next.Acquire(0)) << "given up by its holder";
  EXPECT_TRUE(next.Held());
}

// Another program holds the file open (even sharing reading and writing with others): the lock
// is not had while it does, and is taken as soon as it lets go during the wait.
TEST(InstallationLock, WaitsWhileAnotherProgramHoldsTheFile) {
  test::TempDir temp;
  const std::wstring file = temp / kLockFileName;
  HANDLE held = CreateFileW(file.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, CREATE_NEW,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  CInstallationLock lock(temp.path());
  EXPECT_FALSE(lock.Acquire(3 * CInstallationLock::kRetryMs)) << "held past the wait";
  EXPECT_FALSE(lock.Held());

  std::thread release([held] {
    Sleep(5 * CInstallationLock::kRetryMs);
    CloseHandle(held);
  });
  EXPECT_TRUE(lock.Acquire(30000));
  release.join();
  EXPECT_TRUE(lock.Held());
}

}  // namespace
}  // namespace zr
