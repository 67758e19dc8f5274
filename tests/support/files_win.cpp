#include "support/files_win.h"

#include <windows.h>

#include "util/handle_win.h"

namespace zr::test {

std::wstring LongPath(const std::wstring& path) {
  if (path.size() < 200 || path.compare(0, 4, L"\\\\?\\") == 0 || path[1] != L':') return path;
  return L"\\\\?\\" + path;
}

void MakeDirectories(const std::wstring& directory) {
  for (size_t i = 3; i <= directory.size(); ++i) {
    if (i == directory.size() || directory[i] == L'\\') CreateDirectoryW(LongPath(directory.substr(0, i)).c_str(), nullptr);
  }
}

bool WriteFileBytes(const std::wstring& path, const std::string& bytes) {
  CKernelHandle file(CreateFileW(LongPath(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                 FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return false;
  DWORD written = 0;
  return WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
         written == bytes.size();
}

std::string ReadFileBytes(const std::wstring& path, bool* exists) {
  CKernelHandle file(CreateFileW(LongPath(path).c_str(), GENERIC_READ,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                 OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (exists != nullptr) *exists = static_cast<bool>(file);
  std::string content;
  if (!file) return content;
  char buffer[65536];
  DWORD read = 0;
  while (ReadFile(file.get(), buffer, sizeof buffer, &read, nullptr) && read > 0) content.append(buffer, read);
  return content;
}

bool FileExists(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(LongPath(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool DirectoryExists(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(LongPath(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::wstring ThroughAnotherDrive(const std::wstring& path) {
  wchar_t prefix[MAX_PATH] = {};
  const DWORD length = GetEnvironmentVariableW(L"WINEPREFIX", prefix, MAX_PATH);
  if (length == 0 || length >= MAX_PATH || prefix[0] != L'/') return {};
  if (path.size() < 3 || (path[0] != L'C' && path[0] != L'c') || path.compare(1, 2, L":\\") != 0) return {};
  std::wstring other = L"Z:" + std::wstring(prefix) + L"/drive_c" + path.substr(2);
  for (wchar_t& c : other) c = c == L'/' ? L'\\' : c;
  return GetFileAttributesW(LongPath(other).c_str()) == INVALID_FILE_ATTRIBUTES ? std::wstring() : other;
}

}  // namespace zr::test
