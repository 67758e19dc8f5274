// The run journal on disk: "zrUpdater.journal" beside the updater (its format: journal.h). The
// plan is written once, through to the disk, before the first product file moves; afterwards
// only a mark is appended. The worker thread.
#pragma once

#include <string>

#include "update/file_system.h"
#include "update/journal.h"

namespace zr {

// "<updater directory>\zrUpdater.journal".
std::wstring JournalPath(IFileSystem& files);

// Writes the plan through to the disk; false when it cannot be written (then nothing may move).
bool WriteJournal(IFileSystem& files, const Journal& journal);
bool MarkJournal(IFileSystem& files, JournalMark mark);
// kNone when there is none; kDamaged when it is there but cannot be read.
Journal ReadJournal(IFileSystem& files);
// Removes the journal; true when none is left.
bool RemoveJournal(IFileSystem& files);

}  // namespace zr
