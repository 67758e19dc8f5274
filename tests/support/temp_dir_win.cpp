#include "support/temp_dir_win.h"

#include <windows.h>

#include <atomic>
#include <fstream>
#include <sstream>

namespace zr::test {
namespace {

std::atomic<unsigned> g_counter{0};

void RemoveTree(const std::wstring& directory) {
  WIN32_FIND_DATAW entry = {};
  HANDLE listing = FindFirstFileW((directory + L"\\*").c_str(), &entry);
  if (listing != INVALID_HANDLE_VALUE) {
    do {
      const std::wstring name = entry.cFileName;
      if (name == L"." || name == L"..") continue;
      const std::wstring child = directory + L"\\" + name;
      if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) RemoveTree(child);
        RemoveDirectoryW(child.c_str());
      } else {
        SetFileAttributesW(child.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileW(child.c_str());
      }
    } while (FindNextFileW(listing, &entry));
    FindClose(listing);
  }
  RemoveDirectoryW(directory.c_str());
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

void WriteFileBytes(const std::wstring& path, const std::string& bytes) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  DWORD written = 0;
  WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  CloseHandle(file);
}

std::string ReadFileBytes(const std::wstring& path) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
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
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool DirectoryExists(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

}  // namespace zr::test
