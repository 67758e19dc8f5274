#include "update/patient_file_system.h"

#include <algorithm>

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

bool CPatientFileSystem::Pass(bool done) {
  if (!done) m_lastError = m_files.LastError();
  return done;
}

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
  const uint32_t error = m_lastError;
  m_platform.Record("still held after " + Seconds(waited) +
                    (m_waitedMs >= kRunWaitMs ? " (the run's waiting is spent)" : "") +
                    ", given up: " + RecordPath(path));
  m_lastError = error;
  return false;
}

bool CPatientFileSystem::MoveReplace(const std::wstring& from, const std::wstring& to) {
  return Patiently(from, [&] { return m_files.MoveReplace(from, to); });
}

bool CPatientFileSystem::RemoveFile(const std::wstring& path) {
  return Patiently(path, [&] { return m_files.RemoveFile(path); });
}

bool CPatientFileSystem::RemoveEmptyDirectory(const std::wstring& path) {
  return Patiently(path, [&] { return m_files.RemoveEmptyDirectory(path); });
}

bool CPatientFileSystem::ReadExistingFile(const std::wstring& path, std::string& bytes) {
  return Patiently(path, [&] { return m_files.ReadExistingFile(path, bytes); });
}

std::unique_ptr<IHeldFile> CPatientFileSystem::Hold(const std::wstring& path) {
  std::unique_ptr<IHeldFile> held;
  Patiently(path, [&] { return (held = m_files.Hold(path)) != nullptr; });
  return held;
}

bool CPatientFileSystem::CopyHeld(IHeldFile& file, const std::wstring& copy) {
  return Patiently(copy, [&] { return m_files.CopyHeld(file, copy); });
}

bool CPatientFileSystem::PlaceHeld(IHeldFile& file, const std::wstring& target) {
  return Patiently(target, [&] { return m_files.PlaceHeld(file, target); });
}

bool CPatientFileSystem::WriteDurably(const std::wstring& path, const std::string& bytes, bool append) {
  return Patiently(path, [&] { return m_files.WriteDurably(path, bytes, append); });
}

}  // namespace zr
