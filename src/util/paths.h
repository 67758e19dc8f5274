// Path helpers on wide full Windows paths ("\" separators; some also take "/").
//
// The pure string functions are portable. The ones that touch the disk or the process live
// in files.h and exist only in the Windows build.
#pragma once

#include <string>

namespace zr {

// File name of the product's executable, which lies beside the updater.
inline constexpr wchar_t kProductExeName[] = L"zrCastrix.exe";

// The directory (with or without a trailing "\"), one "\", then "zrCastrix.exe"; empty for
// a null or empty directory.
std::wstring MakeProductPath(const wchar_t* directory);

// The part after the last "\" or "/" (empty when the path ends in one); the whole path when
// it has neither.
std::wstring FileNameOfPath(const std::wstring& path);

// "\" or "/": Windows reads either as the separator of a path's names.
inline bool IsPathSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

}  // namespace zr
