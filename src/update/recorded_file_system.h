// The engine's view of the files: every call goes to the platform's file system, and every one
// that fails and changes, or reads, the disk is written to the run's record with its paths
// and Windows error ("failed: move "C:\...\a.dll" -> "C:\...\a.dll.bak": error 32 (held by
// another program)"). Each platform hands the engine its files through one of these
// (IUpdatePlatform::Files). The worker thread.
#pragma once

#include "update/file_system.h"
#include "update/run_record.h"

namespace zr {

class CRecordedFileSystem : public IFileSystem {
 public:
  CRecordedFileSystem(IFileSystem& files, IRunRecord& record) : m_files(files), m_record(record) {}
  CRecordedFileSystem(const CRecordedFileSystem&) = delete;
  CRecordedFileSystem& operator=(const CRecordedFileSystem&) = delete;

  PathKind Inspect(const std::wstring& path) override { return m_files.Inspect(path); }
  bool Identify(const std::wstring& path, FileIdentity& identity) override { return m_files.Identify(path, identity); }
  bool MoveReplace(const std::wstring& from, const std::wstring& to) override;
  bool RemoveFile(const std::wstring& path) override;
  bool CreateDirectoryChain(const std::wstring& path) override;
  bool RemoveEmptyDirectory(const std::wstring& path) override;
  bool ReadExistingFile(const std::wstring& path, std::string& bytes) override;
  std::unique_ptr<IHeldFile> Hold(const std::wstring& path) override;
  bool ReadHeld(IHeldFile& file, const std::function<void(const char*, size_t)>& piece) override;
  bool MustCopy(const IHeldFile& file, const std::wstring& target) override { return m_files.MustCopy(file, target); }
  bool CopyHeld(IHeldFile& file, const std::wstring& copy) override;
  bool PlaceHeld(IHeldFile& file, const std::wstring& target) override;
  bool WriteDurably(const std::wstring& path, const std::string& bytes, bool append) override;
  bool DeleteDirectoryTree(const std::wstring& directory) override;
  std::wstring ModuleDirectory() override { return m_files.ModuleDirectory(); }
  std::wstring FullPath(const std::wstring& path) override { return m_files.FullPath(path); }
  int ComparePaths(const std::wstring& a, const std::wstring& b) override { return m_files.ComparePaths(a, b); }
  uint32_t LastError() override { return m_lastError; }

 private:
  // `done`, and when it is false the failure just reported in the record: "failed: <what> <path>
  // [-> <other>]: error N".
  bool Recorded(bool done, const char* what, const std::wstring& path, const std::wstring& other = {});

  IFileSystem& m_files;
  IRunRecord& m_record;
  uint32_t m_lastError = 0;
};

}  // namespace zr
