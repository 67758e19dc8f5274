// The usage report sent after a failed update: a JSON record of thirteen members, held in a
// jsoncpp value and written in the layout of jsoncpp's StyledWriter, then encrypted and
// encoded for the POST body (report_crypto.h).
// Built on the update worker thread; nothing is stored between calls.
#pragma once

#include <cstdint>
#include <string>

namespace zr {

// The values that vary from report to report. Strings are narrow, placed in the JSON as they
// are, whatever their encoding (UTF-8, GBK, ...): the writer escapes quotes, backslashes and
// control characters and writes every other byte unchanged.
struct UsageReportRecord {
  std::string pcguid;  // ReadMachineGuid(): "N/A" when unavailable
  std::string pcvs;    // the product's version from "/version" (UTF-8), empty when missing
  std::string uptovs;  // the manifest's version
  std::string pcos;    // DescribeOs()
  std::string pccid;   // ReadSourceId(), empty when there is no source.dat
  int32_t code = 0;    // ReportCode() of how the run ended (outcome.h)
};

// The record as styled JSON: members in byte order of their names, three-blank indent,
// " : " between name and value, a line break after the closing brace. For ASCII values the
// text is byte for byte what jsoncpp's StyledWriter writes.
std::string WriteUsageReportJson(const UsageReportRecord& record);

// Reads the identity values (ReadMachineGuid, DescribeOs, ReadSourceId, in that order), writes
// the record with the manifest's version, productVersion and code, and returns the encrypted,
// percent-encoded payload. Empty only when memory runs out. Never throws.
std::string BuildUsageReport(const std::string& manifestVersion, int32_t code, const std::string& productVersion);

}  // namespace zr
