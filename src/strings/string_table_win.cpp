#include "strings/string_table.h"

#include "util/files.h"

namespace zr {

// Resource "LANG" 107 (language 2052) of the program's own module.
std::string StringTable::ProgramDocument() { return std::string(ProgramResource(107, L"LANG")); }

}  // namespace zr
