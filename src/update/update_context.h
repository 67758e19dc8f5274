// The record the update phases share. One per run: the main window creates it empty, the
// worker thread alone fills and reads it, and it lives until the process ends.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace zr {

// One "file" element of the manifest.
struct UpdateFileEntry {
  std::string url;    // UTF-8, kept but unused
  std::string md5;    // UTF-8, kept but unused
  std::wstring tmp;   // full path of the staged new content; moved, not copied
  std::wstring path;  // full path of the product file to replace or create
  int32_t state = 0;
};

// One replaced or created file: backup is target + ".bak", or empty for a new file.
struct BackupEntry {
  std::wstring target;
  std::wstring backup;
};

struct CUpdateContext {
  std::string version;                    // the version the manifest brings (UTF-8)
  std::vector<UpdateFileEntry> files;     // in manifest order
  std::vector<BackupEntry> backups;       // in the order the files were replaced
  std::vector<std::wstring> removedFiles; // listed by the manifest, never acted on
  bool journalWritten = false;            // this run's journal is on disk (see journal.h)
};

}  // namespace zr
