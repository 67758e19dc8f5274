// Windows: module directories and whole-file reads through the wide API.
#include <windows.h>

#include "skin/resources.h"
#include "util/handle_win.h"

namespace Skin {

std::wstring ModuleDirectoryOf(void* module) {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    DWORD n = GetModuleFileNameW(static_cast<HMODULE>(module), &path[0],
                                 static_cast<DWORD>(path.size()));
    if (n == 0) return std::wstring();
    if (n < path.size()) {
      path.resize(n);
      break;
    }
    if (path.size() >= 32768) return std::wstring();
    path.resize(path.size() * 2);
  }
  size_t slash = path.find_last_of(L"\\/");
  if (slash == std::wstring::npos) return std::wstring();
  return path.substr(0, slash + 1);
}

bool ReadFileBytes(const std::wstring& path, std::vector<std::uint8_t>* out) {
  out->clear();
  zr::CKernelHandle f(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!f) return false;
  LARGE_INTEGER size;
  if (!GetFileSizeEx(f.get(), &size) || size.QuadPart > (64LL << 20)) return false;
  out->resize(static_cast<size_t>(size.QuadPart));
  DWORD done = 0;
  if (!out->empty() &&
      (!ReadFile(f.get(), out->data(), static_cast<DWORD>(out->size()), &done, nullptr) ||
       done != out->size())) {
    out->clear();
    return false;
  }
  return true;
}

}  // namespace Skin
