// Native build: there is no module handle, and files are named by UTF-8 paths.
#include <fstream>
#include <iterator>

#include "skin/resources.h"
#include "util/text.h"

namespace Skin {

std::wstring ModuleDirectoryOf(void*) { return std::wstring(); }

bool ReadFileBytes(const std::wstring& path, std::vector<std::uint8_t>* out) {
  // Resource paths are written with Windows separators; this build's files use "/".
  std::string name = zr::WideToUtf8(path);
  for (char& c : name) {
    if (c == '\\') c = '/';
  }
  std::ifstream in(name, std::ios::binary);
  if (!in) return false;
  out->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return !in.bad();
}

}  // namespace Skin
