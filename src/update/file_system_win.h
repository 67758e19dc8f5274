// The update engine's files on real Windows: every path goes through the "\\?\" form, so
// names up to 32,767 characters work, the ".bak", ".tmp" and ".new" names included. Used by
// CWin32Platform and by the Windows tests.
#pragma once

#include <map>
#include <memory>
#include <vector>

#include "update/file_system.h"

namespace zr {

// The access list (an ACL's bytes) a file made in a folder with access list `folderAcl` (an
// ACL) gets: the folder's ACEs that files inherit, in their order, marked as inherited and
// handed down no further. Empty where a rule of the system's own would apply (the system then
// works the list out itself): an ACE of a kind other than plain allow and deny, generic rights
// (mapped to a file's own), a "creator" SID (replaced by the file's owner), or nothing
// inherited at all (the creator's default list then).
std::vector<unsigned char> InheritedFileAcl(const void* folderAcl);

class CWin32FileSystem : public IFileSystem {
 public:
  // Held files are read and copied this much at a time.
  static constexpr uint32_t kReadPieceBytes = 1 << 20;

  PathKind Inspect(const std::wstring& path) override;
  bool Identify(const std::wstring& path, FileIdentity& identity) override;
  // A read-only destination, which Windows refuses to replace, loses that attribute first.
  bool MoveReplace(const std::wstring& from, const std::wstring& to) override;
  bool RemoveFile(const std::wstring& path) override;
  bool CreateDirectoryChain(const std::wstring& path) override;
  bool RemoveEmptyDirectory(const std::wstring& path) override;
  bool ReadExistingFile(const std::wstring& path, std::string& bytes) override;
  // A file the updater may read but not rename or re-permission is held for reading alone, and
  // copied into place.
  std::unique_ptr<IHeldFile> Hold(const std::wstring& path) override;
  bool ReadHeld(IHeldFile& file, const std::function<void(const char*, size_t)>& piece) override;
  // The volumes are told apart by their names (GetVolumeNameForVolumeMountPointW), or, where a
  // volume has none (a network share, a drive Wine maps to a folder), by their mount points.
  bool MustCopy(const IHeldFile& file, const std::wstring& target) override;
  bool CopyHeld(IHeldFile& file, const std::wstring& copy) override;
  // Renamed through its handle (SetFileInformationByHandle, FileRenameInfo). A file renamed
  // into place gets the folder's inherited permissions and the updater's owner; a copy was made
  // in that folder and has them.
  bool PlaceHeld(IHeldFile& file, const std::wstring& target) override;
  bool WriteDurably(const std::wstring& path, const std::string& bytes, bool append) override;
  bool DeleteDirectoryTree(const std::wstring& directory) override;
  std::wstring ModuleDirectory() override;
  std::wstring FullPath(const std::wstring& path) override;
  int ComparePaths(const std::wstring& a, const std::wstring& b) override;
  uint32_t LastError() override { return m_lastError; }

 private:
  // Keep the error and return false.
  bool Failed(uint32_t error) {
    m_lastError = error;
    return false;
  }
  bool Failed();  // GetLastError()

  // The buffer that held files are read and copied through, made at its first use and kept: a
  // fresh megabyte for every file cost more than reading the file (under Wine, each is mapped
  // and unmapped anew).
  char* PieceBuffer();
  // The volume a path lies on, looked up once per folder.
  const std::wstring& VolumeOf(const std::wstring& path);
  // The owner a file put in place gets: the process's default owner (an elevated
  // administrator's is the Administrators group). Empty when it cannot be read.
  const std::vector<unsigned char>& OwnerSid();
  // Gives a file renamed into `target` the permissions its folder hands down to files, and the
  // updater's owner. An error code, ERROR_SUCCESS when done.
  uint32_t TakeFolderPermissions(void* file, const std::wstring& target);
  // The access list a file in `folder` inherits, worked out once per folder; nullptr where the
  // system must work it out (see InheritedFileAcl).
  const std::vector<unsigned char>* InheritedAclOf(const std::wstring& folder);

  uint32_t m_lastError = 0;
  std::unique_ptr<char[]> m_pieceBuffer;
  std::map<std::wstring, std::wstring> m_volumes;
  std::vector<unsigned char> m_owner;
  bool m_ownerRead = false;
  std::map<std::wstring, std::vector<unsigned char>> m_inheritedAcls;  // by folder; empty: none worked out
};

}  // namespace zr
