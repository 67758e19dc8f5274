#include "strings/string_table.h"

#include <windows.h>

namespace zr {

// Resource "LANG" 107 (language 2052) of the program's own module.
std::string StringTable::ProgramDocument() {
  HMODULE module = GetModuleHandleW(nullptr);
  HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(107), L"LANG");
  if (found == nullptr) return {};
  const DWORD size = SizeofResource(module, found);
  HGLOBAL loaded = size != 0 ? LoadResource(module, found) : nullptr;
  const void* bytes = loaded != nullptr ? LockResource(loaded) : nullptr;
  if (bytes == nullptr) return {};
  return std::string(static_cast<const char*>(bytes), size);
}

}  // namespace zr
