// The update engine's files on real Windows: every path goes through the "\\?\" form, so
// names up to 32,767 characters work, the ".bak" and ".tmp" names included; read-only files
// are replaced and deleted like any other. Used by CWin32Platform and by the Windows tests.
#pragma once

#include <memory>

#include "update/file_system.h"

namespace zr {

class CWin32FileSystem : public IFileSystem {
 public:
  // ReadPieces reads this much at a time.
  static constexpr uint32_t kReadPieceBytes = 1 << 20;

  PathKind Inspect(const std::wstring& path) override;
  // GetFileAttributesExW: the size and the last write time.
  bool Identify(const std::wstring& path, FileIdentity& identity) override;
  // MoveFileExW with flags 11 (replace, copy across volumes, write through). A read-only
  // destination, which Windows refuses to replace, loses that attribute first.
  bool MoveReplace(const std::wstring& from, const std::wstring& to) override;
  bool RemoveFile(const std::wstring& path) override;
  bool CreateDirectoryChain(const std::wstring& path) override;
  bool RemoveEmptyDirectory(const std::wstring& path) override;
  bool ReadExistingFile(const std::wstring& path, std::string& bytes) override;
  bool ReadPieces(const std::wstring& path, const std::function<void(const char*, size_t)>& piece) override;
  bool WriteDurably(const std::wstring& path, const std::string& bytes, bool append) override;
  bool DeleteDirectoryTree(const std::wstring& directory) override;
  std::wstring ModuleDirectory() override;
  // GetFullPathNameW, then GetLongPathNameW for names that may be short ones (they hold "~").
  std::wstring FullPath(const std::wstring& path) override;
  // CompareStringOrdinal, ignoring case.
  int ComparePaths(const std::wstring& a, const std::wstring& b) override;
  // GetLastError of the call that failed, kept since (the worker thread's calls).
  uint32_t LastError() override { return m_lastError; }

 private:
  // Keep the error and return false.
  bool Failed(uint32_t error);
  bool Failed();  // GetLastError()

  uint32_t m_lastError = 0;
  // ReadPieces' buffer, made at its first call and kept: a fresh megabyte for every file cost
  // more than reading the file (under Wine, each is mapped and unmapped anew).
  std::unique_ptr<char[]> m_pieceBuffer;
};

}  // namespace zr
