#include "update/recorded_file_system.h"

#include <exception>

namespace zr {

bool CRecordedFileSystem::Recorded(bool done, const char* what, const std::wstring& path, const std::wstring& other) {
  if (done) return true;
  m_lastError = m_files.LastError();  // before anything else can ask the disk
  try {
    std::string line = std::string("failed: ") + what + " " + RecordPath(path);
    if (!other.empty()) line += " -> " + RecordPath(other);
    m_record.Record(line + ": " + RecordError(m_lastError));
  } catch (const std::exception&) {
    // Out of memory for the line: the record goes without it.
  }
  return false;
}

bool CRecordedFileSystem::MoveReplace(const std::wstring& from, const std::wstring& to) {
  return Recorded(m_files.MoveReplace(from, to), "move", from, to);
}

bool CRecordedFileSystem::RemoveFile(const std::wstring& path) {
  return Recorded(m_files.RemoveFile(path), "delete", path);
}

bool CRecordedFileSystem::CreateDirectoryChain(const std::wstring& path) {
  return Recorded(m_files.CreateDirectoryChain(path), "create the folders of", path);
}

bool CRecordedFileSystem::RemoveEmptyDirectory(const std::wstring& path) {
  return Recorded(m_files.RemoveEmptyDirectory(path), "remove the folder", path);
}

bool CRecordedFileSystem::ReadExistingFile(const std::wstring& path, std::string& bytes) {
  return Recorded(m_files.ReadExistingFile(path, bytes), "read", path);
}

std::unique_ptr<IHeldFile> CRecordedFileSystem::Hold(const std::wstring& path) {
  std::unique_ptr<IHeldFile> held = m_files.Hold(path);
  Recorded(held != nullptr, "hold", path);
  return held;
}

bool CRecordedFileSystem::ReadHeld(IHeldFile& file, const std::function<void(const char*, size_t)>& piece) {
  return Recorded(m_files.ReadHeld(file, piece), "read", file.Path());
}

bool CRecordedFileSystem::CopyHeld(IHeldFile& file, const std::wstring& copy) {
  return Recorded(m_files.CopyHeld(file, copy), "copy", file.Path(), copy);
}

bool CRecordedFileSystem::PlaceHeld(IHeldFile& file, const std::wstring& target) {
  return Recorded(m_files.PlaceHeld(file, target), "move", file.Path(), target);
}

bool CRecordedFileSystem::WriteDurably(const std::wstring& path, const std::string& bytes, bool append) {
  return Recorded(m_files.WriteDurably(path, bytes, append), append ? "append to" : "write", path);
}

bool CRecordedFileSystem::DeleteDirectoryTree(const std::wstring& directory) {
  return Recorded(m_files.DeleteDirectoryTree(directory), "delete the folder tree", directory);
}

}  // namespace zr
