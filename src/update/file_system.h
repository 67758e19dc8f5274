// The files half of what the update engine asks of the operating system.
//
// CWin32FileSystem (file_system_win.h) does the real work on any path Windows accepts, long
// ones included; tests/support's fake keeps a table in memory and names files as Windows
// does. Paths are full wide paths. All calls come from the update worker thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace zr {

// The Windows errors the engine tells apart.
inline constexpr uint32_t kErrorAccessDenied = 5;
inline constexpr uint32_t kErrorNotSameDevice = 17;  // a rename to another volume
inline constexpr uint32_t kErrorSharingViolation = 32;
inline constexpr uint32_t kErrorLockViolation = 33;

// What a path names on disk. A directory reached through a junction or a symbolic link is
// kDirectoryLink; a link to a file counts as a file.
enum class PathKind { kMissing, kFile, kDirectory, kDirectoryLink };

// What tells one file's content from another's without reading it: its size and its last
// write time (in 100 ns units), both of which a move keeps, across volumes too.
struct FileIdentity {
  uint64_t size = 0;
  uint64_t lastWrite = 0;
  bool operator==(const FileIdentity& other) const { return size == other.size && lastWrite == other.lastWrite; }
  bool operator!=(const FileIdentity& other) const { return !(*this == other); }
};

// A staged file as the updater holds it, from its check until it is in place (IFileSystem::Hold):
// meanwhile other programs may read it but cannot write, rename, replace or delete it, so the
// bytes that were checked are the bytes that get installed. Only the file system that made it
// acts on it; the file is let go when the object goes.
class IHeldFile {
 public:
  virtual ~IHeldFile() = default;
  // Its size and last write time, as it was taken (it cannot change while held).
  virtual const FileIdentity& Identity() const = 0;
  // The path it was held by.
  virtual const std::wstring& Path() const = 0;
};

class IFileSystem {
 public:
  virtual ~IFileSystem() = default;

  virtual PathKind Inspect(const std::wstring& path) = 0;
  bool Exists(const std::wstring& path) { return Inspect(path) != PathKind::kMissing; }
  // The identity of the file at the path; false when there is no file (a directory is none).
  virtual bool Identify(const std::wstring& path, FileIdentity& identity) = 0;

  // Moves a file, replacing the destination (also a read-only one), across volumes,
  // returning once the data is on disk.
  virtual bool MoveReplace(const std::wstring& from, const std::wstring& to) = 0;
  // Deletes a file, also a read-only one. True when nothing is left at the path.
  virtual bool RemoveFile(const std::wstring& path) = 0;
  // Creates every missing directory up to the path's last separator.
  virtual bool CreateDirectoryChain(const std::wstring& path) = 0;
  // Removes a directory only if it is empty (a link: the link itself). True when it is gone.
  virtual bool RemoveEmptyDirectory(const std::wstring& path) = 0;
  // The whole file; false when it cannot be read (missing, held, no rights), so that an empty
  // file and an unreadable one are told apart.
  virtual bool ReadExistingFile(const std::wstring& path, std::string& bytes) = 0;

  // Holds a file (IHeldFile); null when it cannot be held: missing, no file, held by another
  // program in a way that lets others write or delete it, no rights.
  virtual std::unique_ptr<IHeldFile> Hold(const std::wstring& path) = 0;
  // Reads the held file from start to end, handing each piece to `piece` as it comes (no buffer
  // holds the whole file). False when a read fails part-way.
  virtual bool ReadHeld(IHeldFile& file, const std::function<void(const char*, size_t)>& piece) = 0;
  // True when the held file cannot simply be renamed to `target`: it lies on another volume, or
  // the updater may not rename it or change its permissions. It is then copied (CopyHeld) first.
  virtual bool MustCopy(const IHeldFile& file, const std::wstring& target) = 0;
  // Copies the held file whole to `copy`, a name no file has, beside the place it is bound for;
  // returns once the copy is on disk, with the held file's last write time. The copy is made at
  // its full size before the bytes go in, so that a copy cut short (killed, a full disk) keeps
  // that size; one that fails is deleted when it can be. From then on the copy is what
  // PlaceHeld renames, and it is held as the staged file is.
  virtual bool CopyHeld(IHeldFile& file, const std::wstring& copy) = 0;
  // Renames the held file, or its copy, to `target`, replacing what is there (also a read-only
  // file); the file put in place takes the permissions of the folder it lands in. After a copy
  // the staged file itself is deleted (when it can be; it stays otherwise). Error 17 (another
  // volume) when the held file could not be renamed there after all. The file is no longer held
  // once it is in place.
  virtual bool PlaceHeld(IHeldFile& file, const std::wstring& target) = 0;
  // Writes (or appends) bytes and returns once they are on disk.
  virtual bool WriteDurably(const std::wstring& path, const std::string& bytes, bool append) = 0;
  // Deletes a directory tree; never descends through a link, the directory itself included.
  virtual bool DeleteDirectoryTree(const std::wstring& directory) = 0;
  virtual std::wstring ModuleDirectory() = 0;  // the updater's directory, no trailing "\"

  // The path as Windows resolves it: absolute, "." and ".." applied, one separator "\",
  // trailing dots and blanks of the name dropped, short (8.3) names of existing directories
  // and files spelt out. Two spellings of one file give the same result up to letter case.
  virtual std::wstring FullPath(const std::wstring& path) = 0;
  // Orders two full paths as the file system tells names apart: ordinal, ignoring case.
  // Negative, zero or positive.
  virtual int ComparePaths(const std::wstring& a, const std::wstring& b) = 0;

  // Why the last call that failed (returned false or null) failed: its Windows error code
  // (RecordError names the usual ones). Asked right after that call, on the same thread.
  virtual uint32_t LastError() = 0;
};

}  // namespace zr
