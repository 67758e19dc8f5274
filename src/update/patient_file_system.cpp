#include "update/patient_file_system.h"

#include <algorithm>
#include <exception>

#include "update/platform.h"
#include "update/progress.h"
#include "util/paths.h"

namespace zr {
namespace {

// Held by another program: a sharing or lock violation, or access denied (which a held file
// gives where a read-only one would; the engine's moves and deletions clear read-only first).
bool HeldByAnother(uint32_t error) {
  return error == kErrorSharingViolation || error == kErrorLockViolation || error == kErrorAccessDenied;
}

std::string Seconds(uint32_t milliseconds) {
  return std::to_string(milliseconds / 1000) + "." + std::to_string(milliseconds % 1000 / 100) + " s";
}

}  // namespace

template <typename Call>
bool CPatientFileSystem::Patiently(const std::wstring& path, Call call) {
  if (Pass(call())) return true;
  if (!HeldByAnother(m_lastError) || m_waitedMs >= kRunWaitMs || m_platform.ProcessEnding()) return false;
  m_platform.Record("waiting for " + RecordPath(path) + ": " + RecordError(m_lastError));
  PostStatus(m_platform, m_platform.Texts(), kFileInUseText, FileNameOfPath(path));
  uint32_t waited = 0;
  for (const uint32_t pause : kPausesMs) {
    if (m_waitedMs >= kRunWaitMs || m_platform.ProcessEnding()) break;
    const uint32_t now = std::min(pause, kRunWaitMs - m_waitedMs);
    m_platform.Sleep(now);
    waited += now;
    m_waitedMs += now;
    if (Pass(call())) {
      m_platform.Record("free again after " + Seconds(waited) + ": " + RecordPath(path));
      return true;
    }
    if (!HeldByAnother(m_lastError)) break;
  }
  m_platform.Record("still held after " + Seconds(waited) +
                    (m_waitedMs >= kRunWaitMs ? " (the run's waiting is spent)" : "") +
                    ", given up: " + RecordPath(path));
  return false;
}

bool CPatientFileSystem::Recorded(bool done, const char* what, const std::wstring& path, const std::wstring& other) {
  if (done) return true;
  try {
    std::string line = std::string("failed: ") + what + " " + RecordPath(path);
    if (!other.empty()) line += " -> " + RecordPath(other);
    m_platform.Record(line + ": " + RecordError(m_lastError));
  } catch (const std::exception&) {
    // Out of memory for the line: the record goes without it.
  }
  return false;
}

bool CPatientFileSystem::MoveReplace(const std::wstring& from, const std::wstring& to) {
  return Recorded(Patiently(from, [&] { return m_files.MoveReplace(from, to); }), "move", from, to);
}

bool CPatientFileSystem::RemoveFile(const std::wstring& path) {
  return Recorded(Patiently(path, [&] { return m_files.RemoveFile(path); }), "delete", path);
}

bool CPatientFileSystem::CreateDirectoryChain(const std::wstring& path) {
  return Recorded(Pass(m_files.CreateDirectoryChain(path)), "create the folders of", path);
}

bool CPatientFileSystem::RemoveEmptyDirectory(const std::wstring& path) {
  return Recorded(Patiently(path, [&] { return m_files.RemoveEmptyDirectory(path); }), "remove the folder", path);
}

bool CPatientFileSystem::ReadExistingFile(const std::wstring& path, std::string& bytes) {
  return Recorded(Patiently(path, [&] { return m_files.ReadExistingFile(path, bytes); }), "read", path);
}

std::unique_ptr<IHeldFile> CPatientFileSystem::Hold(const std::wstring& path) {
  std::unique_ptr<IHeldFile> held;
  Recorded(Patiently(path, [&] { return (held = m_files.Hold(path)) != nullptr; }), "hold", path);
  return held;
}

bool CPatientFileSystem::ReadHeld(IHeldFile& file, const std::function<void(const char*, size_t)>& piece) {
  return Recorded(Pass(m_files.ReadHeld(file, piece)), "read", file.Path());
}

bool CPatientFileSystem::CopyHeld(IHeldFile& file, const std::wstring& copy) {
  return Recorded(Patiently(copy, [&] { return m_files.CopyHeld(file, copy); }), "copy", file.Path(), copy);
}

bool CPatientFileSystem::PlaceHeld(IHeldFile& file, const std::wstring& target) {
  return Recorded(Patiently(target, [&] { return m_files.PlaceHeld(file, target); }), "move", file.Path(), target);
}

bool CPatientFileSystem::WriteDurably(const std::wstring& path, const std::string& bytes, bool append) {
  return Recorded(Patiently(path, [&] { return m_files.WriteDurably(path, bytes, append); }),
                  append ? "append to" : "write", path);
}

bool CPatientFileSystem::DeleteDirectoryTree(const std::wstring& directory) {
  return Recorded(Pass(m_files.DeleteDirectoryTree(directory)), "delete the folder tree", directory);
}

}  // namespace zr
