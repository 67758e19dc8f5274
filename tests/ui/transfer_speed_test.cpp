#include "ui/transfer_speed.h"

#include <gtest/gtest.h>

namespace zr {
namespace {

TEST(FormatTransferSpeed, EveryBoundary) {
  const struct {
    int32_t input;
    const wchar_t* text;
  } cases[] = {
      {0, L"0 B/s"},
      {1, L"1 B/s"},
      {1024, L"1024 B/s"},           // strict: exactly one KB is still bytes
      {1025, L"1.00 KB/s"},
      {1536, L"1.50 KB/s"},
      {2048, L"2.00 KB/s"},
      {1048576, L"1024.00 KB/s"},     // exactly one MB is still kilobytes
      {1048577, L"1.00 MB/s"},
      {1073741824, L"1024.00 MB/s"},  // exactly one GB is still megabytes
      {1073741825, L"1.00 GB/s"},
      {2147483647, L"2.00 GB/s"},
      {1048575, L"1024.00 KB/s"},     // rounds up at two decimals
      {1127, L"1.10 KB/s"},
  };
  for (const auto& c : cases) EXPECT_EQ(FormatTransferSpeed(c.input), c.text) << c.input;
}

}  // namespace
}  // namespace zr
