// One updater per installation: the file "zrUpdater.lock" in the updater's directory, held open
// without sharing from start-up to the end of the process. Whichever spelling leads to the
// directory (another drive letter, a network path, a junction, letter case), it is one file,
// and while one process holds it nobody else can open it. A process that ends any way, a
// kill included, gives it up. The file stays behind, empty; nobody deletes it.
#pragma once

#include <windows.h>

#include <string>

#include "util/handle_win.h"

namespace zr {

// How long a new updater waits for an earlier one of the same installation to end; past it
// the new one tells the user and ends without touching anything. Generous: an earlier updater
// told to quit finishes moving files, and rolls back a failed replacement, before it ends.
inline constexpr DWORD kEarlierUpdaterWaitMs = 60000;

class CInstallationLock {
 public:
  // The lock of the installation whose updater lies in `directory`.
  explicit CInstallationLock(const std::wstring& directory);

  // Takes the lock, trying again every kRetryMs for up to `milliseconds` while anybody else
  // holds it or it cannot be opened. False when the time ran out. True also, without a
  // lock, when there is no lock file and none may be created (no write rights to the
  // directory): such a run cannot write its journal either and fails before anything moves.
  bool Acquire(DWORD milliseconds);

  // True while this object holds the lock file open.
  bool Held() const { return static_cast<bool>(m_file); }

  static constexpr DWORD kRetryMs = 100;

 private:
  // One try: true when the lock is taken, or when there is no lock file and none may be made.
  bool TryTake();

  std::wstring m_path;  // "\\?\" form: the directory may lie past the old length limit
  CKernelHandle m_file;
};

}  // namespace zr
