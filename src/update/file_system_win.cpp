#include "update/file_system_win.h"

#include <windows.h>
#include <aclapi.h>

#include <algorithm>
#include <cstring>
#include <cwctype>

#include "util/files.h"
#include "util/handle_win.h"

namespace zr {
namespace {

constexpr DWORD kMoveFlags = MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED | MOVEFILE_WRITE_THROUGH;

// GetLongPathNameW of one path; empty when it fails. Below the old length limit the plain
// form is asked for (Wine spells out short names only there), past it the "\\?\" form.
std::wstring LongPathName(const std::wstring& path) {
  const std::wstring asked = path.size() < MAX_PATH ? path : ExtendedPath(path);
  std::wstring buffer(asked.size() + MAX_PATH, L'\0');
  DWORD length = GetLongPathNameW(asked.c_str(), buffer.data(), static_cast<DWORD>(buffer.size()));
  if (length >= buffer.size()) {
    buffer.resize(length);
    length = GetLongPathNameW(asked.c_str(), buffer.data(), static_cast<DWORD>(buffer.size()));
  }
  if (length == 0 || length >= buffer.size()) return {};
  buffer.resize(length);
  return WithoutExtendedPrefix(buffer);
}

// The long form of a full path whose existing part may hold short names: the longest
// existing prefix is spelt out, the rest (not there yet) kept as written.
std::wstring LongForm(const std::wstring& full) {
  std::wstring head = full;
  std::wstring tail;
  for (;;) {
    const std::wstring spelt = LongPathName(head);
    if (!spelt.empty()) return spelt + tail;
    const size_t slash = head.find_last_of(L'\\');
    // Up to the root nothing exists: there is no long form to give.
    if (slash == std::wstring::npos || slash < 3 || head[slash - 1] == L':') return full;
    tail = head.substr(slash) + tail;
    head.resize(slash);
  }
}

// A staged file held: its own handle, and once copied, the copy's.
class CWin32HeldFile : public IHeldFile {
 public:
  const FileIdentity& Identity() const override { return identity; }
  const std::wstring& Path() const override { return path; }

  std::wstring path;
  FileIdentity identity;
  FILETIME lastWrite = {};
  std::wstring volume;
  bool mayRename = true;  // held with the rights to rename it and set its owner and permissions
  CKernelHandle file;
  CKernelHandle copy;
};

CWin32HeldFile& Held(IHeldFile& file) { return static_cast<CWin32HeldFile&>(file); }

// Renames the open file to `to` (a full path), replacing what is there.
bool RenameOpenFile(HANDLE file, const std::wstring& to) {
  const std::wstring target = ExtendedPath(to);
  const size_t nameBytes = target.size() * sizeof(wchar_t);
  std::vector<unsigned char> buffer(sizeof(FILE_RENAME_INFO) + nameBytes);
  auto* info = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
  info->ReplaceIfExists = TRUE;
  info->RootDirectory = nullptr;
  info->FileNameLength = static_cast<DWORD>(nameBytes);
  std::memcpy(info->FileName, target.c_str(), nameBytes);
  return SetFileInformationByHandle(file, FileRenameInfo, info, static_cast<DWORD>(buffer.size())) != FALSE;
}

// Marks an open file (opened with delete rights) to go when its last handle closes.
bool DeleteOnClose(HANDLE file) {
  FILE_DISPOSITION_INFO info = {TRUE};
  return SetFileInformationByHandle(file, FileDispositionInfo, &info, sizeof info) != FALSE;
}

// Writes every byte at the file's position: ERROR_SUCCESS, or why not.
DWORD WriteAll(HANDLE file, const char* bytes, size_t size) {
  for (size_t done = 0; done < size;) {
    DWORD written = 0;
    if (!WriteFile(file, bytes + done, static_cast<DWORD>(size - done), &written, nullptr)) return GetLastError();
    if (written == 0) return ERROR_WRITE_FAULT;
    done += written;
  }
  return ERROR_SUCCESS;
}

// Runs `move` onto `target` (a "\\?\" path). When it fails (with `refusal`, unless that is
// ERROR_SUCCESS) and a read-only file is in the way, that file loses the attribute and `move`
// runs once more; still refused, the file gets it back. ERROR_SUCCESS, or why the first failed.
template <typename Move>
DWORD MoveOverReadOnly(const std::wstring& target, DWORD refusal, Move move) {
  if (move()) return ERROR_SUCCESS;
  const DWORD error = GetLastError();
  const DWORD attributes = GetFileAttributesW(target.c_str());
  if ((refusal != ERROR_SUCCESS && error != refusal) || attributes == INVALID_FILE_ATTRIBUTES ||
      (attributes & FILE_ATTRIBUTE_DIRECTORY) || !(attributes & FILE_ATTRIBUTE_READONLY)) {
    return error;
  }
  SetFileAttributesW(target.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
  if (move()) return ERROR_SUCCESS;
  SetFileAttributesW(target.c_str(), attributes);
  return error;
}

bool Seek(HANDLE file, uint64_t offset) {
  LARGE_INTEGER position;
  position.QuadPart = static_cast<LONGLONG>(offset);
  return SetFilePointerEx(file, position, nullptr, FILE_BEGIN) != FALSE;
}

}  // namespace

PathKind CWin32FileSystem::Inspect(const std::wstring& path) {
  const std::wstring full = ExtendedPath(path);
  const DWORD attributes = full.empty() ? INVALID_FILE_ATTRIBUTES : GetFileAttributesW(full.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return PathKind::kMissing;
  if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) return PathKind::kFile;
  return (attributes & FILE_ATTRIBUTE_REPARSE_POINT) ? PathKind::kDirectoryLink : PathKind::kDirectory;
}

bool CWin32FileSystem::Identify(const std::wstring& path, FileIdentity& identity) {
  const std::wstring full = ExtendedPath(path);
  WIN32_FILE_ATTRIBUTE_DATA data = {};
  if (full.empty() || !GetFileAttributesExW(full.c_str(), GetFileExInfoStandard, &data) ||
      (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
    return false;
  }
  identity.size = (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
  identity.lastWrite =
      (static_cast<uint64_t>(data.ftLastWriteTime.dwHighDateTime) << 32) | data.ftLastWriteTime.dwLowDateTime;
  return true;
}

bool CWin32FileSystem::MoveReplace(const std::wstring& from, const std::wstring& to) {
  const std::wstring source = ExtendedPath(from);
  const std::wstring target = ExtendedPath(to);
  if (source.empty() || target.empty()) return Failed();
  const auto move = [&] { return MoveFileExW(source.c_str(), target.c_str(), kMoveFlags) != FALSE; };
  const DWORD error = MoveOverReadOnly(target, ERROR_SUCCESS, move);
  return error == ERROR_SUCCESS || Failed(error);
}

bool CWin32FileSystem::RemoveFile(const std::wstring& path) { return RemoveFileForce(path) || Failed(); }

bool CWin32FileSystem::CreateDirectoryChain(const std::wstring& path) {
  return zr::CreateDirectoryChain(path.c_str()) || Failed();
}

bool CWin32FileSystem::RemoveEmptyDirectory(const std::wstring& path) {
  const std::wstring full = ExtendedPath(path);
  if (full.empty()) return Failed();
  if (RemoveDirectoryW(full.c_str())) return true;
  const DWORD error = GetLastError();
  return GetFileAttributesW(full.c_str()) == INVALID_FILE_ATTRIBUTES || Failed(error);
}

bool CWin32FileSystem::ReadExistingFile(const std::wstring& path, std::string& bytes) {
  return zr::ReadExistingFile(path.c_str(), bytes) || Failed();
}

char* CWin32FileSystem::PieceBuffer() {
  if (!m_pieceBuffer) m_pieceBuffer.reset(new char[kReadPieceBytes]);
  return m_pieceBuffer.get();
}

const std::wstring& CWin32FileSystem::VolumeOf(const std::wstring& path) {
  const std::wstring folder = path.substr(0, path.find_last_of(L"\\/"));
  auto known = m_volumes.find(folder);
  if (known != m_volumes.end()) return known->second;
  std::wstring volume;
  const std::wstring asked = folder.size() < MAX_PATH ? folder : ExtendedPath(folder);
  std::wstring mountPoint(asked.size() + MAX_PATH, L'\0');
  if (GetVolumePathNameW(asked.c_str(), mountPoint.data(), static_cast<DWORD>(mountPoint.size()))) {
    mountPoint.resize(wcslen(mountPoint.c_str()));
    wchar_t name[MAX_PATH] = {};
    if (GetVolumeNameForVolumeMountPointW(mountPoint.c_str(), name, MAX_PATH)) {
      volume = name;
    } else {
      volume = WithoutExtendedPrefix(mountPoint);
      std::transform(volume.begin(), volume.end(), volume.begin(), [](wchar_t c) { return towupper(c); });
    }
  }
  return m_volumes.emplace(folder, volume).first->second;
}

const std::vector<unsigned char>& CWin32FileSystem::OwnerSid() {
  if (m_ownerRead) return m_owner;
  m_ownerRead = true;
  CKernelHandle token;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.Receive())) return m_owner;
  DWORD size = 0;
  GetTokenInformation(token.get(), TokenOwner, nullptr, 0, &size);
  std::vector<unsigned char> buffer(size);
  if (size == 0 || !GetTokenInformation(token.get(), TokenOwner, buffer.data(), size, &size)) return m_owner;
  const PSID owner = reinterpret_cast<TOKEN_OWNER*>(buffer.data())->Owner;
  m_owner.assign(static_cast<unsigned char*>(owner), static_cast<unsigned char*>(owner) + GetLengthSid(owner));
  return m_owner;
}

std::vector<unsigned char> InheritedFileAcl(const void* folderAcl) {
  const ACL* folder = static_cast<const ACL*>(folderAcl);
  std::vector<const ACE_HEADER*> inherited;
  DWORD size = sizeof(ACL);
  for (DWORD i = 0; i < folder->AceCount; ++i) {
    void* ace = nullptr;
    if (!GetAce(const_cast<ACL*>(folder), i, &ace)) return {};
    const auto* header = static_cast<const ACE_HEADER*>(ace);
    if (!(header->AceFlags & OBJECT_INHERIT_ACE)) continue;
    if (header->AceType != ACCESS_ALLOWED_ACE_TYPE && header->AceType != ACCESS_DENIED_ACE_TYPE) return {};
    // Allowed and denied ACEs share their layout: mask, then the SID from SidStart on.
    const auto* plain = static_cast<const ACCESS_ALLOWED_ACE*>(ace);
    if (plain->Mask & (GENERIC_READ | GENERIC_WRITE | GENERIC_EXECUTE | GENERIC_ALL)) return {};
    const PSID sid = const_cast<DWORD*>(&plain->SidStart);
    static const SID_IDENTIFIER_AUTHORITY creator = SECURITY_CREATOR_SID_AUTHORITY;
    if (std::memcmp(GetSidIdentifierAuthority(sid), &creator, sizeof creator) == 0) return {};
    inherited.push_back(header);
    size += header->AceSize;
  }
  if (inherited.empty()) return {};
  std::vector<unsigned char> bytes(size);
  ACL* acl = reinterpret_cast<ACL*>(bytes.data());
  if (!InitializeAcl(acl, size, ACL_REVISION)) return {};
  for (const ACE_HEADER* header : inherited) {
    if (!AddAce(acl, ACL_REVISION, MAXDWORD, const_cast<ACE_HEADER*>(header), header->AceSize)) return {};
    void* added = nullptr;
    if (!GetAce(acl, acl->AceCount - 1, &added)) return {};
    static_cast<ACE_HEADER*>(added)->AceFlags = INHERITED_ACE;
  }
  return bytes;
}

const std::vector<unsigned char>* CWin32FileSystem::InheritedAclOf(const std::wstring& folder) {
  auto known = m_inheritedAcls.find(folder);
  if (known == m_inheritedAcls.end()) {
    std::vector<unsigned char> acl;
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (GetNamedSecurityInfoW(folder.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &dacl,
                              nullptr, &descriptor) == ERROR_SUCCESS &&
        dacl != nullptr) {
      acl = InheritedFileAcl(dacl);
    }
    LocalFree(descriptor);
    known = m_inheritedAcls.emplace(folder, std::move(acl)).first;
  }
  return known->second.empty() ? nullptr : &known->second;
}

uint32_t CWin32FileSystem::TakeFolderPermissions(void* file, const std::wstring& target) {
  std::vector<unsigned char> owner = OwnerSid();
  // The folder's list, worked out once for all of its files, is set as it is (one call per file);
  // SetSecurityInfo with an empty unprotected list works it out anew for every file, reading
  // the folder's each time (four times the cost under Wine).
  const std::wstring full = ExtendedPath(target);
  const size_t slash = full.find_last_of(L'\\');
  const std::vector<unsigned char>* acl = slash == std::wstring::npos ? nullptr : InheritedAclOf(full.substr(0, slash));
  const SECURITY_INFORMATION what = DACL_SECURITY_INFORMATION | (owner.empty() ? 0 : OWNER_SECURITY_INFORMATION);
  DWORD result = ERROR_INVALID_DATA;
  if (acl != nullptr) {
    SECURITY_DESCRIPTOR descriptor;
    std::vector<unsigned char> list = *acl;  // the descriptor points into it
    if (InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION) &&
        SetSecurityDescriptorDacl(&descriptor, TRUE, reinterpret_cast<ACL*>(list.data()), FALSE) &&
        SetSecurityDescriptorControl(&descriptor, SE_DACL_AUTO_INHERITED | SE_DACL_PROTECTED, SE_DACL_AUTO_INHERITED) &&
        (owner.empty() || SetSecurityDescriptorOwner(&descriptor, owner.data(), FALSE))) {
      result = SetKernelObjectSecurity(file, what, &descriptor) ? ERROR_SUCCESS : GetLastError();
    }
  }
  if (result != ERROR_SUCCESS) {
    ACL inherited;
    InitializeAcl(&inherited, sizeof inherited, ACL_REVISION);
    result = SetSecurityInfo(file, SE_FILE_OBJECT, what | UNPROTECTED_DACL_SECURITY_INFORMATION,
                             owner.empty() ? nullptr : owner.data(), nullptr, &inherited, nullptr);
  }
  // A file system without permissions (FAT) has none to carry over.
  if (result == ERROR_NOT_SUPPORTED || result == ERROR_INVALID_FUNCTION) result = ERROR_SUCCESS;
  return result;
}

std::unique_ptr<IHeldFile> CWin32FileSystem::Hold(const std::wstring& path) {
  const auto notHeld = [this](DWORD error) {
    Failed(error);
    return std::unique_ptr<IHeldFile>();
  };
  const std::wstring full = ExtendedPath(path);
  if (full.empty()) return notHeld(ERROR_INVALID_NAME);
  auto held = std::make_unique<CWin32HeldFile>();
  held->file.Reset(CreateFileW(full.c_str(), GENERIC_READ | DELETE | WRITE_DAC | WRITE_OWNER, FILE_SHARE_READ, nullptr,
                               OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (!held->file && GetLastError() == ERROR_ACCESS_DENIED) {
    held->mayRename = false;
    held->file.Reset(CreateFileW(full.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                 FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  }
  BY_HANDLE_FILE_INFORMATION info = {};
  if (!held->file || !GetFileInformationByHandle(held->file.get(), &info)) return notHeld(GetLastError());
  if (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return notHeld(ERROR_ACCESS_DENIED);
  held->path = path;
  held->identity.size = (static_cast<uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
  held->identity.lastWrite =
      (static_cast<uint64_t>(info.ftLastWriteTime.dwHighDateTime) << 32) | info.ftLastWriteTime.dwLowDateTime;
  held->lastWrite = info.ftLastWriteTime;
  held->volume = VolumeOf(path);
  return held;
}

bool CWin32FileSystem::ReadHeld(IHeldFile& file, const std::function<void(const char*, size_t)>& piece) {
  const HANDLE source = Held(file).file.get();
  if (!Seek(source, 0)) return Failed();
  char* const buffer = PieceBuffer();
  for (;;) {
    DWORD read = 0;
    if (!ReadFile(source, buffer, kReadPieceBytes, &read, nullptr)) return Failed();
    if (read == 0) return true;
    piece(buffer, read);
  }
}

bool CWin32FileSystem::MustCopy(const IHeldFile& file, const std::wstring& target) {
  const auto& held = static_cast<const CWin32HeldFile&>(file);
  const std::wstring& volume = VolumeOf(target);
  return !held.mayRename || held.volume.empty() || volume.empty() || volume != held.volume;
}

bool CWin32FileSystem::CopyHeld(IHeldFile& file, const std::wstring& copy) {
  CWin32HeldFile& held = Held(file);
  const std::wstring full = ExtendedPath(copy);
  if (full.empty()) return Failed(ERROR_INVALID_NAME);
  CKernelHandle out(CreateFileW(full.c_str(), GENERIC_WRITE | DELETE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!out) return Failed();
  // Whatever fails from here, the copy goes (its handle closing deletes it) and the error stays.
  const auto fail = [&](DWORD error) {
    DeleteOnClose(out.get());
    return Failed(error);
  };
  if (!Seek(out.get(), held.identity.size) || !SetEndOfFile(out.get()) || !Seek(out.get(), 0) ||
      !Seek(held.file.get(), 0)) {
    return fail(GetLastError());
  }
  char* const buffer = PieceBuffer();
  for (;;) {
    DWORD read = 0;
    if (!ReadFile(held.file.get(), buffer, kReadPieceBytes, &read, nullptr)) return fail(GetLastError());
    if (read == 0) break;
    if (const DWORD error = WriteAll(out.get(), buffer, read)) return fail(error);
  }
  if (!SetFileTime(out.get(), nullptr, nullptr, &held.lastWrite) || !FlushFileBuffers(out.get())) {
    return fail(GetLastError());
  }
  held.copy = std::move(out);
  return true;
}

bool CWin32FileSystem::PlaceHeld(IHeldFile& file, const std::wstring& target) {
  CWin32HeldFile& held = Held(file);
  const bool copied = static_cast<bool>(held.copy);
  const HANDLE moving = copied ? held.copy.get() : held.file.get();
  // A read-only file in the way (a file listed twice, say) is replaced like any other.
  const auto rename = [&] { return RenameOpenFile(moving, target); };
  if (const DWORD error = MoveOverReadOnly(ExtendedPath(target), ERROR_ACCESS_DENIED, rename)) return Failed(error);
  DWORD result = ERROR_SUCCESS;
  if (copied) {
    DeleteOnClose(held.file.get());  // the staged file; one that cannot go stays in the cache
  } else {
    // Renamed within the volume, the file still carries the staged file's owner and permissions.
    result = TakeFolderPermissions(moving, target);
  }
  // In place, the file is let go whatever follows: a rollback must be able to move it.
  held.copy.Reset();
  held.file.Reset();
  return result == ERROR_SUCCESS || Failed(result);
}

bool CWin32FileSystem::WriteDurably(const std::wstring& path, const std::string& bytes, bool append) {
  const std::wstring full = ExtendedPath(path);
  if (full.empty()) return Failed();
  CKernelHandle file(CreateFileW(full.c_str(), append ? FILE_APPEND_DATA : GENERIC_WRITE, 0, nullptr,
                                 append ? OPEN_EXISTING : CREATE_ALWAYS,
                                 FILE_ATTRIBUTE_NORMAL | FILE_FLAG_WRITE_THROUGH, nullptr));
  if (!file) return Failed();
  if (const DWORD error = WriteAll(file.get(), bytes.data(), bytes.size())) return Failed(error);
  return FlushFileBuffers(file.get()) != FALSE || Failed();
}

bool CWin32FileSystem::DeleteDirectoryTree(const std::wstring& directory) {
  return zr::DeleteDirectoryTree(directory) || Failed();
}

bool CWin32FileSystem::Failed() { return Failed(GetLastError()); }

std::wstring CWin32FileSystem::ModuleDirectory() { return GetModuleDirectory(); }

std::wstring CWin32FileSystem::FullPath(const std::wstring& path) {
  const std::wstring full = FullPathName(path);
  if (full.find(L'~') == std::wstring::npos) return full;
  return LongForm(full);
}

int CWin32FileSystem::ComparePaths(const std::wstring& a, const std::wstring& b) {
  // CSTR_LESS_THAN, CSTR_EQUAL, CSTR_GREATER_THAN are 1, 2, 3.
  return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(), static_cast<int>(b.size()), TRUE) - 2;
}

}  // namespace zr
