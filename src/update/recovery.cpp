// Finishing a run that was cut short (RecoverInterruptedRun, apply.h).
#include "update/apply.h"

#include "update/journal.h"
#include "update/restore.h"
#include "update/outcome.h"
#include "update/platform.h"
#include "update/progress.h"
#include "update/update_context.h"
#include "util/paths.h"

namespace zr {

UpdateOutcome RecoverInterruptedRun(CUpdateContext& context, IUpdatePlatform& platform, CMovingSection& section) {
  IFileSystem& files = platform.Files();
  const Journal journal = ReadJournal(files);
  switch (journal.state) {
    case Journal::State::kNone: return UpdateOutcome::kOk;
    case Journal::State::kCutOff:
      platform.Record("recovery: a journal cut off before its plan was complete (nothing moved under it): removed");
      RemoveJournal(files);
      return UpdateOutcome::kOk;
    case Journal::State::kDamaged:
      platform.Record("recovery: the journal cannot be read or is damaged: nothing touched");
      PostStatus(platform, platform.Texts(), kJournalDamagedText);
      return UpdateOutcome::kRecoveryFailed;
    case Journal::State::kFinished:
      platform.Record("recovery: the journal of a finished run: deleting what it left");
      context.leftovers = FinishJournal(platform, journal);
      return UpdateOutcome::kOk;
    case Journal::State::kPlanned: break;
  }
  platform.Record("recovery: the journal of a run cut short, " + std::to_string(journal.files.size()) + " files");

  bool touched = false;
  for (size_t k = 0; k < journal.files.size(); ++k) {
    const PlannedFile& file = journal.files[k];
    switch (StandingOf(files, file)) {
      case FileStanding::kOld: break;
      case FileStanding::kTouched: touched = true; break;
      case FileStanding::kForeign:
        // Someone changed the installation since (a reinstall, a repair by hand): what the
        // journal knows is no longer true, and moving its backups back would mix versions.
        platform.Record("recovery: " + RecordPath(file.target) +
                        " holds neither the old nor the new file (reinstalled?): nothing moved, journal removed");
        RemoveJournal(files);
        return UpdateOutcome::kOk;
      case FileStanding::kLost:
        // The original is nowhere the run left it: nothing can make the installation old, so
        // nothing is moved until it is repaired.
        platform.Record("recovery: the original of " + RecordPath(file.target) +
                        " is nowhere the run left it: nothing moved, journal kept");
        PostStatus(platform, platform.Texts(), kRestoreFailedText, k, journal.files.size(),
                   FileNameOfPath(file.target));
        return UpdateOutcome::kRecoveryFailed;
    }
  }
  std::vector<std::wstring> lineNames;
  if (touched) {
    platform.Record("recovery: rolling back the run cut short");
    // The product may have been started from the half-updated installation.
    const UpdateOutcome closed = CloseRunningProduct(platform);
    if (closed != UpdateOutcome::kOk) return closed;
    if (!section.Enter()) return UpdateOutcome::kProcessEnding;
    for (const PlannedFile& file : journal.files) lineNames.push_back(file.target);
  }
  if (!RestorePlan(platform, journal, lineNames)) return UpdateOutcome::kRecoveryFailed;
  context.leftovers = FinishJournal(platform, journal);
  return UpdateOutcome::kOk;
}

}  // namespace zr
