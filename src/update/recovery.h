// At start, before anything else: a journal left by a run that was cut short is finished.
// Runs on the worker thread.
#pragma once

#include "update/outcome.h"

namespace zr {

class CMovingSection;
class IUpdatePlatform;
struct CUpdateContext;

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
