#include "update/file_system_win.h"

#include <windows.h>

#include <memory>

#include "util/files.h"
#include "util/handle_win.h"

namespace zr {
namespace {

constexpr DWORD kMoveFlags = MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED | MOVEFILE_WRITE_THROUGH;
constexpr wchar_t kExtendedPrefix[] = L"\\\\?\\";
constexpr wchar_t kExtendedUncPrefix[] = L"\\\\?\\UNC\\";

// The ordinary form of an extended path, as the engine's paths are written.
std::wstring WithoutExtendedPrefix(const std::wstring& path) {
  const std::wstring unc = kExtendedUncPrefix;
  if (path.compare(0, unc.size(), unc) == 0) return L"\\\\" + path.substr(unc.size());
  const std::wstring plain = kExtendedPrefix;
  if (path.compare(0, plain.size(), plain) == 0) return path.substr(plain.size());
  return path;
}

// GetLongPathNameW of one path; empty when it fails. Below the old length limit the plain
// form is asked for (Wine spells out short names only there), past it the "\\?\" form.
std::wstring LongPathName(const std::wstring& path) {
  const std::wstring asked = path.size() < MAX_PATH ? path : ExtendedPath(path);
  std::wstring buffer(asked.size() + MAX_PATH, L'\0');
  DWORD length = GetLongPathNameW(asked.c_str(), buffer.data(), static_cast<DWORD>(buffer.size()));
  if (length >= buffer.size()) {
    buffer.resize(length);
    length = GetLongPathNameW(asked.c_str(), buffer.data(), static_cast<DWORD>(buffer.size()));
  }
  if (length == 0 || length >= buffer.size()) return {};
  buffer.resize(length);
  return WithoutExtendedPrefix(buffer);
}

// The long form of a full path whose existing part may hold short names: the longest
// existing prefix is spelt out, the rest (not there yet) kept as written.
std::wstring LongForm(const std::wstring& full) {
  std::wstring head = full;
  std::wstring tail;
  for (;;) {
    const std::wstring spelt = LongPathName(head);
    if (!spelt.empty()) return spelt + tail;
    const size_t slash = head.find_last_of(L'\\');
    // Up to the root nothing exists: there is no long form to give.
    if (slash == std::wstring::npos || slash < 3 || head[slash - 1] == L':') return full;
    tail = head.substr(slash) + tail;
    head.resize(slash);
  }
}

}  // namespace

PathKind CWin32FileSystem::Inspect(const std::wstring& path) {
  const std::wstring full = ExtendedPath(path);
  const DWORD attributes = full.empty() ? INVALID_FILE_ATTRIBUTES : GetFileAttributesW(full.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return PathKind::kMissing;
  if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) return PathKind::kFile;
  return (attributes & FILE_ATTRIBUTE_REPARSE_POINT) ? PathKind::kDirectoryLink : PathKind::kDirectory;
}

bool CWin32FileSystem::Identify(const std::wstring& path, FileIdentity& identity) {
  const std::wstring full = ExtendedPath(path);
  WIN32_FILE_ATTRIBUTE_DATA data = {};
  if (full.empty() || !GetFileAttributesExW(full.c_str(), GetFileExInfoStandard, &data) ||
      (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
    return false;
  }
  identity.size = (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
  identity.lastWrite = (static_cast<uint64_t>(data.ftLastWriteTime.dwHighDateTime) << 32) |
                       data.ftLastWriteTime.dwLowDateTime;
  return true;
}

bool CWin32FileSystem::MoveReplace(const std::wstring& from, const std::wstring& to) {
  const std::wstring source = ExtendedPath(from);
  const std::wstring target = ExtendedPath(to);
  if (source.empty() || target.empty()) return Failed();
  if (MoveFileExW(source.c_str(), target.c_str(), kMoveFlags)) return true;
  const DWORD error = GetLastError();  // why the move itself failed
  const DWORD attributes = GetFileAttributesW(target.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY) &&
      (attributes & FILE_ATTRIBUTE_READONLY)) {
    SetFileAttributesW(target.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
    if (MoveFileExW(source.c_str(), target.c_str(), kMoveFlags)) return true;
    SetFileAttributesW(target.c_str(), attributes);  // still refused: the destination stays as it was
  }
  return Failed(error);
}

bool CWin32FileSystem::RemoveFile(const std::wstring& path) { return RemoveFileForce(path) || Failed(); }

bool CWin32FileSystem::CreateDirectoryChain(const std::wstring& path) {
  return zr::CreateDirectoryChain(path.c_str()) || Failed();
}

bool CWin32FileSystem::RemoveEmptyDirectory(const std::wstring& path) {
  const std::wstring full = ExtendedPath(path);
  if (full.empty()) return Failed();
  if (RemoveDirectoryW(full.c_str())) return true;
  const DWORD error = GetLastError();
  return GetFileAttributesW(full.c_str()) == INVALID_FILE_ATTRIBUTES || Failed(error);
}

bool CWin32FileSystem::ReadExistingFile(const std::wstring& path, std::string& bytes) {
  return zr::ReadExistingFile(path.c_str(), bytes) || Failed();
}

bool CWin32FileSystem::ReadPieces(const std::wstring& path, const std::function<void(const char*, size_t)>& piece) {
  const std::wstring full = ExtendedPath(path);
  if (full.empty()) return Failed();
  CKernelHandle file(CreateFileW(full.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                 FILE_FLAG_SEQUENTIAL_SCAN | FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return Failed();
  if (!m_pieceBuffer) m_pieceBuffer.reset(new char[kReadPieceBytes]);
  char* const buffer = m_pieceBuffer.get();
  for (;;) {
    DWORD read = 0;
    if (!ReadFile(file.get(), buffer, kReadPieceBytes, &read, nullptr)) return Failed();
    if (read == 0) return true;
    piece(buffer, read);
  }
}

bool CWin32FileSystem::WriteDurably(const std::wstring& path, const std::string& bytes, bool append) {
  const std::wstring full = ExtendedPath(path);
  if (full.empty()) return Failed();
  CKernelHandle file(CreateFileW(full.c_str(), append ? FILE_APPEND_DATA : GENERIC_WRITE, 0, nullptr,
                                 append ? OPEN_EXISTING : CREATE_ALWAYS,
                                 FILE_ATTRIBUTE_NORMAL | FILE_FLAG_WRITE_THROUGH, nullptr));
  if (!file) return Failed();
  size_t done = 0;
  while (done < bytes.size()) {
    DWORD written = 0;
    if (!WriteFile(file.get(), bytes.data() + done, static_cast<DWORD>(bytes.size() - done), &written, nullptr)) {
      return Failed();
    }
    if (written == 0) return Failed(ERROR_WRITE_FAULT);
    done += written;
  }
  return FlushFileBuffers(file.get()) != FALSE || Failed();
}

bool CWin32FileSystem::DeleteDirectoryTree(const std::wstring& directory) {
  return zr::DeleteDirectoryTree(directory) || Failed();
}

bool CWin32FileSystem::Failed(uint32_t error) {
  m_lastError = error;
  return false;
}

bool CWin32FileSystem::Failed() { return Failed(GetLastError()); }

std::wstring CWin32FileSystem::ModuleDirectory() { return GetModuleDirectory(); }

std::wstring CWin32FileSystem::FullPath(const std::wstring& path) {
  const std::wstring full = FullPathName(path);
  if (full.find(L'~') == std::wstring::npos) return full;
  return LongForm(full);
}

int CWin32FileSystem::ComparePaths(const std::wstring& a, const std::wstring& b) {
  // CSTR_LESS_THAN, CSTR_EQUAL, CSTR_GREATER_THAN are 1, 2, 3.
  return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(), static_cast<int>(b.size()), TRUE) - 2;
}

}  // namespace zr
