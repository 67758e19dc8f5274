// The speed line's text for a transfer rate in bytes per second (0 or more): 1024-based units,
// two decimals above 1024 B/s ("1.50 KB/s"), whole bytes at or below ("1024 B/s").
#pragma once

#include <cstdint>
#include <string>

namespace zr {

std::wstring FormatTransferSpeed(int32_t bytesPerSecond);

}  // namespace zr
