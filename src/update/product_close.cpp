#include "update/product_close.h"

#include "ui/string_table.h"
#include "update/outcome.h"
#include "update/platform.h"
#include "update/progress.h"
#include "util/paths.h"

namespace zr {
namespace {

constexpr int kInitialPolls = 5;             // the product gets five seconds to exit on its own
constexpr uint32_t kPollSleepMs = 1000;
constexpr int kLastAttempt = 5;              // attempts 0 to 5
constexpr uint32_t kQuitRequestSleepMs = 1000;
constexpr uint32_t kTerminateSleepMs = 2000;
constexpr uint32_t kTerminatedExitCode = 0xFFFFFFFF;

}  // namespace

int32_t CloseRunningProduct(IUpdatePlatform& platform) {
  const std::wstring productPath = MakeProductPath(platform.Files().ModuleDirectory().c_str());

  for (int poll = 0; poll < kInitialPolls; ++poll) {
    if (platform.FindProcessByPath(productPath) == 0) break;
    platform.Sleep(kPollSleepMs);
  }

  for (int attempt = 0;; ++attempt) {
    if (platform.FindProcessByPath(productPath) == 0) return RESULT_OK;

    if (attempt == 0) {
      // The one question of the run; only the cancel button keeps the product running.
      const BoxAnswer answer = platform.ShowQuestionBox(StringTable::Get(L"update"),
                                                  StringTable::Get(L"box_close_tool"),
                                                  StringTable::Get(L"update"),
                                                  StringTable::Get(L"cancel"));
      if (answer == BoxAnswer::kSecond) {
        platform.Report({UpdateEvent::Kind::kQuit});
        return RESULT_USER_CANCELLED;
      }
      if (platform.PostQuitToProductWindow()) platform.Sleep(kQuitRequestSleepMs);
    } else if (attempt < kLastAttempt) {
      const uint32_t processId = platform.FindProcessByPath(productPath);
      if (processId != 0) platform.TerminateProcessById(processId, kTerminatedExitCode);
      platform.Sleep(kTerminateSleepMs);
    } else {
      PostFatalText(platform, StringTable::Get(L"box_exit_reboot").c_str());
      return RESULT_CLOSE_FAILED;
    }
  }
}

}  // namespace zr
