#include "ui/transfer_speed.h"

#include <cstdio>

namespace zr {

std::wstring FormatTransferSpeed(int32_t bytesPerSecond) {
  constexpr int32_t kKilo = 1024;
  constexpr int32_t kMega = 1048576;
  constexpr int32_t kGiga = 1073741824;
  wchar_t text[64] = {};
  const double value = static_cast<double>(bytesPerSecond);
  // The comparisons are strict: exactly 1024 B/s is still shown in bytes.
  if (bytesPerSecond > kGiga) {
    std::swprintf(text, 64, L"%.2f GB/s", value / kGiga);
  } else if (bytesPerSecond > kMega) {
    std::swprintf(text, 64, L"%.2f MB/s", value / kMega);
  } else if (bytesPerSecond > kKilo) {
    std::swprintf(text, 64, L"%.2f KB/s", value / kKilo);
  } else {
    std::swprintf(text, 64, L"%d B/s", static_cast<int>(bytesPerSecond));
  }
  return text;
}

}  // namespace zr
