#include "update/recorded_file_system.h"

#include <exception>

namespace zr {

void CRecordedFileSystem::Failed(const char* what, const std::wstring& path, const std::wstring& other) {
  m_lastError = m_files.LastError();  // before anything else can ask the disk
  try {
    std::string line = std::string("failed: ") + what + " " + RecordPath(path);
    if (!other.empty()) line += " -> " + RecordPath(other);
    m_record.Record(line + ": " + RecordError(m_lastError));
  } catch (const std::exception&) {
    // Out of memory for the line: the record goes without it.
  }
}

bool CRecordedFileSystem::MoveReplace(const std::wstring& from, const std::wstring& to) {
  if (m_files.MoveReplace(from, to)) return true;
  Failed("move", from, to);
  return false;
}

bool CRecordedFileSystem::RemoveFile(const std::wstring& path) {
  if (m_files.RemoveFile(path)) return true;
  Failed("delete", path);
  return false;
}

bool CRecordedFileSystem::CreateDirectoryChain(const std::wstring& path) {
  if (m_files.CreateDirectoryChain(path)) return true;
  Failed("create the folders of", path);
  return false;
}

bool CRecordedFileSystem::RemoveEmptyDirectory(const std::wstring& path) {
  if (m_files.RemoveEmptyDirectory(path)) return true;
  Failed("remove the folder", path);
  return false;
}

bool CRecordedFileSystem::ReadExistingFile(const std::wstring& path, std::string& bytes) {
  if (m_files.ReadExistingFile(path, bytes)) return true;
  Failed("read", path);
  return false;
}

std::unique_ptr<IHeldFile> CRecordedFileSystem::Hold(const std::wstring& path) {
  std::unique_ptr<IHeldFile> held = m_files.Hold(path);
  if (!held) Failed("hold", path);
  return held;
}

bool CRecordedFileSystem::ReadHeld(IHeldFile& file, const std::function<void(const char*, size_t)>& piece) {
  if (m_files.ReadHeld(file, piece)) return true;
  Failed("read", file.Path());
  return false;
}

bool CRecordedFileSystem::CopyHeld(IHeldFile& file, const std::wstring& copy) {
  if (m_files.CopyHeld(file, copy)) return true;
  Failed("copy", file.Path(), copy);
  return false;
}

bool CRecordedFileSystem::PlaceHeld(IHeldFile& file, const std::wstring& target) {
  if (m_files.PlaceHeld(file, target)) return true;
  Failed("move", file.Path(), target);
  return false;
}

bool CRecordedFileSystem::WriteDurably(const std::wstring& path, const std::string& bytes, bool append) {
  if (m_files.WriteDurably(path, bytes, append)) return true;
  Failed(append ? "append to" : "write", path);
  return false;
}

bool CRecordedFileSystem::DeleteDirectoryTree(const std::wstring& directory) {
  if (m_files.DeleteDirectoryTree(directory)) return true;
  Failed("delete the folder tree", directory);
  return false;
}

}  // namespace zr
