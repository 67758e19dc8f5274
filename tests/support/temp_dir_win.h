// A fresh directory under the system's temp folder for one test, removed with everything in
// it when the object goes away. Names are unique per process and call, so test programs can
// run at the same time. Windows tests only.
#pragma once

#include <string>

namespace zr::test {

class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::wstring& path() const { return m_path; }  // no trailing backslash
  std::wstring operator/(const std::wstring& name) const { return m_path + L"\\" + name; }

 private:
  std::wstring m_path;
};

// Small file helpers that do not use the code under test. Full paths may be of any length.
void MakeDirectories(const std::wstring& directory);  // every missing one along the path
void WriteFileBytes(const std::wstring& path, const std::string& bytes);
std::string ReadFileBytes(const std::wstring& path);  // empty when missing
bool FileExists(const std::wstring& path);
bool DirectoryExists(const std::wstring& path);

}  // namespace zr::test
