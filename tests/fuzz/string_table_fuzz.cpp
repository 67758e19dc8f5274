// libFuzzer target: the string table parser on arbitrary bytes, and the trimming that every
// lookup applies to what it stored.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "strings/string_table.h"

namespace zr {
// The fuzzer never looks texts up by id, so it carries no document of its own.
std::string StringTable::ProgramDocument() { return {}; }
}  // namespace zr

namespace {

bool IsTrimmed(wchar_t c) {
  return c == L' ' || c == L'\t' || c == L'\n' || c == L'\r' || c == L'\f' || c == L'\v';
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view document(reinterpret_cast<const char*>(data), size);
  const auto table = zr::StringTable::Parse(document);
  for (const auto& [id, text] : table) {
    const std::wstring trimmed = zr::TrimRight(zr::TrimLeft(text));
    if (!trimmed.empty() && (IsTrimmed(trimmed.front()) || IsTrimmed(trimmed.back()))) std::abort();
    if (trimmed.size() > text.size() || text.find(trimmed) == std::wstring::npos) std::abort();
  }
  if (zr::StringTable::Parse(document).size() != table.size()) std::abort();
  return 0;
}
