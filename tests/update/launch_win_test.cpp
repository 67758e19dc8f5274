// Starting the product for real under Wine: the stand-in product is launched from a folder
// with spaces in its name, found running, and ended again.
#include "update/launch.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "support/temp_dir_win.h"
#include "update/platform.h"
#include "update/product_process_win.h"
#include "update/progress.h"

namespace zr {
namespace {

// Records what the launch posts to the window.
class RecordingPoster : public IMessagePoster {
 public:
  bool PostToMainWindow(uint32_t message, intptr_t lParam) override {
    if (message == WM_UPDATE_STATUS_TEXT && lParam != 0) {
      std::unique_ptr<std::wstring> text(reinterpret_cast<std::wstring*>(lParam));
      texts.push_back(*text);
    }
    return true;
  }
  std::vector<std::wstring> texts;
};

std::wstring StandInBuilt() {
  std::string built = ZR_STAND_IN_PRODUCT;
  std::wstring path(built.begin(), built.end());
  for (auto& c : path) c = c == L'/' ? L'\\' : c;
  return path[0] == L'\\' ? L"Z:" + path : path;
}

uint32_t WaitForProcess(const std::wstring& exe) {
  for (int i = 0; i < 100; ++i) {
    if (uint32_t id = FindProcessByPath(exe)) return id;
    Sleep(100);
  }
  return 0;
}

TEST(LaunchProduct, StartsTheProductFromAPathWithSpaces) {
  test::TempDir temp;
  const std::wstring directory = temp / L"Zoria 投屏 App";
  CreateDirectoryW(directory.c_str(), nullptr);
  const std::wstring exe = directory + L"\\zrCastrix.exe";
  ASSERT_TRUE(CopyFileW(StandInBuilt().c_str(), exe.c_str(), FALSE));

  RecordingPoster window;
  EXPECT_TRUE(LaunchProduct(exe, window));
  EXPECT_TRUE(window.texts.empty());
  const uint32_t id = WaitForProcess(exe);
  ASSERT_NE(id, 0u) << "the product is not running";
  TerminateProcessById(id, 0);
  for (int i = 0; i < 50 && FindProcessByPath(exe) != 0; ++i) Sleep(100);
}

TEST(LaunchProduct, AMissingProductPostsTheErrorCode) {
  test::TempDir temp;
  RecordingPoster window;
  EXPECT_FALSE(LaunchProduct(temp / L"zrCastrix.exe", window));
  ASSERT_EQ(window.texts.size(), 1u);
  EXPECT_EQ(window.texts[0], L"启动程序失败,错误码:(2)");  // ERROR_FILE_NOT_FOUND
}

}  // namespace
}  // namespace zr
