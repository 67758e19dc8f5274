#include "app/instance_lock_win.h"

#include "update/file_set.h"
#include "util/files.h"

namespace zr {

CInstallationLock::CInstallationLock(const std::wstring& directory)
    : m_path(ExtendedPath(directory + L"\\" + kLockFileName)) {}

// Share mode 0 with data access: every other open for reading, writing or deleting fails with
// a sharing violation, in this process and in any other, until the handle is closed.
CInstallationLock::Attempt CInstallationLock::TryTake() {
  if (m_path.empty()) return Attempt::kRefused;
  m_file.Reset(CreateFileW(m_path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                           nullptr));
  if (m_file) return Attempt::kTaken;
  const DWORD error = GetLastError();
  if (error != ERROR_ACCESS_DENIED && error != ERROR_WRITE_PROTECT) return Attempt::kRefused;
  // Not ours to write: an existing lock file is held for reading, just as exclusively.
  m_file.Reset(CreateFileW(m_path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (m_file) return Attempt::kTaken;
  return GetLastError() == ERROR_FILE_NOT_FOUND ? Attempt::kNoRights : Attempt::kRefused;
}

bool CInstallationLock::Acquire(DWORD milliseconds) {
  const ULONGLONG deadline = GetTickCount64() + milliseconds;
  for (;;) {
    const Attempt attempt = TryTake();
    if (attempt != Attempt::kRefused) return true;
    const ULONGLONG now = GetTickCount64();
    if (now >= deadline) return false;
    Sleep(static_cast<DWORD>(deadline - now < kRetryMs ? deadline - now : kRetryMs));
  }
}

}  // namespace zr
