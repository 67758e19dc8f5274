#include "update/update_worker.h"

#include <exception>

#include "update/apply.h"
#include "update/manifest.h"
#include "update/md5.h"
#include "update/platform.h"
#include "update/progress.h"
#include "update/update_context.h"

namespace zr {
namespace {

// The failure box: title "update", the official-site message and link, and the buttons given.
BoxAnswer ShowFailureBox(IUpdatePlatform& platform, const wchar_t* firstButton, const wchar_t* secondButton) {
  const ITexts& texts = platform.Texts();
  const std::wstring second = secondButton ? texts.Get(secondButton) : std::wstring();
  return platform.ShowLinkBox(texts.Get(L"update"), texts.Get(L"goto_offical_site"),
                              texts.Get(L"box_update_failed_goto_offical_site"), texts.Get(firstButton),
                              secondButton ? &second : nullptr);
}

// Runs a step of the run; an exception from it (memory exhausted, say) counts as `onThrow`, and
// goes to the record as far as memory allows.
template <typename Step>
UpdateOutcome Guarded(IUpdatePlatform& platform, const char* name, Step step, UpdateOutcome onThrow) {
  try {
    return step();
  } catch (const std::exception& thrown) {
    try {
      platform.Record(std::string(name) + " ended by an exception: " + thrown.what());
    } catch (const std::exception&) {}
    return onThrow;
  }
}

// Runs a step whose failure changes nothing that follows (a box, the report, the cache).
template <typename Step>
void Attempt(IUpdatePlatform& platform, const char* name, Step step) {
  const auto run = [&] {
    step();
    return UpdateOutcome::kOk;
  };
  Guarded(platform, name, run, UpdateOutcome::kOk);
}

const char* OutcomeText(UpdateOutcome outcome) {
  switch (outcome) {
    case UpdateOutcome::kOk: return "every file is new";
    case UpdateOutcome::kManifestInvalid: return "the manifest is unusable";
    case UpdateOutcome::kCheckRefused: return "an entry was refused";
    case UpdateOutcome::kMoveFailed: return "a file could not be moved";
    case UpdateOutcome::kJournalFailed: return "the journal could not be written";
    case UpdateOutcome::kRecoveryFailed: return "a run cut short could not be finished";
    case UpdateOutcome::kUserCancelled: return "the user kept the product running";
    case UpdateOutcome::kProcessEnding: return "the updater was ending before a file moved";
    case UpdateOutcome::kCloseFailed: return "the product would not end";
  }
  return "";
}

std::string DeliveryText(const ReportDelivery& delivery) {
  switch (delivery.outcome) {
    case ReportDelivery::Outcome::kAnswered: return "delivered, HTTP status " + std::to_string(delivery.status);
    case ReportDelivery::Outcome::kRedirected:
      return "not delivered: a redirection (HTTP status " + std::to_string(delivery.status) + "), not followed";
    case ReportDelivery::Outcome::kFailed: return "not delivered: " + RecordError(delivery.error);
    case ReportDelivery::Outcome::kTimedOut: return "not delivered: no answer in time, given up";
  }
  return "";
}

// The end of a run: the report, when there is one to send, and the window told how it ended
// (`end`). A process that is ending sends nothing: it is not kept waiting.
UpdateOutcome Finish(CUpdateContext& context, IUpdatePlatform& platform, UpdateOutcome outcome, bool report,
                     UpdateEvent::Kind end = UpdateEvent::Kind::kFinished) {
  // The line names the code the report carries, then the reason behind it.
  Attempt(platform, "the record",
          [&] { platform.Record("outcome " + std::to_string(ReportCode(outcome)) + ": " + OutcomeText(outcome)); });
  if (report && platform.ProcessEnding()) {
    Attempt(platform, "the record", [&] { platform.Record("usage report not sent: the updater is ending"); });
  } else if (report) {
    Attempt(platform, "the usage report", [&] {
      const ReportDelivery delivery = platform.SendUsageReport(context, outcome);
      platform.Record("usage report " + DeliveryText(delivery));
    });
  }
  Attempt(platform, "telling the window", [&] { platform.Report({end}); });
  return outcome;
}

// Reads the manifest file and parses it into the context: kOk or kManifestInvalid.
UpdateOutcome LoadUpdateConfig(CUpdateContext& context, IUpdatePlatform& platform, const std::wstring& configPath) {
  std::string content;
  std::string problem = "it cannot be read";
  if (configPath.empty()) {
    problem = "none given (/config)";
  } else if (platform.Files().ReadExistingFile(configPath, content)) {
    const UpdateOutcome parsed = ParseUpdateManifest(context, content, &problem);
    if (parsed == UpdateOutcome::kOk) {
      size_t checked = 0;
      for (const UpdateFileEntry& entry : context.files) checked += IsMd5Value(entry.md5) ? 1 : 0;
      platform.Record("manifest " + RecordPath(configPath) + ": version " + RecordValue(context.version) +
                      ", entries " + std::to_string(context.files.size()) + ", with an md5 to check " +
                      std::to_string(checked));
      return parsed;
    }
  }
  platform.Record("manifest " + RecordPath(configPath) + " unusable: " + problem);
  return UpdateOutcome::kManifestInvalid;
}

}  // namespace

void ClearUpdateCache(IUpdatePlatform& platform) {
  IFileSystem& files = platform.Files();
  const std::wstring cache = files.ModuleDirectory() + L"\\cache";
  // A cache folder that is a link leads to someone else's folder: it is never emptied.
  switch (files.Inspect(cache)) {
    case PathKind::kDirectoryLink: platform.Record("download cache left alone: \"cache\" is a link"); return;
    case PathKind::kMissing: platform.Record("no download cache to delete"); return;
    default: break;
  }
  if (files.DeleteDirectoryTree(cache + L"\\update\\")) platform.Record("download cache deleted");
}

UpdateOutcome RunUpdate(CUpdateContext& context, IUpdatePlatform& platform, const std::wstring& configPath) {
  // Whatever a step throws ends the run as its failure would: a failed recovery keeps its
  // journal, a manifest counts as unusable, a replacement is rolled back (unless its commit is
  // on disk: then the files are all new and only cleaning up is left to the next start).
  UpdateOutcome recovered = UpdateOutcome::kOk;
  {
    // A run that was cut short is finished before anything else; while that cannot be done,
    // nothing else touches the installation.
    CMovingSection section(platform);
    recovered = Guarded(
        platform, "recovery", [&] { return RecoverInterruptedRun(context, platform, section); },
        UpdateOutcome::kRecoveryFailed);
    if (recovered != UpdateOutcome::kOk)
      Attempt(platform, "the failure box", [&] { ShowFailureBox(platform, L"ok", nullptr); });
  }
  if (recovered != UpdateOutcome::kOk) return Finish(context, platform, recovered, true);

  for (;;) {
    const UpdateOutcome loaded = Guarded(
        platform, "reading the manifest",
        [&] {
          context.files.clear();
          PostStatus(platform, platform.Texts(), kParsingConfigText);
          ReportProgress(platform, 0);
          platform.Report({UpdateEvent::Kind::kSpeed, -1});  // no speed line
          return LoadUpdateConfig(context, platform, configPath);
        },
        UpdateOutcome::kManifestInvalid);
    if (loaded == UpdateOutcome::kOk) break;

    BoxAnswer answer = BoxAnswer::kClosed;
    Attempt(platform, "the retry box", [&] {
      PostStatus(platform, platform.Texts(), kParseConfigFailedText);
      answer = ShowFailureBox(platform, L"retry", L"ok");
      platform.Record(answer == BoxAnswer::kFirst ? "the user asked to read it again" : "the user gave up");
    });
    if (answer != BoxAnswer::kFirst) return Finish(context, platform, loaded, false);
  }

  UpdateOutcome applied = UpdateOutcome::kOk;
  {
    // Held from the first move to the end of a rollback, the failure box included: a process
    // asked to end meanwhile rolls back before it goes (its box is not waited for).
    CMovingSection section(platform);
    applied = Guarded(
        platform, "the update", [&] { return ApplyUpdate(context, platform, section); }, UpdateOutcome::kMoveFailed);
    // The staged files that did not move are let go, for the download cache to be deleted.
    context.heldStaged.clear();
    if (applied != UpdateOutcome::kOk && context.plan.state == Journal::State::kFinished) applied = UpdateOutcome::kOk;
    if (applied == UpdateOutcome::kOk) return Finish(context, platform, applied, false, UpdateEvent::Kind::kSucceeded);
    Attempt(platform, "the failure box", [&] { ShowFailureBox(platform, L"ok", nullptr); });
    // What the rollback cannot finish, its journal leaves to the next start.
    Attempt(platform, "the rollback", [&] { RollbackFiles(context, platform); });
  }
  if (platform.ProcessEnding()) {
    Attempt(platform, "the record", [&] { platform.Record("download cache left: the updater is ending"); });
  } else {
    Attempt(platform, "deleting the download cache", [&] { ClearUpdateCache(platform); });
  }
  return Finish(context, platform, applied, true);
}

}  // namespace zr
