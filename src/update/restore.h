// Where one planned file of a run stands and how it is made old again, told by the files at its
// target, backup, parking and copy names and their identities against the journal's plan
// (journal.h). Rollback and recovery both use it. The worker thread.
#pragma once

#include <vector>

#include "update/file_system.h"
#include "update/journal.h"

namespace zr {

enum class FileStanding {
  kOld,      // as before the run, nothing of the run left beside it
  kTouched,  // the run moved something: it can be brought back
  kForeign,  // the target holds neither the original nor what the run put there: someone
             // changed it since (a reinstall, a repair by hand)
  kLost,     // the original is nowhere the run left it
};
FileStanding StandingOf(IFileSystem& files, const PlannedFile& file);

// Brings one planned file back to its old state, whatever step of replacing or rollback was
// cut short: the original returns from its backup (the file in its place is parked and
// deleted), a created file is deleted, a parked file left behind is deleted. Only files the
// run made are moved or deleted (known by their identities; a copy by its size, which the run
// gives it before any byte goes in), and content that exists nowhere else is never deleted:
// when the original cannot come back, the parked file returns to the target.
enum class RestoreResult {
  kUntouched,  // nothing of the run was there: the file was old already
  kRestored,   // put back; now old, nothing of the run left
  kStuck,      // a file could not be moved or deleted, or is not the run's: not old yet
};
RestoreResult RestoreFile(IFileSystem& files, const PlannedFile& file);

// Deletes the run's backups (those still holding the original, after a commit) and the
// leftovers that are still what was recorded; the rest of the journal's leftovers are
// returned.
std::vector<Leftover> DeleteLeftovers(IFileSystem& files, const Journal& journal);

}  // namespace zr
