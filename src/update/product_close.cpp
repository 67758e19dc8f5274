// Closing the running product before its files are replaced (CloseRunningProduct, apply.h).
#include "update/apply.h"

#include "update/progress.h"
#include "util/paths.h"

namespace zr {
namespace {

constexpr int kInitialPolls = 5;  // the product gets five seconds to exit on its own
constexpr uint32_t kPollSleepMs = 1000;
constexpr int kLastAttempt = 5;  // attempts 0 to 5
constexpr uint32_t kQuitRequestSleepMs = 1000;
constexpr uint32_t kTerminateSleepMs = 2000;
constexpr uint32_t kTerminatedExitCode = 0xFFFFFFFF;

// The question's answer, as the record says it.
const char* AnswerText(BoxAnswer answer) {
  switch (answer) {
    case BoxAnswer::kFirst: return "update";
    case BoxAnswer::kSecond: return "cancel";
    case BoxAnswer::kClosed: return "the box was closed";
  }
  return "no answer (the box failed)";
}

// The updater is ending while the product still runs: it is left running.
UpdateOutcome Ending(IUpdatePlatform& platform) {
  platform.Record("not asked to close it: the updater is ending");
  return UpdateOutcome::kProcessEnding;
}

}  // namespace

UpdateOutcome CloseRunningProduct(IUpdatePlatform& platform) {
  const std::wstring productPath = MakeProductPath(platform.Files().ModuleDirectory().c_str());

  bool seen = false;  // running when first looked for
  for (int poll = 0; poll < kInitialPolls; ++poll) {
    const uint32_t processId = platform.FindProcessByPath(productPath);
    if (poll == 0) {
      seen = processId != 0;
      platform.Record(seen ? "the product is running (process " + std::to_string(processId) + "): it gets 5 s to exit"
                           : std::string("the product is not running"));
    }
    if (processId == 0) break;
    if (platform.ProcessEnding()) return Ending(platform);
    platform.Sleep(kPollSleepMs);
  }

  for (int attempt = 0;; ++attempt) {
    if (platform.FindProcessByPath(productPath) == 0) {
      if (seen) platform.Record("the product has ended");
      return UpdateOutcome::kOk;
    }
    seen = true;
    // An updater that is ending leaves the product as it is: it was not asked, or is gone.
    if (platform.ProcessEnding()) return Ending(platform);

    if (attempt == 0) {
      // The one question of the run; only the cancel button keeps the product running.
      const ITexts& texts = platform.Texts();
      const BoxAnswer answer = platform.ShowQuestionBox(texts.Get(L"update"), texts.Get(L"box_close_tool"),
                                                        texts.Get(L"update"), texts.Get(L"cancel"));
      if (platform.ProcessEnding()) return Ending(platform);
      platform.Record(std::string("asked the user to close it: ") + AnswerText(answer));
      if (answer == BoxAnswer::kSecond) {
        platform.Record("the user keeps the product running");
        platform.Report({UpdateEvent::Kind::kQuit});
        return UpdateOutcome::kUserCancelled;
      }
      const bool posted = platform.PostQuitToProductWindow();
      platform.Record(posted ? "quit request posted to the product's window" : "no product window to ask to quit");
      if (posted) platform.Sleep(kQuitRequestSleepMs);
    } else if (attempt < kLastAttempt) {
      const uint32_t processId = platform.FindProcessByPath(productPath);
      if (processId != 0) {
        platform.Record("terminating the product (process " + std::to_string(processId) + "), attempt " +
                        std::to_string(attempt) + " of " + std::to_string(kLastAttempt - 1));
        platform.TerminateProcessById(processId, kTerminatedExitCode);
      }
      platform.Sleep(kTerminateSleepMs);
    } else {
      platform.Record("the product would not end");
      PostFatal(platform, platform.Texts(), kExitRebootText);
      return UpdateOutcome::kCloseFailed;
    }
  }
}

}  // namespace zr
