#include "update/update_worker.h"

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
  int32_t recovered = RESULT_OK;
  {
    // A run that was cut short is finished before anything else; while that cannot be done,
    // nothing else touches the installation.
    CFileStage stage(platform);
    recovered = RecoverInterruptedRun(context, platform, stage);
    if (recovered != RESULT_OK) ShowFailureBox(platform, L"ok", nullptr);
  }
  if (recovered != RESULT_OK) {
    platform.SendUsageReport(context, recovered);
    platform.PostToMainWindow(WM_UPDATE_FINISHED, 0);
    return recovered;
  }

  for (;;) {
    context.files.clear();
    PostStatusText(platform, StringTable::Get(L"pro_parsing_config").c_str());
    platform.PostToMainWindow(WM_UPDATE_PROGRESS, 0);
    platform.PostToMainWindow(WM_UPDATE_SPEED, -1);

    const int32_t loaded = LoadUpdateConfig(context, platform, configPath);
    if (loaded == RESULT_OK) break;

    PostStatusText(platform, StringTable::Get(L"pro_parse_config_failed").c_str());
    if (ShowFailureBox(platform, L"retry", L"ok") == BoxAnswer::kFirst) continue;  // read again
    platform.PostToMainWindow(WM_UPDATE_FINISHED, 0);
    return loaded;
  }

  int32_t applied = RESULT_OK;
  {
    // Held from the first move to the end of a rollback, the failure box included: a process
    // asked to end meanwhile rolls back before it goes (its box is not waited for).
    CFileStage stage(platform);
    applied = ApplyUpdate(context, platform, stage);
    if (applied == RESULT_OK) {
      platform.PostToMainWindow(WM_UPDATE_SUCCEEDED, 2);
      return RESULT_OK;
    }
    ShowFailureBox(platform, L"ok", nullptr);
    RollbackFiles(context, platform);
  }
  ClearUpdateCache(platform);
  platform.SendUsageReport(context, applied);
  platform.PostToMainWindow(WM_UPDATE_FINISHED, 0);
  return applied;
}

}  // namespace zr
