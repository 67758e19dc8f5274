// The run journal: what a run that moves product files is about to do, kept on disk beside
// the updater until the installation is whole again, so that a run cut short (the process
// killed, the power lost, the session ended) is undone by the next start of the updater.
//
// The journal holds the whole plan and is written once, through to the disk, before the first
// product file moves; afterwards only a one-word line is appended when the run's state changes
// (every file in place, a rollback begun after that, the run over). Nothing is written per
// file: each planned file records the names the run uses for it and the identity (size and
// last write time) of the original it found and of every file it puts in place, so that the
// files themselves tell how far the run got, and whether someone else changed them since.
//
// The format, UTF-8 text with CR LF line ends, fields separated by "|"; in a path every control
// character, "%" and "|" is written as "%" and two hexadecimal digits, so that no path can make
// a line of its own:
//
//   zrUpdater journal 3
//   B|C:\Zoria\core.dll|C:\Zoria\core.dll.bak|C:\Zoria\core.dll.tmp|C:\Zoria\core.dll.new|4096@1331...|5120@1332...
//       a file that existed: target, backup, parking name, copy name, original, what the run
//       puts there (several identities, comma-separated, when the manifest lists the file
//       several times)
//   N|C:\Zoria\plugins\new.dll||C:\Zoria\plugins\new.dll.tmp|C:\Zoria\plugins\new.dll.new||777@1332...
//       a file the run creates
//   D|C:\Zoria\plugins                    a directory the run creates
//   X|C:\Zoria\old.dll.bak|4000@1320...   a backup an earlier run left, deleted when this one ends
//   end|8c1f...                           the plan is complete; a checksum of every byte before
//   commit                                every file is in place
//   rollback                              a rollback began after a commit that may not have landed
//   done                                  the run is over: only its leftovers are to be deleted
//
// The copy name is where a staged file from another volume is copied, beside its target, before
// it is renamed over the target: a copy cut short (the process killed, a full disk) is never the
// product's file, and the next start deletes it. A journal of version 2, written before copies
// had a name of their own, is read as one whose files have none.
//
// The journal lies beside the updater as "zrUpdater.journal"; restore.h brings a planned file
// back by it. Portable; the worker thread.
#pragma once

#include <string>
#include <vector>

#include "update/file_system.h"

namespace zr {

// One product file of a run's plan (a file listed several times appears once).
struct PlannedFile {
  std::wstring target;
  bool existed = false;                    // the original moves to `backup`
  std::wstring backup;                     // a name no file had when the run planned
  std::wstring parking;                    // where a rollback parks what the run put in place
  std::wstring copy;                       // where a staged file from another volume is copied
  FileIdentity original;                   // of the file found at target (existed only)
  std::vector<FileIdentity> replacements;  // of each staged file moved onto target, in order
};

// A file an earlier run left behind that is to be deleted, if it is still that file.
struct Leftover {
  std::wstring path;
  FileIdentity identity;
};

struct Journal {
  enum class State {
    kNone,      // no journal
    kCutOff,    // cut off before its "end" line was on disk: nothing moved under it
    kPlanned,   // files may have moved: the installation is brought back to the old files
    kFinished,  // every file is either new ("commit") or old ("done"): only leftovers remain
    kDamaged,   // there, but unreadable or not what this updater writes: nothing may be done
  };
  Journal() = default;
  explicit Journal(State empty) : state(empty) {}  // one of that state with nothing in it

  State state = State::kNone;
  std::vector<PlannedFile> files;
  std::vector<std::wstring> createdDirectories;  // parents before children
  std::vector<Leftover> leftovers;
};

// The words appended to a written plan.
enum class JournalMark { kCommit, kRollback, kDone };

std::string FormatJournal(const Journal& journal);
Journal ParseJournal(const std::string& bytes);
// What the "end" line carries of the bytes before it: their FNV-1a hash, 64 bits, in 16
// lower-case hexadecimal digits, so that any damage to them shows.
std::string JournalChecksum(const std::string& plan);

// Writes the plan through to the disk; false when it cannot be written (then nothing may move).
bool WriteJournal(IFileSystem& files, const Journal& journal);
// Appends a mark to the plan on disk, through to the disk.
bool MarkJournal(IFileSystem& files, JournalMark mark);
// kNone when there is none; kDamaged when it is there but cannot be read.
Journal ReadJournal(IFileSystem& files);
// Removes the journal; true when none is left.
bool RemoveJournal(IFileSystem& files);

}  // namespace zr
