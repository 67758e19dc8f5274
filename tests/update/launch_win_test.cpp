// Starting the product for real under Wine: the stand-in product is launched from a folder
// with spaces in its name, found running, and ended again.
#include "update/launch.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/fake_texts.h"
#include "support/files_win.h"
#include "support/process_win.h"
#include "update/product_process_win.h"
#include "update/update_events.h"

namespace zr {
namespace {

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
