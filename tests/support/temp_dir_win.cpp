#include "support/temp_dir_win.h"

#include <windows.h>

#include <atomic>
#include <fstream>
#include <sstream>

namespace zr::test {
namespace {

std::atomic<unsigned> g_counter{0};

// Full paths of any length: past the old 260-character limit only the "\\?\" form works.
std::wstring Long(const std::wstring& path) {
  if (path.size() < 200 || path.compare(0, 4, L"\\\\?\\") == 0 || path.size() < 3 || path[1] != L':') return path;
  return L"\\\\?\\" + path;
}

void RemoveTree(const std::wstring& directory) {
  WIN32_FIND_DATAW entry = {};
  HANDLE listing = FindFirstFileW(Long(directory + L"\\*").c_str(), &entry);
  if (listing != INVALID_HANDLE_VALUE) {
    do {
      const std::wstring name = entry.cFileName;
      if (name == L"." || name == L"..") continue;
      const std::wstring child = directory + L"\\" + name;
      if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) RemoveTree(child);
        RemoveDirectoryW(Long(child).c_str());
      } else {
        SetFileAttributesW(Long(child).c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileW(Long(child).c_str());
      }
    } while (FindNextFileW(listing, &entry));
    FindClose(listing);
  }
  RemoveDirectoryW(Long(directory).c_str());
}

}  // namespace

TempDir::TempDir() {
  wchar_t base[MAX_PATH] = {};
  GetTempPathW(MAX_PATH, base);
  std::wstringstream name;
  name << base << L"zrtest-" << GetCurrentProcessId() << L"-" << GetTickCount() << L"-" << g_counter++;
  m_path = name.str();
  CreateDirectoryW(m_path.c_str(), nullptr);
}

TempDir::~TempDir() { RemoveTree(m_path); }

void MakeDirectories(const std::wstring& directory) {
  for (size_t i = 3; i <= directory.size(); ++i) {
    if (i == directory.size() || directory[i] == L'\\') CreateDirectoryW(Long(directory.substr(0, i)).c_str(), nullptr);
  }
}

void WriteFileBytes(const std::wstring& path, const std::string& bytes) {
  HANDLE file = CreateFileW(Long(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  DWORD written = 0;
  WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  CloseHandle(file);
}

std::string ReadFileBytes(const std::wstring& path) {
  HANDLE file = CreateFileW(Long(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return {};
  std::string content;
  char buffer[65536];
  DWORD read = 0;
  while (ReadFile(file, buffer, sizeof buffer, &read, nullptr) && read > 0) content.append(buffer, read);
  CloseHandle(file);
  return content;
}

bool FileExists(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(Long(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool DirectoryExists(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(Long(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

}  // namespace zr::test
