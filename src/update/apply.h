// Applying the staged files and undoing a failed or interrupted attempt. Runs on the worker
// thread.
//
// Whatever happens, the installation ends with every product file either old or new: the
// moves run inside the platform's file stage (the process does not end half-way; once asked
// to end, the stage runs on to its end and a failed replacement is rolled back before the
// process goes), and a journal on disk lets the next start undo a run that was killed.
#pragma once

#include <cstdint>

namespace zr {

class IUpdatePlatform;
struct CUpdateContext;

// Holds the platform's file stage from Enter until the object goes. The worker keeps it
// across replacing, the failure box and the rollback, so that a failed replacement is always
// rolled back before the process ends.
class CFileStage {
 public:
  explicit CFileStage(IUpdatePlatform& platform) : m_platform(platform) {}
  ~CFileStage();
  CFileStage(const CFileStage&) = delete;
  CFileStage& operator=(const CFileStage&) = delete;

  // False when the process is already ending: then nothing may move.
  bool Enter();

 private:
  IUpdatePlatform& m_platform;
  bool m_entered = false;
};

// Checks the whole manifest before anything is touched: every staged file exists and is a
// regular file, listed once and not also a target; no target is an existing directory or
// another target's ".bak" or ".tmp" name. RESULT_MOVE_FAILED (the status line names the
// entry) or RESULT_OK.
int32_t CheckFileEntries(const CUpdateContext& context, IUpdatePlatform& platform);

// Checks the entries, closes the running product, enters the file stage and replaces the
// files. RESULT_OK, RESULT_MOVE_FAILED, or the closing stage's RESULT_USER_CANCELLED /
// RESULT_CLOSE_FAILED. Nothing has moved unless the result is RESULT_OK or the replacing
// itself failed; the stage then stays held for the rollback.
int32_t ApplyUpdate(CUpdateContext& context, IUpdatePlatform& platform, CFileStage& stage);

// The replacing stage alone, inside a held file stage: writes the journal, then moves each
// existing target to target + ".bak" (recorded in context.backups) and the staged file onto
// it; new files get their directories. The progress bar follows the files done. The first
// failed move returns RESULT_MOVE_FAILED. On success the journal records it, the backups of
// this run and the journal are deleted, and progress 100 and "pro_update_finished" posted.
//
// A target listed twice (in any spelling of the same file) keeps the one backup of its
// original content: the later entry replaces the file without backing up the intermediate
// content, so rollback still restores the original. A stale backup left beside an existing
// target is deleted before the journal is written.
int32_t ReplaceFiles(CUpdateContext& context, IUpdatePlatform& platform);

// Restores every recorded file, first to last ("pro_rollback_dds" lines, a 10 ms pause after
// each file put back unless the process is ending): a replaced target is parked at target + ".tmp", its backup
// moved back, and the parked file deleted; a created target is deleted. When the backup
// cannot come back, the parked file returns to the target: rollback never destroys content
// that exists nowhere else. The run's journal is removed once every file is old again.
void RollbackFiles(CUpdateContext& context, IUpdatePlatform& platform);

// At start: a journal left by a run that was cut short is finished: a planned run is rolled
// back (the closing stage first, if the product runs from the half-updated installation), a
// committed run has its backups deleted. RESULT_OK when no journal is left (also when there
// was none); RESULT_MOVE_FAILED when a file could not be restored (the journal stays for the
// next start); the closing stage's RESULT_USER_CANCELLED / RESULT_CLOSE_FAILED.
int32_t RecoverInterruptedRun(IUpdatePlatform& platform, CFileStage& stage);

}  // namespace zr
