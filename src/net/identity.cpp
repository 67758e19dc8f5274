#include "net/identity.h"

#include <algorithm>

namespace zr {

std::string NarrowRegistryText(const unsigned char* data, std::size_t byteCount) {
  std::string text;
  if (data == nullptr) return text;
  for (std::size_t i = 0; i + 1 < byteCount && (data[i] != 0 || data[i + 1] != 0); i += 2) {
    text += static_cast<char>(data[i]);
  }
  return text;
}

std::string FormatOsDescription(unsigned long major, unsigned long minor, bool server, bool wow64) {
  return std::to_string(major) + "_" + std::to_string(minor) + "_" + (server ? "1" : "0") + "_" + (wow64 ? "64" : "32");
}

std::string SourceIdFromBytes(const char* data, std::size_t byteCount) {
  if (data == nullptr) return std::string();
  const char* end = data + std::min(byteCount, kSourceIdMaxBytes);
  return std::string(data, std::find(data, end, '\0'));
}

}  // namespace zr
