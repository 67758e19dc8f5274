#include "net/identity.h"

namespace zr {

std::string ReadMachineGuid() { return kMachineGuidFallback; }

std::string DescribeOs() { return FormatOsDescription(0, 0, false, false); }

std::string ReadSourceId() { return std::string(); }

}  // namespace zr
