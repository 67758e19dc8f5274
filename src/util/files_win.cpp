#include "util/files.h"

#include <windows.h>
#include <shlwapi.h>

#include <memory>

namespace zr {
namespace {

constexpr DWORD kPathBuffer = 260;

struct HandleCloser {
  void operator()(HANDLE handle) const { CloseHandle(handle); }
};
using FileHandle = std::unique_ptr<void, HandleCloser>;

struct FindCloser {
  void operator()(HANDLE handle) const { FindClose(handle); }
};
using FindHandle = std::unique_ptr<void, FindCloser>;

}  // namespace

std::wstring GetModuleDirectory() {
  wchar_t path[kPathBuffer] = {};
  GetModuleFileNameW(nullptr, path, kPathBuffer);
  PathRemoveFileSpecW(path);
  return path;
}

bool CreateDirectoryChain(const wchar_t* path) {
  if (path == nullptr || path[0] == L'\0') return false;
  const std::wstring full = path;
  for (size_t i = 0; i < full.size(); ++i) {
    if (full[i] != L'\\' && full[i] != L'/') continue;
    const std::wstring prefix = full.substr(0, i);
    if (PathFileExistsW(prefix.c_str())) continue;
    if (!CreateDirectoryW(prefix.c_str(), nullptr)) return false;
  }
  return true;
}

std::string ReadWholeFile(const wchar_t* path) {
  if (path == nullptr) return {};
  FileHandle file(CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_FLAG_SEQUENTIAL_SCAN | FILE_ATTRIBUTE_NORMAL, nullptr));
  if (file.get() == INVALID_HANDLE_VALUE) {
    file.release();
    return {};
  }
  const DWORD size = GetFileSize(file.get(), nullptr);
  if (size == INVALID_FILE_SIZE) return {};
  std::string content;
  try {
    content.resize(size);
  } catch (const std::bad_alloc&) {
    return {};
  }
  DWORD read = 0;
  if (size != 0 && !ReadFile(file.get(), content.data(), size, &read, nullptr)) return {};
  content.resize(read);
  return content;
}

bool DeleteDirectoryTree(const std::wstring& directory) {
  if (directory.size() >= 4) {
    WIN32_FIND_DATAW entry = {};
    FindHandle listing(FindFirstFileW((directory + L"\\*").c_str(), &entry));
    if (listing.get() == INVALID_HANDLE_VALUE) {
      listing.release();
      return false;
    }
    do {
      const std::wstring name = entry.cFileName;
      const std::wstring child = directory + L"\\" + name;
      const DWORD attributes = entry.dwFileAttributes;
      if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
        if (name == L"." || name == L"..") continue;
        // A junction or directory symbolic link leads outside the tree: remove the link
        // itself and never look inside it.
        if (!(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) DeleteDirectoryTree(child);
        RemoveDirectoryW(child.c_str());
      } else if (!(attributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM))) {
        DeleteFileW(child.c_str());
      }
    } while (FindNextFileW(listing.get(), &entry));
  }
  if (!PathFileExistsW(directory.c_str())) return false;
  return RemoveDirectoryW(directory.c_str()) != FALSE;
}

}  // namespace zr
