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
inline std::wstring MakeProductPath(const wchar_t* directory) {
  if (directory == nullptr || directory[0] == L'\0') return {};
  std::wstring path = directory;
  if (path.back() != L'\\') path += L'\\';
  return path + kProductExeName;
}

// The part after the last "\" or "/" (empty when the path ends in one); the whole path when
// it has neither.
inline std::wstring FileNameOfPath(const std::wstring& path) {
  const size_t slash = path.find_last_of(L"\\/");
  return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

// "\" or "/": Windows reads either as the separator of a path's names.
inline bool IsPathSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

}  // namespace zr
