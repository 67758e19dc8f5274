// The run journal: what a run that moves product files is about to do, kept on disk beside
// the updater until the installation is whole again, so that a run cut short (the process
// killed, the power lost, the session ended) is undone by the next start of the updater.
//
// The journal is written once, through to the disk, before the first product file moves, and
// once more (one line appended) when every file is in place; nothing is written per file. The
// state of each entry is read back from the files themselves: "<target>.bak" is the original
// of a replaced file as long as it exists, "<target>.tmp" is only ever a parked file of a
// rollback step. The format, UTF-8 text with CR LF line ends:
//
//   zrUpdater journal 1
//   B C:\Program Files\Zoria\core.dll          a file that existed: its original goes to .bak
//   N C:\Program Files\Zoria\plugins\new.dll   a file the run creates
//   end                                        the plan is complete (nothing moves before)
//   commit                                     appended once every file is in place
//
// A file listed twice in a manifest appears once. Runs on the worker thread.
#pragma once

#include <string>
#include <vector>

#include "update/own_files.h"

namespace zr {

class IFileSystem;

struct JournalEntry {
  std::wstring target;
  bool existed = false;  // the original is moved to target + ".bak"
};

struct Journal {
  enum class State {
    kNone,       // no journal, or one cut off before its "end" line: nothing was moved
    kPlanned,    // files may have moved: the installation is brought back to the old files
    kCommitted,  // every file is in place: only the backups are left to delete
  };
  State state = State::kNone;
  std::vector<JournalEntry> entries;
};

// "<updater directory>\zrUpdater.journal".
std::wstring JournalPath(IFileSystem& files);

std::string FormatJournal(const std::vector<JournalEntry>& entries);
Journal ParseJournal(const std::string& bytes);

// Writes the plan through to the disk; false when it cannot be written (then nothing may move).
bool WriteJournal(IFileSystem& files, const std::vector<JournalEntry>& entries);
// Records that every file is in place; false when that cannot be recorded.
bool CommitJournal(IFileSystem& files);
Journal ReadJournal(IFileSystem& files);
// Removes the journal; true when none is left.
bool RemoveJournal(IFileSystem& files);

// Brings one entry back to its old state, whatever step of replacing or rollback was cut
// short: the original returns from its backup (the file in its place is parked at ".tmp" and
// deleted), a created file is deleted, a parked file left behind is deleted. Content that
// exists nowhere else is never deleted: when the original cannot come back, the parked file
// returns to the target.
enum class RestoreResult {
  kUntouched,  // nothing of the run was there: the entry was old already
  kRestored,   // put back; now old, nothing of the run left
  kStuck,      // a file could not be moved or deleted: not old yet
};
RestoreResult RestoreEntry(IFileSystem& files, const JournalEntry& entry);

}  // namespace zr
