// The Win32 side of closing the product, against the real stand-in product ("zrCastrix.exe"
// from tools/stand_in_product) running from copies in unique temp folders; and starting it for
// real: the stand-in product is launched from a folder with spaces in its name, found running,
// and ended again.

#include "update/product_process_win.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/fake_texts.h"
#include "support/files_win.h"
#include "support/process_win.h"
#include "update/update_events.h"

namespace zr {
namespace {

constexpr uint32_t kTerminatedExitCode = 0xFFFFFFFF;

// A folder below `parent` holding a copy of the stand-in; returns the copy's full path.
std::wstring PlaceStandIn(const std::wstring& parent, const std::wstring& folder) {
  return test::PlaceCopy(test::BuildPath(ZR_STAND_IN_PRODUCT), parent + L"\\" + folder);
}

std::wstring UpperAscii(std::wstring text) {
  for (auto& c : text) c = (c >= L'a' && c <= L'z') ? wchar_t(c - L'a' + L'A') : c;
  return text;
}

// Stand-ins with windows take turns with the other test programs of this build.
class ProductProcessTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(m_turn.held()); }

  test::ProductWindowTurn m_turn;
  test::TempDir m_temp;
};

// Found by any spelling of its file, never by a copy of it elsewhere.
TEST_F(ProductProcessTest, FindsTheProductOnlyByItsOwnFile) {
  const std::wstring running = PlaceStandIn(m_temp.path(), L"Zoria 投屏 é");
  const std::wstring idle = PlaceStandIn(m_temp.path(), L"other copy");
  const std::wstring otherDrive = test::ThroughAnotherDrive(running);
  ASSERT_FALSE(otherDrive.empty()) << "no second drive letter for the product";
  test::StandInProcess product(running, L"--quit-on-request");
  ASSERT_NE(product.id(), 0u);

  struct Case {
    const char* name;
    std::wstring query;
    bool found;
  } cases[] = {
      {"exact path", running, true},
      {"ASCII letters in another case", UpperAscii(running), true},
      {"non-ASCII letter in another case", m_temp.path() + L"\\Zoria 投屏 É\\zrCastrix.exe", true},
      {"dots and forward slashes", m_temp.path() + L"/./x/../Zoria 投屏 é/zrCastrix.exe", true},
      {"another drive letter", otherDrive, true},
      {"same name in another directory", idle, false},
      {"path with a trailing character", running + L"x", false},
      {"directory of the product", m_temp.path() + L"\\Zoria 投屏 é", false},
      {"empty path", L"", false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(FindProcessByPath(c.query), c.found ? product.id() : 0u) << c.name;
  }
}

// A product whose process grants others only the limited query right (0x1000) and waiting:
// its path can still be read, so it is found; reading its modules (0x410) is refused.
TEST_F(ProductProcessTest, FindsAProductThatGrantsOnlyTheLimitedQueryRight) {
  const std::wstring exe = PlaceStandIn(m_temp.path(), L"guarded 受限");
  test::StandInProcess product(exe, L"--no-window", L"D:(A;;0x101000;;;WD)");
  ASSERT_NE(product.id(), 0u);

  HANDLE modulesReader = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, product.id());
  EXPECT_EQ(modulesReader, nullptr) << "the process does not guard itself: this case proves nothing";
  if (modulesReader != nullptr) CloseHandle(modulesReader);

  EXPECT_EQ(FindProcessByPath(exe), product.id());
  EXPECT_EQ(FindProcessByPath(UpperAscii(exe)), product.id());
}

TEST_F(ProductProcessTest, ProductThatQuitsOnRequestEndsOnItsWindowsQuit) {
  test::StandInProcess product(PlaceStandIn(m_temp.path(), L"quits"), L"--quit-on-request");
  ASSERT_NE(product.id(), 0u);

  EXPECT_TRUE(PostQuitToProductWindow());
  DWORD exitCode = 1234;
  ASSERT_TRUE(product.WaitForExit(10000, &exitCode));
  EXPECT_EQ(exitCode, 0u);
  EXPECT_FALSE(PostQuitToProductWindow()) << "its window is gone with it";
}

TEST_F(ProductProcessTest, ProductThatIgnoresTheQuitIsTerminatedWithTheGivenCode) {
  const std::wstring exe = PlaceStandIn(m_temp.path(), L"stubborn");
  test::StandInProcess product(exe, L"--ignore-quit");
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
  const std::wstring exe = PlaceStandIn(m_temp.path(), L"windowless");
  test::StandInProcess product(exe, L"--no-window");
  ASSERT_NE(product.id(), 0u);

  EXPECT_FALSE(PostQuitToProductWindow());
  EXPECT_EQ(FindProcessByPath(exe), product.id());
  TerminateProcessById(product.id(), kTerminatedExitCode);
  EXPECT_TRUE(product.WaitForExit(10000));
}

// The 32-bit updater on 64-bit Windows beside a 64-bit product (in the 64-bit build, the plain
// case): the product's path is read across the bitness, its window gets the quit request, and
// it can be terminated.
TEST_F(ProductProcessTest, A64BitProductIsFoundAskedAndTerminated) {
  const std::wstring source = test::BuildPath(ZR_STAND_IN_PRODUCT_64);
  // Its PE header says x86-64 (machine 0x8664).
  const std::string bytes = test::ReadFileBytes(source);
  const std::size_t pe = bytes.size() < 0x40 ? 0
                         : static_cast<unsigned char>(bytes[0x3C]) |
                               static_cast<unsigned char>(bytes[0x3D]) << 8;
  ASSERT_TRUE(pe != 0 && pe + 6 <= bytes.size() &&
              bytes.compare(pe, 6, std::string("PE\0\0\x64\x86", 6)) == 0)
      << "no 64-bit stand-in product at " << ZR_STAND_IN_PRODUCT_64 << " (build the win64 preset)";
  const std::wstring exe = test::PlaceCopy(source, m_temp.path() + L"\\Program Files\\Zoria 64");

  test::StandInProcess quits(exe, L"--quit-on-request");
  ASSERT_NE(quits.id(), 0u);
  EXPECT_EQ(FindProcessByPath(exe), quits.id());
  EXPECT_TRUE(PostQuitToProductWindow());
  DWORD exitCode = 1234;
  ASSERT_TRUE(quits.WaitForExit(10000, &exitCode));
  EXPECT_EQ(exitCode, 0u);

  test::StandInProcess stubborn(exe, L"--ignore-quit");
  ASSERT_NE(stubborn.id(), 0u);
  EXPECT_EQ(FindProcessByPath(exe), stubborn.id());
  TerminateProcessById(stubborn.id(), kTerminatedExitCode);
  ASSERT_TRUE(stubborn.WaitForExit(10000, &exitCode));
  EXPECT_EQ(exitCode, kTerminatedExitCode);
  EXPECT_EQ(FindProcessByPath(exe), 0u);
}

// Records the status lines the launch reports.
class RecordingPoster : public IUpdateEvents {
 public:
  void Report(UpdateEvent event) override {
    if (event.kind == UpdateEvent::Kind::kStatusText) texts.push_back(event.text);
  }
  std::vector<std::wstring> texts;
};

uint32_t WaitForProcess(const std::wstring& exe) {
  for (int i = 0; i < 100; ++i) {
    if (uint32_t id = FindProcessByPath(exe)) return id;
    Sleep(100);
  }
  return 0;
}

void EndProcess(const std::wstring& exe) {
  if (const uint32_t id = FindProcessByPath(exe)) TerminateProcessById(id, 0);
  for (int i = 0; i < 50 && FindProcessByPath(exe) != 0; ++i) Sleep(100);
}

// Given a command line without quotes, CreateProcess tries the path up to each space in turn
// ("...\Zoria.exe", "...\Zoria 投屏.exe", ...): with a decoy at the first of them, an
// unquoted launch starts the decoy (which ends at once on arguments it does not know) and the
// product never runs.
TEST(LaunchProduct, StartsTheProductFromAPathWithSpaces) {
  test::ProductWindowTurn turn;
  ASSERT_TRUE(turn.held());
  test::TempDir temp;
  const std::wstring standIn = test::BuildPath(ZR_STAND_IN_PRODUCT);
  const std::wstring exe = test::PlaceCopy(standIn, temp / L"Zoria 投屏 App");
  const std::wstring decoy = test::PlaceCopy(standIn, temp.path(), L"Zoria.exe");

  RecordingPoster window;
  EXPECT_TRUE(LaunchProduct(exe, window, test::FakeTexts()));
  EXPECT_TRUE(window.texts.empty());
  EXPECT_NE(WaitForProcess(exe), 0u) << "the product is not running";
  EndProcess(exe);
  EndProcess(decoy);
}

TEST(LaunchProduct, AMissingProductPostsTheErrorCode) {
  test::TempDir temp;
  RecordingPoster window;
  EXPECT_FALSE(LaunchProduct(temp / L"zrCastrix.exe", window, test::FakeTexts()));
  ASSERT_EQ(window.texts.size(), 1u);
  EXPECT_EQ(window.texts[0], L"cmd_open_failed_d(2)");  // ERROR_FILE_NOT_FOUND
}

}  // namespace
}  // namespace zr
