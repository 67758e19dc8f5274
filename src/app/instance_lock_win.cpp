#include "app/instance_lock_win.h"

#include "update/file_set.h"
#include "util/files.h"

namespace zr {

CInstallationLock::CInstallationLock(const std::wstring& directory)
    : m_path(ExtendedPath(directory + L"\\" + kLockFileName)) {}

// Share mode 0 with data access: every other open for reading, writing or deleting fails with
// a sharing violation, in this process and in any other, until the handle is closed.
bool CInstallationLock::TryTake() {
  if (m_path.empty()) return false;
  m_file.Reset(CreateFileW(m_path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                           nullptr));
  if (m_file) return true;
  const DWORD error = GetLastError();
  if (error != ERROR_ACCESS_DENIED && error != ERROR_WRITE_PROTECT) return false;
  // Not ours to write: an existing lock file is held for reading, just as exclusively.
  m_file.Reset(CreateFileW(m_path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  return m_file || GetLastError() == ERROR_FILE_NOT_FOUND;
}

bool CInstallationLock::Acquire(DWORD milliseconds) {
  const ULONGLONG deadline = GetTickCount64() + milliseconds;
  while (!TryTake()) {
    const ULONGLONG now = GetTickCount64();
    if (now >= deadline) return false;
    Sleep(static_cast<DWORD>(deadline - now < kRetryMs ? deadline - now : kRetryMs));
  }
  return true;
}

}  // namespace zr
