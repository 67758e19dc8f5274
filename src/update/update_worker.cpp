#include "update/update_worker.h"

#include <exception>

#include "ui/string_table.h"
#include "update/apply.h"
#include "update/manifest.h"
#include "update/outcome.h"
#include "update/platform.h"
#include "update/progress.h"
#include "update/recovery.h"
#include "update/update_context.h"

namespace zr {
namespace {

// The failure box: title "update", the official-site message and link, and the buttons given.
BoxAnswer ShowFailureBox(IUpdatePlatform& platform, const wchar_t* firstButton, const wchar_t* secondButton) {
  const std::wstring second = secondButton ? StringTable::Get(secondButton) : std::wstring();
  return platform.ShowLinkBox(StringTable::Get(L"update"), StringTable::Get(L"goto_offical_site"),
                              StringTable::Get(L"box_update_failed_goto_offical_site"),
                              StringTable::Get(firstButton), secondButton ? &second : nullptr);
}

// Runs a step of the run; an exception from it (memory exhausted, say) counts as `onThrow`.
template <typename Step>
int32_t Guarded(Step step, int32_t onThrow) {
  try {
    return step();
  } catch (const std::exception&) {
    return onThrow;
  }
}

// Runs a step whose failure changes nothing that follows (a box, the report, the cache).
template <typename Step>
void Attempt(Step step) {
  try {
    step();
  } catch (const std::exception&) {
  }
}

// The end of every run but a successful one: the report, when there is one to send, and the
// window told to close.
int32_t Finish(CUpdateContext& context, IUpdatePlatform& platform, int32_t outcome, bool report) {
  if (report) Attempt([&] { platform.SendUsageReport(context, outcome); });
  Attempt([&] { platform.Report({UpdateEvent::Kind::kFinished}); });
  return outcome;
}

}  // namespace

int32_t LoadUpdateConfig(CUpdateContext& context, IUpdatePlatform& platform,
                         const std::wstring& configPath) {
  return ParseUpdateManifest(context, platform.Files().ReadWholeFile(configPath));
}

void ClearUpdateCache(IUpdatePlatform& platform) {
  IFileSystem& files = platform.Files();
  const std::wstring cache = files.ModuleDirectory() + L"\\cache";
  // A cache folder that is a link leads to someone else's folder: it is never emptied.
  if (files.Inspect(cache) == PathKind::kDirectoryLink) return;
  files.DeleteDirectoryTree(cache + L"\\update\\");
}

int32_t RunUpdate(CUpdateContext& context, IUpdatePlatform& platform, const std::wstring& configPath) {
  // Whatever a step throws ends the run as its failure would: a failed recovery keeps its
  // journal, a manifest counts as unusable, a replacement is rolled back (unless its commit is
  // on disk: then the files are all new and only cleaning up is left to the next start).
  int32_t recovered = RESULT_OK;
  {
    // A run that was cut short is finished before anything else; while that cannot be done,
    // nothing else touches the installation.
    CFileStage stage(platform);
    recovered = Guarded([&] { return RecoverInterruptedRun(context, platform, stage); }, RESULT_MOVE_FAILED);
    if (recovered != RESULT_OK) Attempt([&] { ShowFailureBox(platform, L"ok", nullptr); });
  }
  if (recovered != RESULT_OK) return Finish(context, platform, recovered, true);

  for (;;) {
    const int32_t loaded = Guarded(
        [&] {
          context.files.clear();
          PostStatusText(platform, StringTable::Get(L"pro_parsing_config").c_str());
          ReportProgress(platform, 0);
          ReportSpeed(platform, -1);
          return LoadUpdateConfig(context, platform, configPath);
        },
        RESULT_MANIFEST_INVALID);
    if (loaded == RESULT_OK) break;

    BoxAnswer answer = BoxAnswer::kClosed;
    Attempt([&] {
      PostStatusText(platform, StringTable::Get(L"pro_parse_config_failed").c_str());
      answer = ShowFailureBox(platform, L"retry", L"ok");
    });
    if (answer == BoxAnswer::kFirst) continue;  // read again
    return Finish(context, platform, loaded, false);
  }

  int32_t applied = RESULT_OK;
  {
    // Held from the first move to the end of a rollback, the failure box included: a process
    // asked to end meanwhile rolls back before it goes (its box is not waited for).
    CFileStage stage(platform);
    applied = Guarded([&] { return ApplyUpdate(context, platform, stage); }, RESULT_MOVE_FAILED);
    if (applied != RESULT_OK && context.plan.state == Journal::State::kFinished) applied = RESULT_OK;
    if (applied == RESULT_OK) {
      Attempt([&] { platform.Report({UpdateEvent::Kind::kSucceeded}); });
      return RESULT_OK;
    }
    Attempt([&] { ShowFailureBox(platform, L"ok", nullptr); });
    // What the rollback cannot finish, its journal leaves to the next start.
    Attempt([&] { RollbackFiles(context, platform); });
  }
  Attempt([&] { ClearUpdateCache(platform); });
  return Finish(context, platform, applied, true);
}

}  // namespace zr
