#include "support/temp_dir.h"

#include <windows.h>

#include <atomic>

#include "support/files_win.h"
#include "util/handle_win.h"

namespace zr::test {
namespace {

std::atomic<unsigned> g_counter{0};

// Removes the directory and what it holds. A link inside (a reparse point: junction or
// symbolic link) is removed as a link and never entered.
void RemoveTree(const std::wstring& directory) {
  WIN32_FIND_DATAW entry = {};
  CFindHandle listing(FindFirstFileW(LongPath(directory + L"\\*").c_str(), &entry));
  if (listing) {
    do {
      const std::wstring name = entry.cFileName;
      if (name == L"." || name == L"..") continue;
      const std::wstring child = directory + L"\\" + name;
      if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) RemoveTree(child);
        RemoveDirectoryW(LongPath(child).c_str());
      } else {
        SetFileAttributesW(LongPath(child).c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileW(LongPath(child).c_str());
      }
    } while (FindNextFileW(listing.get(), &entry));
  }
  RemoveDirectoryW(LongPath(directory).c_str());
}

}  // namespace

TempDir::TempDir() {
  wchar_t base[MAX_PATH] = {};
  GetTempPathW(MAX_PATH, base);
  for (int attempt = 0; attempt < 100 && m_path.empty(); ++attempt) {
    const std::wstring candidate = std::wstring(base) + L"zrtest-" + std::to_wstring(GetCurrentProcessId()) +
                                   L"-" + std::to_wstring(g_counter++);
    if (CreateDirectoryW(candidate.c_str(), nullptr)) m_path = candidate;
  }
}

TempDir::~TempDir() {
  if (!m_path.empty()) RemoveTree(m_path);
}

std::wstring TempDir::operator/(const std::wstring& name) const { return m_path + L"\\" + name; }

}  // namespace zr::test
