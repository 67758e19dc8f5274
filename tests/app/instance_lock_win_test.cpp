// The per-installation lock under Wine: named as Windows tells directories apart, and held
// by one thread of one process at a time.
#include "app/instance_lock_win.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <thread>

#include "support/files_win.h"

namespace zr {
namespace {

TEST(InstallationLock, EverySpellingOfTheDirectoryNamesOneLock) {
  test::TempDir temp;
  test::MakeDirectories(temp / L"Zoria 投屏");
  const std::wstring name = CInstallationLock::NameFor(temp / L"Zoria 投屏");
  EXPECT_EQ(name.rfind(L"Global\\zrUpdater-", 0), 0u);
  for (const std::wstring& spelling : {temp / L"ZORIA 投屏\\", temp.path() + L"/zoria 投屏", temp / L".\\x\\..\\Zoria 投屏"}) {
    EXPECT_EQ(CInstallationLock::NameFor(spelling), name);
  }
  EXPECT_NE(CInstallationLock::NameFor(temp / L"other"), name);
}

TEST(InstallationLock, OneHolderAtATimeAndAKilledHolderGivesItUp) {
  test::TempDir temp;
  CInstallationLock mine(temp.path());
  HANDLE held = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  HANDLE release = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  // Another holder: a thread that takes the lock and ends without giving it back.
  std::thread other([&] {
    CInstallationLock theirs(temp / L".");
    EXPECT_TRUE(theirs.Acquire(0));
    SetEvent(held);
    WaitForSingleObject(release, INFINITE);
  });
  WaitForSingleObject(held, INFINITE);
  EXPECT_FALSE(mine.Acquire(50)) << "held elsewhere";
  SetEvent(release);
  other.join();
  EXPECT_TRUE(mine.Acquire(5000)) << "abandoned by its holder's end";
  CloseHandle(held);
  CloseHandle(release);
}

}  // namespace
}  // namespace zr
