// The engine's files: patient with a moment's lock, and every failure written to the run's record.
//
// A virus scanner or an indexer opens a file just written for a second or two; a move, copy,
// hold, read, write or deletion that fails because another program holds the file (errors 5, 32
// and 33) is tried again after growing pauses (0.1, 0.2, 0.4, 0.8, then 1 s: 4.5 s in all) before
// it counts as failed. Meanwhile the status line names the file waited for ("pro_file_in_use_s"),
// and the record notes the wait and how it ended. A run waits kRunWaitMs at most in all, so that
// thousands of files held for good do not add hours; a process that is ending does not wait at
// all.
//
// Every call that still fails and changes, or reads, the disk is then recorded with its paths and
// Windows error ("failed: move "C:\...\a.dll" -> "C:\...\a.dll.bak": error 32 (held by another
// program)"), so the record sees only what failed after waiting. Portable; the worker thread.
#pragma once

#include <cstdint>

#include "update/file_system.h"

namespace zr {

class IUpdatePlatform;

class CPatientFileSystem : public IFileSystem {
 public:
  static constexpr uint32_t kPausesMs[] = {100, 200, 400, 800, 1000, 1000, 1000};
  static constexpr uint32_t kRunWaitMs = 30000;

  // `platform` gives the pauses (Sleep), the status line, the texts and the record.
  CPatientFileSystem(IFileSystem& files, IUpdatePlatform& platform) : m_files(files), m_platform(platform) {}
  CPatientFileSystem(const CPatientFileSystem&) = delete;
  CPatientFileSystem& operator=(const CPatientFileSystem&) = delete;

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
  // Runs `call` until it succeeds, fails for another reason, or the waiting is over; `path`
  // names the file waited for.
  template <typename Call>
  bool Patiently(const std::wstring& path, Call call);
  // The result of a call made once; its error is kept.
  bool Pass(bool done) {
    if (!done) m_lastError = m_files.LastError();
    return done;
  }
  // `done`, and when it is false the failure just kept goes to the record: "failed: <what> <path>
  // [-> <other>]: error N".
  bool Recorded(bool done, const char* what, const std::wstring& path, const std::wstring& other = {});

  IFileSystem& m_files;
  IUpdatePlatform& m_platform;
  uint32_t m_waitedMs = 0;
  uint32_t m_lastError = 0;
};

}  // namespace zr
