// The Win32 side of closing the product, against the real stand-in product ("zrCastrix.exe"
// from tools/stand_in_product) running from copies in unique temp folders.

#include "update/product_process_win.h"

#include <windows.h>
#include <sddl.h>

#include <gtest/gtest.h>

#include <string>

namespace zr {
namespace {

constexpr uint32_t kTerminatedExitCode = 0xFFFFFFFF;

std::wstring Utf8Path(const char* text) {
  int length = MultiByteToWideChar(CP_UTF8, 0, text, -1, nullptr, 0);
  std::wstring wide(length > 0 ? length - 1 : 0, L'\0');
  if (length > 1) MultiByteToWideChar(CP_UTF8, 0, text, -1, &wide[0], length);
  return wide;
}

// The stand-in as built (a Linux path; Wine shows "/" as drive Z:).
std::wstring StandInSource() {
  std::wstring path = Utf8Path(ZR_STAND_IN_PRODUCT);
  if (!path.empty() && path[0] == L'/') {
    for (auto& c : path) c = c == L'/' ? L'\\' : c;
    path = L"Z:" + path;
  }
  return path;
}

void RemoveTree(const std::wstring& directory) {
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW((directory + L"\\*").c_str(), &found);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      const std::wstring name = found.cFileName;
      if (name == L"." || name == L"..") continue;
      const std::wstring child = directory + L"\\" + name;
      if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        RemoveTree(child);
      } else {
        SetFileAttributesW(child.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileW(child.c_str());
      }
    } while (FindNextFileW(search, &found));
    FindClose(search);
  }
  RemoveDirectoryW(directory.c_str());
}

// A fresh folder of its own under the temp directory, removed with its contents at the end.
class TempDir {
 public:
  TempDir() {
    static unsigned counter = 0;
    wchar_t base[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, base);
    for (;;) {
      path_ = std::wstring(base) + L"zr-product-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
              std::to_wstring(GetTickCount()) + L"-" + std::to_wstring(++counter);
      if (CreateDirectoryW(path_.c_str(), nullptr)) break;
    }
  }
  ~TempDir() { RemoveTree(path_); }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::wstring& path() const { return path_; }

 private:
  std::wstring path_;
};

// A folder below `parent` holding a copy of the stand-in; returns the copy's full path.
std::wstring PlaceStandIn(const std::wstring& parent, const std::wstring& folder) {
  const std::wstring directory = parent + L"\\" + folder;
  CreateDirectoryW(directory.c_str(), nullptr);
  const std::wstring exe = directory + L"\\zrCastrix.exe";
  EXPECT_TRUE(CopyFileW(StandInSource().c_str(), exe.c_str(), FALSE))
      << "stand-in not found at " << ZR_STAND_IN_PRODUCT;
  return exe;
}

// One running stand-in; terminated at the end of the test if it is still alive. A process
// security descriptor (SDDL) limits what others may open it for, as Windows does for another
// user's process or, towards a 32-bit caller, for a 64-bit one.
class StandInProcess {
 public:
  StandInProcess(const std::wstring& exe, const std::wstring& options,
                 const wchar_t* processSddl = nullptr) {
    const std::wstring ready = exe + L".ready";
    DeleteFileW(ready.c_str());
    std::wstring commandLine = L"\"" + exe + L"\" " + options + L" --lifetime 60000 --ready \"" + ready + L"\"";
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info = {};
    SECURITY_ATTRIBUTES security = {sizeof(security), nullptr, FALSE};
    if (processSddl != nullptr &&
        !ConvertStringSecurityDescriptorToSecurityDescriptorW(processSddl, SDDL_REVISION_1,
                                                              &security.lpSecurityDescriptor, nullptr)) {
      ADD_FAILURE() << "bad SDDL, error " << GetLastError();
      return;
    }
    const BOOL started = CreateProcessW(exe.c_str(), &commandLine[0],
                                        processSddl != nullptr ? &security : nullptr, nullptr, FALSE,
                                        0, nullptr, nullptr, &startup, &info);
    LocalFree(security.lpSecurityDescriptor);
    if (!started) {
      ADD_FAILURE() << "cannot start the stand-in, error " << GetLastError();
      return;
    }
    CloseHandle(info.hThread);
    process_ = info.hProcess;
    id_ = info.dwProcessId;
    for (int waited = 0; waited < 20000; waited += 50) {
      if (GetFileAttributesW(ready.c_str()) != INVALID_FILE_ATTRIBUTES) return;
      if (WaitForSingleObject(process_, 50) == WAIT_OBJECT_0) break;
    }
    ADD_FAILURE() << "the stand-in did not become ready";
  }
  ~StandInProcess() {
    if (process_ == nullptr) return;
    if (WaitForSingleObject(process_, 0) == WAIT_TIMEOUT) {
      TerminateProcess(process_, 1);
      WaitForSingleObject(process_, 5000);
    }
    CloseHandle(process_);
  }
  StandInProcess(const StandInProcess&) = delete;
  StandInProcess& operator=(const StandInProcess&) = delete;

  uint32_t id() const { return id_; }
  // True when the process ended within the time; its exit code goes to *exitCode.
  bool WaitForExit(DWORD milliseconds, DWORD* exitCode = nullptr) const {
    if (process_ == nullptr || WaitForSingleObject(process_, milliseconds) != WAIT_OBJECT_0) return false;
    if (exitCode != nullptr) GetExitCodeProcess(process_, exitCode);
    return true;
  }

 private:
  HANDLE process_ = nullptr;
  uint32_t id_ = 0;
};

std::wstring UpperAscii(std::wstring text) {
  for (auto& c : text) c = (c >= L'a' && c <= L'z') ? wchar_t(c - L'a' + L'A') : c;
  return text;
}

// The product window is found by class and title across the whole desktop, so two test
// programs of this build must not run stand-ins at the same time: a named mutex serialises
// them (it is abandoned, and so released, if a test program dies).
class ProductProcessTest : public ::testing::Test {
 protected:
  void SetUp() override {
    mutex_ = CreateMutexW(nullptr, FALSE, L"Local\\zrUpdater-tests-product-window");
    ASSERT_NE(mutex_, nullptr);
    DWORD waited = WaitForSingleObject(mutex_, 300000);
    ASSERT_TRUE(waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED);
  }
  void TearDown() override {
    if (mutex_ != nullptr) {
      ReleaseMutex(mutex_);
      CloseHandle(mutex_);
    }
  }

  TempDir temp_;

 private:
  HANDLE mutex_ = nullptr;
};

TEST_F(ProductProcessTest, FindsTheProductOnlyByItsOwnPath) {
  const std::wstring running = PlaceStandIn(temp_.path(), L"Zoria 投屏 é");
  const std::wstring idle = PlaceStandIn(temp_.path(), L"other copy");
  StandInProcess product(running, L"--quit-on-request");
  ASSERT_NE(product.id(), 0u);

  struct Case {
    const char* name;
    std::wstring query;
    bool found;
  } cases[] = {
      {"exact path", running, true},
      {"ASCII letters in another case", UpperAscii(running), true},
      {"non-ASCII letter in another case", temp_.path() + L"\\Zoria 投屏 É\\zrCastrix.exe", false},
      {"same name in another directory", idle, false},
      {"path with a trailing character", running + L"x", false},
      {"directory of the product", temp_.path() + L"\\Zoria 投屏 é", false},
      {"empty path", L"", false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(FindProcessByPath(c.query), c.found ? product.id() : 0u) << c.name;
  }
}

// A product whose process grants others only the limited query right (0x1000) and waiting:
// its path can still be read, so it is found; reading its modules (0x410) is refused.
TEST_F(ProductProcessTest, FindsAProductThatGrantsOnlyTheLimitedQueryRight) {
  const std::wstring exe = PlaceStandIn(temp_.path(), L"guarded 受限");
  StandInProcess product(exe, L"--no-window", L"D:(A;;0x101000;;;WD)");
  ASSERT_NE(product.id(), 0u);

  HANDLE modulesReader = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, product.id());
  EXPECT_EQ(modulesReader, nullptr) << "the process does not guard itself: this case proves nothing";
  if (modulesReader != nullptr) CloseHandle(modulesReader);

  EXPECT_EQ(FindProcessByPath(exe), product.id());
  EXPECT_EQ(FindProcessByPath(UpperAscii(exe)), product.id());
}

TEST_F(ProductProcessTest, ProductThatQuitsOnRequestEndsOnItsWindowsQuit) {
  StandInProcess product(PlaceStandIn(temp_.path(), L"quits"), L"--quit-on-request");
  ASSERT_NE(product.id(), 0u);

  EXPECT_TRUE(PostQuitToProductWindow());
  DWORD exitCode = 1234;
  ASSERT_TRUE(product.WaitForExit(10000, &exitCode));
  EXPECT_EQ(exitCode, 0u);
  EXPECT_FALSE(PostQuitToProductWindow()) << "its window is gone with it";
}

TEST_F(ProductProcessTest, ProductThatIgnoresTheQuitIsTerminatedWithTheGivenCode) {
  const std::wstring exe = PlaceStandIn(temp_.path(), L"stubborn");
  StandInProcess product(exe, L"--ignore-quit");
  ASSERT_NE(product.id(), 0u);

  EXPECT_TRUE(PostQuitToProductWindow());
  EXPECT_FALSE(product.WaitForExit(1500));
  EXPECT_EQ(FindProcessByPath(exe), product.id());

  TerminateProcessById(product.id(), kTerminatedExitCode);
  DWORD exitCode = 0;
  ASSERT_TRUE(product.WaitForExit(10000, &exitCode));
  EXPECT_EQ(exitCode, kTerminatedExitCode);
  EXPECT_EQ(FindProcessByPath(exe), 0u);
}

TEST_F(ProductProcessTest, ProductWithoutWindowIsFoundButCannotBeAskedToQuit) {
  const std::wstring exe = PlaceStandIn(temp_.path(), L"windowless");
  StandInProcess product(exe, L"--no-window");
  ASSERT_NE(product.id(), 0u);

  EXPECT_FALSE(PostQuitToProductWindow());
  EXPECT_EQ(FindProcessByPath(exe), product.id());
  TerminateProcessById(product.id(), kTerminatedExitCode);
  EXPECT_TRUE(product.WaitForExit(10000));
}

}  // namespace
}  // namespace zr
