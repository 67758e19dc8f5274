// File and directory helpers of the Windows build (files_win.cpp). Each reports failure only
// through its result, keeps no state and may run on any thread. Paths may be of any length
// Windows accepts (up to 32,767 characters): every call goes through ExtendedPath.
#pragma once

#include <string>
#include <string_view>

namespace zr {

// Directory of the running executable, without a trailing "\", however long.
std::wstring GetModuleDirectory();

// The bytes of resource `id` of `type` in the program's own module; empty when it cannot be
// had. A module's resources stay mapped for the process's life (they need no FreeResource).
std::string_view ProgramResource(int id, const wchar_t* type);

// The full path ("." and ".." applied, "/" read as "\") in the "\\?\" form that lifts the
// 260-character limit: "\\?\C:\..." or "\\?\UNC\server\share\...". A path already in that
// form, or a device path ("\\.\..."), is returned as it is; an empty path stays empty.
std::wstring ExtendedPath(const std::wstring& path);

// The ordinary form of a path in the "\\?\" form ("C:\\..." or "\\\\server\\share\\..."); any other
// path as it is.
std::wstring WithoutExtendedPrefix(const std::wstring& path);

// The full path as GetFullPathNameW gives it, however long; empty on failure.
std::wstring FullPathName(const std::wstring& path);

// Creates every missing directory along the path, up to its last separator ("\" or "/"),
// so the file name of a file's path is never created. False as soon as one cannot be made,
// and for an empty path.
bool CreateDirectoryChain(const wchar_t* path);

// Files larger than this are not read (a manifest is a few megabytes at most).
inline constexpr unsigned long long kMaxReadBytes = 64ull << 20;

// The whole content of a file on disk; empty when it is missing, empty, unreadable, not a
// disk file (a directory, a device, a pipe) or larger than kMaxReadBytes.
std::string ReadWholeFile(const wchar_t* path);
// The same, false in every case where ReadWholeFile gives empty for want of reading;
// GetLastError() then says why (ERROR_BAD_FILE_TYPE for no disk file, ERROR_FILE_TOO_LARGE).
bool ReadExistingFile(const wchar_t* path, std::string& content);

// Deletes a file, clearing its read-only attribute when that is what stands in the way. True
// when no file is left at the path; otherwise GetLastError() says why the deletion failed.
bool RemoveFileForce(const std::wstring& path);

// Deletes a directory and everything below it, except hidden and system files (which keep
// their directories too). A directory symbolic link or junction, the directory itself
// included, is removed as a link and never descended into, so nothing outside the tree is
// touched. A path of fewer than 4 characters (a drive root) is not listed. True when the
// directory itself is gone.
bool DeleteDirectoryTree(const std::wstring& directory);

}  // namespace zr
