#include "update/file_set.h"

namespace zr {

CInstallationPaths::CInstallationPaths(IFileSystem& files)
    : m_files(files), m_directory(files.FullPath(files.ModuleDirectory())), m_kinds(PathOrder{&files}) {
  while (!m_directory.empty() && m_directory.back() == L'\\') m_directory.pop_back();
  m_updateCache = m_directory + L"\\cache\\update";
}

bool CInstallationPaths::IsOwnFile(const std::wstring& full) const {
  for (const wchar_t* name : kOwnFileNames) {
    if (m_files.ComparePaths(full, m_directory + L"\\" + name) == 0) return true;
  }
  return false;
}

PathKind CInstallationPaths::DirectoryKind(const std::wstring& full) {
  auto known = m_kinds.find(full);
  if (known == m_kinds.end()) known = m_kinds.emplace(full, m_files.Inspect(full)).first;
  return known->second;
}

bool CInstallationPaths::IsBelow(const std::wstring& full, const std::wstring& directory) const {
  return !directory.empty() && full.size() > directory.size() + 1 && full[directory.size()] == L'\\' &&
         m_files.ComparePaths(full.substr(0, directory.size()), directory) == 0;
}

}  // namespace zr
