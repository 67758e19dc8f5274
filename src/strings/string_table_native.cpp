#include "strings/string_table.h"

namespace zr {
namespace {
// The shipped document's bytes, embedded at build time (the native build has no resources).
const unsigned char kDocument[] = {
#include "string_table_document.inc"
};
}  // namespace

std::string StringTable::ProgramDocument() {
  return std::string(reinterpret_cast<const char*>(kDocument), sizeof kDocument);
}

}  // namespace zr
