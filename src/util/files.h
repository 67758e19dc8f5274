// File and directory helpers of the Windows build (files_win.cpp). Each reports failure only
// through its result, keeps no state and may run on any thread.
#pragma once

#include <string>

namespace zr {

// Directory of the running executable, without a trailing "\".
std::wstring GetModuleDirectory();

// Creates every missing directory along the path, up to its last separator ("\" or "/"),
// so the file name of a file's path is never created. False as soon as one cannot be made,
// and for an empty path.
bool CreateDirectoryChain(const wchar_t* path);

// The whole content of a file; empty when it is missing, empty or unreadable.
std::string ReadWholeFile(const wchar_t* path);

// Deletes a directory and everything below it, except hidden and system files (which keep
// their directories too). A directory symbolic link or junction inside the tree is removed
// itself and never descended into, so nothing outside the tree is touched. A path of fewer
// than 4 characters (a drive root) is not listed. True when the directory itself is gone.
bool DeleteDirectoryTree(const std::wstring& directory);

}  // namespace zr
