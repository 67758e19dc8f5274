// Small file helpers of the Windows tests that do not use the code under test, and the
// tests' temp directory. Full paths may be of any length.
#pragma once

#include <string>

#include "support/temp_dir.h"

namespace zr::test {

// The path in the "\\?\" form when it is a long full path (past the old 260-character limit
// only that form works), else as it is.
std::wstring LongPath(const std::wstring& path);

void MakeDirectories(const std::wstring& directory);  // every missing one along the path
// False when the file cannot be written in full.
bool WriteFileBytes(const std::wstring& path, const std::string& bytes);
// The whole file; empty when it cannot be opened, which *exists then tells.
std::string ReadFileBytes(const std::wstring& path, bool* exists = nullptr);
bool FileExists(const std::wstring& path);
bool DirectoryExists(const std::wstring& path);

// The same existing file or directory reached through a second drive letter: under Wine, a
// path on C: (the prefix's drive_c) spelt through Z:, the Unix root. Empty where there is no
// such second spelling (not under Wine, not on C:).
std::wstring ThroughAnotherDrive(const std::wstring& path);

}  // namespace zr::test
