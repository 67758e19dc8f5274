#include "net/identity.h"

#include <algorithm>
#include <cstring>

namespace zr {

std::string NarrowRegistryText(const unsigned char* data, std::size_t byteCount) {
  std::string text;
  if (data == nullptr) return text;
  const std::size_t units = byteCount / 2;
  text.reserve(units);
  for (std::size_t i = 0; i < units; ++i) {
    const unsigned char low = data[2 * i];
    const unsigned char high = data[2 * i + 1];
    if (low == 0 && high == 0) break;
    text += static_cast<char>(low);
  }
  return text;
}

std::string FormatOsDescription(unsigned long major, unsigned long minor, bool server, bool wow64) {
  return std::to_string(major) + "_" + std::to_string(minor) + "_" + (server ? "1" : "0") + "_" + (wow64 ? "64" : "32");
}

std::string SourceIdFromBytes(const char* data, std::size_t byteCount) {
  if (data == nullptr) return std::string();
  const std::size_t limit = std::min(byteCount, kSourceIdMaxBytes);
  const void* zero = std::memchr(data, 0, limit);
  const std::size_t length = zero != nullptr ? static_cast<std::size_t>(static_cast<const char*>(zero) - data) : limit;
  return std::string(data, length);
}

}  // namespace zr
