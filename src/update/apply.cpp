#include "update/apply.h"

#include "update/entry_check.h"
#include "update/file_set.h"
#include "update/progress.h"
#include "update/restore.h"
#include "update/update_context.h"
#include "util/paths.h"

namespace zr {
namespace {

constexpr uint32_t kRollbackPauseMs = 10;
// A target with this many backups or parked files beside it already is not worth a name.
constexpr int kMostNameTries = 1000;

// The run's plan for the context's entries: one planned file per target, and for every entry
// the index of its target's planned file.
class CPlanner {
 public:
  CPlanner(IFileSystem& files, const CUpdateContext& context)
      : m_files(files), m_context(context), m_taken(files), m_index(PathOrder{&files}) {}

  // False when a target has no free name left beside it. The identity of what each entry puts in
  // place is that of its held staged file; `copies` counts the entries copied from another volume.
  bool Plan(Journal& plan, std::vector<size_t>& fileOf, size_t& copies) {
    for (const UpdateFileEntry& entry : m_context.files) {
      m_taken.Insert(entry.path);
      m_taken.Insert(entry.tmp);
    }
    for (size_t i = 0; i < m_context.files.size(); ++i) {
      const std::wstring target = m_files.FullPath(m_context.files[i].path);
      auto known = m_index.find(target);
      if (known == m_index.end()) {
        known = m_index.emplace(target, plan.files.size()).first;
        plan.files.push_back(PlanFile(target));
        if (plan.files.back().parking.empty()) return false;
      }
      fileOf.push_back(known->second);
      const IHeldFile& staged = *m_context.heldStaged[i];
      plan.files[known->second].replacements.push_back(staged.Identity());
      copies += m_files.MustCopy(staged, target) ? 1 : 0;
    }
    plan.createdDirectories = DirectoriesToCreate(plan);
    plan.leftovers = m_context.leftovers;
    return true;
  }

 private:
  PlannedFile PlanFile(const std::wstring& target) {
    PlannedFile file;
    file.target = target;
    file.existed = m_files.Identify(target, file.original);
    file.parking = FreeName(target, L".tmp");
    file.copy = FreeName(target, L".new");
    if (file.existed) file.backup = FreeName(target, L".bak");
    if (file.copy.empty() || (file.existed && file.backup.empty())) file.parking.clear();
    return file;
  }

  // target + suffix, or target + ".N" + suffix for the first N from 2 that names no file and
  // nothing else of the run; empty when there is none.
  std::wstring FreeName(const std::wstring& target, const wchar_t* suffix) {
    for (int n = 1; n <= kMostNameTries; ++n) {
      const std::wstring name = n == 1 ? target + suffix : target + L"." + std::to_wstring(n) + suffix;
      if (!m_files.Exists(name) && m_taken.Insert(name)) return name;
    }
    return {};
  }

  // The directories missing on the way to the new files, parents before children.
  std::vector<std::wstring> DirectoriesToCreate(const Journal& plan) {
    CInstallationPaths installation(m_files);
    CFileSet listed(m_files);
    std::vector<std::wstring> directories;
    for (const PlannedFile& file : plan.files) {
      if (file.existed) continue;
      std::vector<std::wstring> missing;
      for (std::wstring directory = file.target.substr(0, file.target.rfind(L'\\'));
           installation.Contains(directory) && installation.DirectoryKind(directory) == PathKind::kMissing;
           directory.resize(directory.rfind(L'\\'))) {
        if (listed.Insert(directory)) missing.push_back(directory);
      }
      directories.insert(directories.end(), missing.rbegin(), missing.rend());
    }
    return directories;
  }

  IFileSystem& m_files;
  const CUpdateContext& m_context;
  CFileSet m_taken;
  std::map<std::wstring, size_t, PathOrder> m_index;
};

// After every file is in place: the commit. When it is reported failed, a rollback must not
// follow a commit that landed after all: the journal says "rollback" first, and if that cannot
// be written either, the journal as it is on disk decides.
bool Commit(IUpdatePlatform& platform) {
  IFileSystem& files = platform.Files();
  if (MarkJournal(files, JournalMark::kCommit)) {
    platform.Record("every file in place: journal marked \"commit\"");
    return true;
  }
  if (MarkJournal(files, JournalMark::kRollback)) {
    platform.Record("the commit was reported failed: journal marked \"rollback\"");
    return false;
  }
  const bool landed = ReadJournal(files).state == Journal::State::kFinished;
  platform.Record(landed ? "the commit was reported failed, but the journal holds it: the update stands"
                         : "the commit was reported failed and is not in the journal: the update is undone");
  return landed;
}

// "files to replace 2, to create 1, folders to make 1, copied from another volume 0": what a
// plan does.
std::string PlanText(const Journal& plan, size_t copies) {
  size_t existed = 0;
  for (const PlannedFile& file : plan.files) existed += file.existed ? 1 : 0;
  return "files to replace " + std::to_string(existed) + ", to create " + std::to_string(plan.files.size() - existed) +
         ", folders to make " + std::to_string(plan.createdDirectories.size()) + ", copied from another volume " +
         std::to_string(copies);
}

// Puts an entry's held staged file in place at the target, by renaming it; when it lies on
// another volume, a copy beside the target is renamed instead. `copied`: the copy is made
// already (it is made before the target is moved aside when the volumes are known to differ).
bool Place(IFileSystem& files, IHeldFile& staged, const PlannedFile& file, bool copied) {
  if (files.PlaceHeld(staged, file.target)) return true;
  // Told apart only now (a folder that leads to another volume, say): the copy is made here.
  if (copied || files.LastError() != kErrorNotSameDevice) return false;
  return files.CopyHeld(staged, file.copy) && files.PlaceHeld(staged, file.target);
}

// Shared by the rollback and recovery: restores the files with the rollback's lines (one for
// each of the first files, named by `lineNames`), then removes the created directories. True
// when every file is old again; otherwise the status line names the first that is not.
bool RestorePlan(IUpdatePlatform& platform, const Journal& plan, const std::vector<std::wstring>& lineNames) {
  IFileSystem& files = platform.Files();
  const size_t lines = lineNames.size();
  size_t stuck = plan.files.size();
  size_t restored = 0;
  for (size_t k = 0; k < plan.files.size(); ++k) {
    const PlannedFile& file = plan.files[k];
    if (k < lines) {
      PostStatus(platform, platform.Texts(), kRollingBackText, k, lines, FileNameOfPath(lineNames[k]));
    }
    const RestoreResult result = RestoreFile(files, file);
    if (result == RestoreResult::kStuck && stuck == plan.files.size()) stuck = k;
    if (result == RestoreResult::kStuck) platform.Record("cannot be made old again: " + RecordPath(file.target));
    restored += result == RestoreResult::kRestored ? 1 : 0;
    // A pause lets the window show the line; an ending process has no window to show it.
    if (k < lines && result != RestoreResult::kUntouched && !platform.ProcessEnding()) {
      platform.Sleep(kRollbackPauseMs);
    }
  }
  // Children before parents; a directory that holds anything now is not the run's to remove.
  for (auto it = plan.createdDirectories.rbegin(); it != plan.createdDirectories.rend(); ++it) {
    files.RemoveEmptyDirectory(*it);
  }
  if (!plan.files.empty()) {
    platform.Record(std::to_string(restored) + " of " + std::to_string(plan.files.size()) + " files put back, " +
                    (stuck == plan.files.size() ? "every file is old" : "not every file is old"));
  }
  if (stuck == plan.files.size()) return true;
  PostStatus(platform, platform.Texts(), kRestoreFailedText, stuck, plan.files.size(),
             FileNameOfPath(plan.files[stuck].target));
  return false;
}

// Deletes the leftovers of a finished run (the backups of a committed one, and an earlier
// run's), then the journal. What cannot be deleted is returned and the journal is kept,
// marked as finished, so that the next start deletes it without touching anything else.
std::vector<Leftover> FinishJournal(IUpdatePlatform& platform, const Journal& journal) {
  IFileSystem& files = platform.Files();
  std::vector<Leftover> remaining = DeleteLeftovers(files, journal);
  if (remaining.empty() && RemoveJournal(files)) {
    platform.Record("journal removed");
    return remaining;
  }
  if (journal.state != Journal::State::kFinished) MarkJournal(files, JournalMark::kDone);
  platform.Record("journal kept for the next start, which deletes what is left: " + std::to_string(remaining.size()) +
                  " files");
  return remaining;
}

}  // namespace

UpdateOutcome ApplyUpdate(CUpdateContext& context, IUpdatePlatform& platform, CMovingSection& section) {
  // A manifest that cannot be applied fails before the product is closed for it.
  const UpdateOutcome checked = CheckFileEntries(context, platform);
  if (checked != UpdateOutcome::kOk) return checked;
  const UpdateOutcome closed = CloseRunningProduct(platform);
  if (closed != UpdateOutcome::kOk) return closed;
  if (!section.Enter()) return UpdateOutcome::kProcessEnding;  // the window was closed meanwhile
  return ReplaceFiles(context, platform);
}

UpdateOutcome ReplaceFiles(CUpdateContext& context, IUpdatePlatform& platform) {
  IFileSystem& files = platform.Files();
  const size_t count = context.files.size();
  std::vector<size_t> fileOf;
  size_t copies = 0;
  context.plan = Journal();
  if (context.heldStaged.size() != count) {
    platform.Record("the staged files are not held: nothing moved");
    return UpdateOutcome::kCheckRefused;
  }
  if (!CPlanner(files, context).Plan(context.plan, fileOf, copies)) {
    platform.Record("no free backup name beside a target: nothing moved");
    return UpdateOutcome::kMoveFailed;
  }
  context.journalWritten = true;  // a write reported failed may have landed all the same
  if (!WriteJournal(files, context.plan)) return UpdateOutcome::kJournalFailed;
  platform.Record("journal written: " + PlanText(context.plan, copies));

  size_t planned = 0;
  intptr_t position = 0;
  for (size_t i = 0; i < count; ++i) {
    const UpdateFileEntry& entry = context.files[i];
    const PlannedFile& file = context.plan.files[fileOf[i]];
    IHeldFile& staged = *context.heldStaged[i];
    PostStatus(platform, platform.Texts(), kUpdatingFileText, i, count, FileNameOfPath(entry.path));

    // Listed again: its original is at its backup already (or never existed); no second backup.
    const bool again = fileOf[i] < planned;
    if (!again) ++planned;
    if (!again && !file.existed) {
      context.backups.push_back({entry.path, std::wstring()});
      files.CreateDirectoryChain(file.target);
    }
    // From another volume the copy comes first, while the product's file is still in place: cut
    // short, it leaves only itself beside an untouched target.
    const bool copied = files.MustCopy(staged, file.target);
    if (copied && !files.CopyHeld(staged, file.copy)) return UpdateOutcome::kMoveFailed;
    if (!again && file.existed) {
      if (!files.MoveReplace(file.target, file.backup)) return UpdateOutcome::kMoveFailed;
      context.backups.push_back({entry.path, file.backup});
    }
    if (!Place(files, staged, file, copied)) return UpdateOutcome::kMoveFailed;
    // The bar follows the files done; 100 is posted once everything is in place.
    const intptr_t done = static_cast<intptr_t>((i + 1) * 100 / count);
    if (done != position && done < 100) ReportProgress(platform, position = done);
  }

  // Every file is in place: from here on an interrupted run is finished, not undone.
  if (!Commit(platform)) return UpdateOutcome::kJournalFailed;
  context.plan.state = Journal::State::kFinished;
  context.leftovers = FinishJournal(platform, context.plan);
  context.journalWritten = !context.leftovers.empty();
  ReportProgress(platform, 100);
  PostStatus(platform, platform.Texts(), kUpdateFinishedText);
  return UpdateOutcome::kOk;
}

void RollbackFiles(CUpdateContext& context, IUpdatePlatform& platform) {
  // The staged files that did not move are let go: a held file cannot be moved or deleted.
  context.heldStaged.clear();
  // The rollback's lines name each file as its entry named it.
  std::vector<std::wstring> lineNames;
  for (const BackupEntry& entry : context.backups) lineNames.push_back(entry.target);
  if (!context.plan.files.empty()) platform.Record("rolling back");
  const bool whole = RestorePlan(platform, context.plan, lineNames);
  // With a file that could not come back the journal stays, and the next start tries again.
  if (whole && context.journalWritten) {
    context.leftovers = FinishJournal(platform, context.plan);
    context.journalWritten = !context.leftovers.empty();
  } else if (!whole) {
    platform.Record("journal kept: the next start finishes the rollback");
  }
}

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
