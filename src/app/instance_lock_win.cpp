#include "app/instance_lock_win.h"

#include <cstdint>
#include <cwchar>

#include "update/file_system_win.h"

namespace zr {
namespace {

// The key Windows would compare: the full long path, in upper case as the file system's
// case-insensitive comparison folds it.
std::wstring DirectoryKey(const std::wstring& directory) {
  CWin32FileSystem files;
  std::wstring key = files.FullPath(directory);
  while (!key.empty() && key.back() == L'\\') key.pop_back();
  if (key.empty()) return key;
  std::wstring upper(key.size(), L'\0');
  const int length = LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_UPPERCASE, key.c_str(),
                                   static_cast<int>(key.size()), upper.data(), static_cast<int>(upper.size()),
                                   nullptr, nullptr, 0);
  if (length > 0) upper.resize(static_cast<size_t>(length));
  return length > 0 ? upper : key;
}

// FNV-1a over the UTF-16 units: a mutex name may hold no "\" and has a length limit.
uint64_t Hash(const std::wstring& text) {
  uint64_t hash = 1469598103934665603ull;
  for (wchar_t unit : text) {
    hash ^= static_cast<uint16_t>(unit);
    hash *= 1099511628211ull;
  }
  return hash;
}

}  // namespace

std::wstring CInstallationLock::NameFor(const std::wstring& directory) {
  wchar_t name[64] = {};
  std::swprintf(name, 64, L"Global\\zrUpdater-%016llx", static_cast<unsigned long long>(Hash(DirectoryKey(directory))));
  return name;
}

CInstallationLock::CInstallationLock(const std::wstring& directory) {
  const std::wstring name = NameFor(directory);
  m_mutex.Reset(CreateMutexW(nullptr, FALSE, name.c_str()));
  // Made by another user's updater: it can at least be waited for.
  if (!m_mutex) m_mutex.Reset(OpenMutexW(SYNCHRONIZE, FALSE, name.c_str()));
}

bool CInstallationLock::Acquire(DWORD milliseconds) {
  if (!m_mutex) return false;
  const DWORD result = WaitForSingleObject(m_mutex.get(), milliseconds);
  // Abandoned: the earlier updater was killed; its journal tells what it left.
  return result == WAIT_OBJECT_0 || result == WAIT_ABANDONED;
}

}  // namespace zr
