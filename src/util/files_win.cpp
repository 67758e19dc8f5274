#include "util/files.h"

#include <windows.h>

#include <exception>

#include "util/handle_win.h"
#include "util/paths.h"

namespace zr {
namespace {

constexpr std::wstring_view kExtendedPrefix = L"\\\\?\\";
constexpr std::wstring_view kExtendedUncPrefix = L"\\\\?\\UNC\\";

bool StartsWith(const std::wstring& text, std::wstring_view prefix) {
  return text.compare(0, prefix.size(), prefix) == 0;
}

// A failure whose reason GetLastError() gives.
bool FailWith(DWORD error) {
  SetLastError(error);
  return false;
}

// Length of the root of an extended path that no directory creation may touch:
// "\\?\C:\" or "\\?\UNC\server\share\".
size_t ExtendedRootLength(const std::wstring& path) {
  size_t i = kExtendedPrefix.size();
  int parts = 1;  // the drive
  if (StartsWith(path, kExtendedUncPrefix)) {
    i = kExtendedUncPrefix.size();
    parts = 2;  // server and share
  }
  for (; parts > 0 && i < path.size(); ++i) {
    if (path[i] == L'\\') --parts;
  }
  return i;
}

}  // namespace

std::wstring WithoutExtendedPrefix(const std::wstring& path) {
  if (StartsWith(path, kExtendedUncPrefix)) return L"\\\\" + path.substr(kExtendedUncPrefix.size());
  if (StartsWith(path, kExtendedPrefix)) return path.substr(kExtendedPrefix.size());
  return path;
}

std::wstring GetModuleDirectory() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0) return {};
    if (length < path.size()) {
      path.resize(length);
      break;
    }
    path.resize(path.size() * 2);  // cut short: read again with room for all of it
  }
  const size_t slash = path.find_last_of(L"\\/");
  path.resize(slash == std::wstring::npos ? 0 : slash);
  return path;
}

std::string_view ProgramResource(int id, const wchar_t* type) {
  HMODULE module = GetModuleHandleW(nullptr);
  HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(id), type);
  const DWORD size = found != nullptr ? SizeofResource(module, found) : 0;
  HGLOBAL loaded = size != 0 ? LoadResource(module, found) : nullptr;
  const void* bytes = loaded != nullptr ? LockResource(loaded) : nullptr;
  return bytes != nullptr ? std::string_view(static_cast<const char*>(bytes), size) : std::string_view();
}

std::wstring FullPathName(const std::wstring& path) {
  if (path.empty()) return {};
  std::wstring full(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = GetFullPathNameW(path.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
    if (length == 0) return {};
    if (length < full.size()) {
      full.resize(length);
      return full;
    }
    full.resize(length);  // the size it needs, terminating zero included
  }
}

std::wstring ExtendedPath(const std::wstring& path) {
  if (StartsWith(path, kExtendedPrefix) || StartsWith(path, L"\\\\.\\")) return path;
  const std::wstring full = FullPathName(path);
  if (full.empty()) return full;
  if (StartsWith(full, L"\\\\")) return std::wstring(kExtendedUncPrefix) + full.substr(2);
  return std::wstring(kExtendedPrefix) + full;
}

bool CreateDirectoryChain(const wchar_t* path) {
  if (path == nullptr || path[0] == L'\0') return false;
  // Only what lies before the last separator is a directory.
  std::wstring directories = path;
  const size_t last = directories.find_last_of(L"\\/");
  if (last == std::wstring::npos) return true;
  directories.resize(last + 1);
  const std::wstring full = ExtendedPath(directories);
  if (full.empty()) return false;
  // The full form of a directory path keeps its last separator, so every directory of the
  // chain ends at one.
  for (size_t i = ExtendedRootLength(full); i < full.size(); ++i) {
    if (!IsPathSeparator(full[i])) continue;
    const std::wstring prefix = full.substr(0, i);
    if (GetFileAttributesW(prefix.c_str()) != INVALID_FILE_ATTRIBUTES) continue;
    if (!CreateDirectoryW(prefix.c_str(), nullptr)) return false;
  }
  return true;
}

std::string ReadWholeFile(const wchar_t* path) {
  std::string content;
  if (!ReadExistingFile(path, content)) return {};
  return content;
}

bool ReadExistingFile(const wchar_t* path, std::string& content) {
  content.clear();
  if (path == nullptr || path[0] == L'\0') return false;
  CKernelHandle file(CreateFileW(ExtendedPath(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                 FILE_FLAG_SEQUENTIAL_SCAN | FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return false;
  // Devices and pipes could block or never end: only files on a disk are read.
  if (GetFileType(file.get()) != FILE_TYPE_DISK) return FailWith(ERROR_BAD_FILE_TYPE);
  LARGE_INTEGER size = {};
  if (!GetFileSizeEx(file.get(), &size)) return false;
  if (size.QuadPart < 0 || static_cast<unsigned long long>(size.QuadPart) > kMaxReadBytes) {
    return FailWith(ERROR_FILE_TOO_LARGE);
  }
  try {
    content.resize(static_cast<size_t>(size.QuadPart));
  } catch (const std::exception&) {
    return FailWith(ERROR_NOT_ENOUGH_MEMORY);
  }
  size_t done = 0;
  while (done < content.size()) {
    DWORD read = 0;
    if (!ReadFile(file.get(), content.data() + done, static_cast<DWORD>(content.size() - done), &read, nullptr)) {
      content.clear();
      return false;
    }
    if (read == 0) break;  // the file got shorter meanwhile
    done += read;
  }
  content.resize(done);
  return true;
}

bool RemoveFileForce(const std::wstring& path) {
  const std::wstring full = ExtendedPath(path);
  if (full.empty()) return false;
  if (DeleteFileW(full.c_str())) return true;
  DWORD error = GetLastError();
  const DWORD attributes = GetFileAttributesW(full.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    if (GetLastError() == ERROR_FILE_NOT_FOUND || GetLastError() == ERROR_PATH_NOT_FOUND) return true;
  } else if (!(attributes & FILE_ATTRIBUTE_DIRECTORY) && (attributes & FILE_ATTRIBUTE_READONLY)) {
    SetFileAttributesW(full.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
    if (DeleteFileW(full.c_str())) return true;
    error = GetLastError();
    SetFileAttributesW(full.c_str(), attributes);  // still held: it stays as it was
  }
  return FailWith(error);
}

bool DeleteDirectoryTree(const std::wstring& directory) {
  const std::wstring full = ExtendedPath(directory);
  if (full.empty()) return false;
  std::wstring root = full;
  while (root.size() > 1 && IsPathSeparator(root.back()) && root[root.size() - 2] != L':') root.pop_back();
  const DWORD attributes = GetFileAttributesW(root.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return false;
  // A link is removed as a link; what it leads to is someone else's.
  const bool link = (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
  if (directory.size() >= 4 && !link) {
    WIN32_FIND_DATAW entry = {};
    CFindHandle listing(FindFirstFileW((root + L"\\*").c_str(), &entry));
    if (!listing) return false;
    do {
      const std::wstring name = entry.cFileName;
      const std::wstring child = root + L"\\" + name;
      if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        if (name == L"." || name == L"..") continue;
        // A junction or directory symbolic link leads outside the tree: remove the link
        // itself and never look inside it.
        if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) DeleteDirectoryTree(child);
        RemoveDirectoryW(child.c_str());
      } else if (!(entry.dwFileAttributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM))) {
        RemoveFileForce(child);
      }
    } while (FindNextFileW(listing.get(), &entry));
  }
  return RemoveDirectoryW(root.c_str()) != FALSE;
}

}  // namespace zr
