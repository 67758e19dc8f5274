// The state the update phases share. One per run: the main window creates it empty, the
// worker thread alone fills and reads it, and it lives until the process ends.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "update/file_system.h"
#include "update/journal.h"
#include "update/update_events.h"

namespace zr {

// One "file" element of the manifest.
struct UpdateFileEntry {
  std::string md5;    // UTF-8; when 32 hexadecimal digits, the staged file's MD5, checked first
  std::wstring tmp;   // full path of the staged new content; moved (or, from another volume,
                      // copied and then deleted)
  std::wstring path;  // full path of the product file to replace or create
};

// One replaced or created file, as the entry named it: backup is where its original went
// (target + ".bak", or another free name when that one is taken), empty for a new file.
struct BackupEntry {
  std::wstring target;
  std::wstring backup;
};

struct CUpdateContext {
  std::string version;                 // the version the manifest brings (UTF-8)
  std::vector<UpdateFileEntry> files;  // in manifest order
  std::vector<BackupEntry> backups;    // in the order the files were replaced
  // Each entry's staged file (by index), held from the check until it is in place: what was
  // checked is what gets installed. Let go once the update has ended, before a rollback and the
  // deletion of the download cache.
  std::vector<std::unique_ptr<IHeldFile>> heldStaged;
  // The run's plan, as its journal holds it: one file per target, first to last, so that
  // backups[k] is plan.files[k].
  Journal plan;
  bool journalWritten = false;      // this run's journal may be on disk
  std::vector<Leftover> leftovers;  // an earlier run's, deleted when this one ends
};

// What the window and the worker share for one run: the context the worker fills and the
// events it reports to the window. Made by the window before the worker starts; lives until the
// process ends, since the worker may outlive the window.
struct CUpdateRun {
  explicit CUpdateRun(std::function<bool()> wake) : events(std::move(wake)) {}
  CUpdateContext context;
  CEventQueue events;
};

}  // namespace zr
