// One updater per installation: a named mutex, named after the updater's directory as Windows
// tells paths apart (full, long names, letter case ignored), held from start-up to the end
// of the process. A process that ends any way, a kill included, gives it up.
#pragma once

#include <windows.h>

#include <string>

#include "util/handle_win.h"

namespace zr {

// How long a new updater waits for an earlier one of the same installation to end; past it
// the new one ends without touching anything. Generous: an earlier updater told to quit
// finishes moving files, and rolls back a failed replacement, before it ends.
inline constexpr DWORD kEarlierUpdaterWaitMs = 60000;

class CInstallationLock {
 public:
  explicit CInstallationLock(const std::wstring& directory);

  // Waits up to `milliseconds` for no other process to hold the lock, then holds it. False
  // when the time ran out or the lock cannot be had at all (one of another user's updaters).
  bool Acquire(DWORD milliseconds);

  // "Global\zrUpdater-" and a hash of the directory's upper-case full long path.
  static std::wstring NameFor(const std::wstring& directory);

 private:
  CKernelHandle m_mutex;
};

}  // namespace zr
