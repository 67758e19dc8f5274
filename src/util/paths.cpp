#include "util/paths.h"

namespace zr {

std::wstring MakeProductPath(const wchar_t* directory) {
  if (directory == nullptr || directory[0] == L'\0') return {};
  std::wstring path = directory;
  if (path.back() != L'\\') path += L'\\';
  path += kProductExeName;
  return path;
}

std::wstring FileNameOfPath(const std::wstring& path) {
  size_t slash = path.find_last_of(L"\\/");
  return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

}  // namespace zr
