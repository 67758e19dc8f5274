// Closing the product, applying the staged files, undoing a failed attempt, and at the next start
// finishing a run that was killed. The worker thread.
//
// Whatever happens, the installation ends with every product file either old or new: the
// moves run inside the platform's moving section (the process does not end half-way; once asked
// to end, the section runs on to its end and a failed replacement is rolled back before the
// process goes), and a journal on disk lets the next start undo a run that was killed
// (RecoverInterruptedRun). Only files the run made itself are ever moved back or deleted: a
// ".bak" or ".tmp" file that was there before is left exactly as it is.
#pragma once

#include "update/platform.h"

namespace zr {

// Holds the platform's moving section from Enter until the object goes.
class CMovingSection {
 public:
  explicit CMovingSection(IUpdatePlatform& platform) : m_platform(platform) {}
  ~CMovingSection() {
    if (m_entered) m_platform.LeaveMovingSection();
  }
  CMovingSection(const CMovingSection&) = delete;
  CMovingSection& operator=(const CMovingSection&) = delete;

  // False when the process is already ending: then nothing may move.
  bool Enter() {
    if (!m_entered) m_entered = m_platform.EnterMovingSection();
    return m_entered;
  }

 private:
  IUpdatePlatform& m_platform;
  bool m_entered = false;
};

// Finds "zrCastrix.exe" in the updater's directory among the running processes, gives it five
// seconds to end by itself, asks the user once, asks the product window to quit, then
// terminates it. kOk once it is gone (or was never running), kUserCancelled when the user
// keeps it (the updater's window is told to quit), kCloseFailed when it survives every attempt
// (the fatal "box_exit_reboot" text has been reported).
UpdateOutcome CloseRunningProduct(IUpdatePlatform& platform);

// Checks the entries (entry_check.h), closes the running product, enters the moving section and
// replaces the files. kOk; the check's kCheckRefused; the closing stage's kUserCancelled /
// kCloseFailed; kProcessEnding when the moving section cannot be entered; or the replacing's failure.
// Nothing has moved unless the result is kOk or the replacing itself failed; the section then
// stays held for the rollback.
UpdateOutcome ApplyUpdate(CUpdateContext& context, IUpdatePlatform& platform, CMovingSection& section);

// The replacing stage alone, inside a held moving section, with every staged file held
// (HoldStagedFiles, entry_check.h). It plans first: per target, a backup, a parking and a copy
// name that no file has (target + ".bak", ".tmp" and ".new" unless taken, then ".2.bak",
// ".3.bak", ...), the identity of the original and of each held staged file, the directories to
// create. The plan goes to the journal; then each existing target moves to its backup (recorded
// in context.backups) and the held staged file is renamed onto it; new files get their
// directories. A staged file on another volume is first copied beside its target (under the copy
// name), and the copy is renamed onto the target, so that no move ever cuts a product file. The
// progress bar follows the files done. The first failed move or copy returns kMoveFailed; a
// journal that cannot be written (or its commit) kJournalFailed.
// On success the journal records it, the run's backups (and an earlier run's leftovers) and
// the journal are deleted, and progress 100 and "pro_update_finished" posted.
//
// A target listed twice (in any spelling of the same file) keeps the one backup of its
// original content: the later entry replaces the file without backing up the intermediate
// content, so rollback still restores the original.
UpdateOutcome ReplaceFiles(CUpdateContext& context, IUpdatePlatform& platform);

// Lets the staged files go, then restores every planned file, first to last ("pro_rollback_dds"
// lines for the recorded ones, a 10 ms pause after each file put back unless the process is
// ending): a copy the run made is deleted, the file it put in place is parked and deleted, the
// original moved back; the directories the run created are removed again. When a file cannot come back, the status line names it and the journal stays
// for the next start; otherwise the journal is finished.
void RollbackFiles(CUpdateContext& context, IUpdatePlatform& platform);

// At start, before anything else: a journal left by a run that was cut short is finished.
// - No journal, or one cut off before its plan was complete (nothing moved under it): kOk.
// - A finished run (every file new, or every file old): its leftovers are deleted, without
//   closing the product for it; what cannot be deleted yet goes into the context's leftovers,
//   for this run to carry on. kOk.
// - A planned run: when every file is as the run left it, it is rolled back (the running
//   product closed first, only if a file is to move); when any target holds something else
//   (a reinstall, a repair by hand), nothing is moved or deleted, the backups stay, and the
//   journal is finished. kOk; kRecoveryFailed when a file cannot come back (the status line
//   names it, the journal stays for the next start); the closing stage's kUserCancelled /
//   kCloseFailed, or kProcessEnding, with nothing moved.
// - A journal that cannot be read or is damaged: nothing is touched, the status line says so,
//   kRecoveryFailed.
UpdateOutcome RecoverInterruptedRun(CUpdateContext& context, IUpdatePlatform& platform, CMovingSection& section);

}  // namespace zr
