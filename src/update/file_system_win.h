// The update engine's files on real Windows: every path goes through the "\\?\" form, so
// names up to 32,767 characters work, the ".bak" and ".tmp" names included; read-only files
// are replaced and deleted like any other. Used by CWin32Platform and by the Windows tests.
#pragma once

#include "update/file_system.h"

namespace zr {

class CWin32FileSystem : public IFileSystem {
 public:
  PathKind Inspect(const std::wstring& path) override;
  // GetFileAttributesExW: the size and the last write time.
  bool Identify(const std::wstring& path, FileIdentity& identity) override;
  // MoveFileExW with flags 11 (replace, copy across volumes, write through). A read-only
  // destination, which Windows refuses to replace, loses that attribute first.
  bool MoveReplace(const std::wstring& from, const std::wstring& to) override;
  bool RemoveFile(const std::wstring& path) override;
  bool CreateDirectoryChain(const std::wstring& path) override;
  bool RemoveEmptyDirectory(const std::wstring& path) override;
  std::string ReadWholeFile(const std::wstring& path) override;
  bool ReadExistingFile(const std::wstring& path, std::string& bytes) override;
  bool WriteDurably(const std::wstring& path, const std::string& bytes, bool append) override;
  bool DeleteDirectoryTree(const std::wstring& directory) override;
  std::wstring ModuleDirectory() override;
  // GetFullPathNameW, then GetLongPathNameW for names that may be short ones (they hold "~").
  std::wstring FullPath(const std::wstring& path) override;
  // CompareStringOrdinal, ignoring case.
  int ComparePaths(const std::wstring& a, const std::wstring& b) override;
};

}  // namespace zr
