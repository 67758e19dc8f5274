// At start, before anything else: a journal left by a run that was cut short is finished.
// Runs on the worker thread.
#pragma once

#include <cstdint>

namespace zr {

class CFileStage;
class IUpdatePlatform;
struct CUpdateContext;

// - No journal, or one cut off before its plan was complete (nothing moved under it): RESULT_OK.
// - A finished run (every file new, or every file old): its leftovers are deleted, without
//   closing the product for it; what cannot be deleted yet goes into the context's leftovers,
//   for this run to carry on. RESULT_OK.
// - A planned run: when every file is as the run left it, it is rolled back (the running
//   product closed first, only if a file is to move); when any target holds something else
//   (a reinstall, a repair by hand), nothing is moved or deleted, the backups stay, and the
//   journal is finished. RESULT_OK; RESULT_MOVE_FAILED when a file cannot come back (the status
//   line names it, the journal stays for the next start); the closing stage's
//   RESULT_USER_CANCELLED / RESULT_CLOSE_FAILED, with nothing moved.
// - A journal that cannot be read or is damaged: nothing is touched, the status line says so,
//   RESULT_MOVE_FAILED.
int32_t RecoverInterruptedRun(CUpdateContext& context, IUpdatePlatform& platform, CFileStage& stage);

}  // namespace zr
