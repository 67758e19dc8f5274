// A fresh directory under the system's temp folder for one test, removed with everything in
// it when the object goes away. Names are unique per process and call, so test programs can
// run at the same time. The removal never descends through a link (a junction or a symbolic
// link to a directory): the link itself goes, what it leads to stays.
#pragma once

#include <string>

namespace zr::test {

class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  // Empty when no directory could be made. No trailing separator.
  const std::wstring& path() const { return m_path; }
  // A name inside the directory, joined with the system's separator.
  std::wstring operator/(const std::wstring& name) const;

 private:
  std::wstring m_path;
};

}  // namespace zr::test
