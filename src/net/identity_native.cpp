// The native build has no registry, no Windows version and no updater executable beside a
// "source.dat": each reader gives the result of its failure rule.
#include "net/identity.h"

namespace zr {

std::string ReadMachineGuid() { return kMachineGuidFallback; }

std::string DescribeOs() { return FormatOsDescription(0, 0, false, false); }

std::string ReadSourceId() { return std::string(); }

}  // namespace zr
