#include "net/usage_report.h"

#include <json/json.h>

#include <new>

#include "net/identity.h"
#include "net/report_crypto.h"

namespace zr {

namespace {

// Constants of the report endpoint: the system only sends them.
constexpr char kClientBuildVersion[] = "2.2.0";
constexpr int kReportType = 2;
constexpr int kMenuId = 10280;
constexpr int kTicket = -1;
constexpr int kClientId = 11;
constexpr char kDescription[] = "MOVE_FILE_FAILED";

}  // namespace

std::string WriteUsageReportJson(const UsageReportRecord& record) {
  // Assigned in the order the endpoint documents; the writer sorts the names by itself.
  Json::Value root(Json::objectValue);
  root["pcguid"] = record.pcguid;
  root["pcvs"] = record.pcvs;
  root["uptovs"] = record.uptovs;
  root["pcvs_b"] = kClientBuildVersion;
  root["pcos"] = record.pcos;
  root["pccid"] = record.pccid;
  root["type"] = kReportType;
  root["menuid"] = kMenuId;
  root["ticket"] = kTicket;
  root["code"] = record.code;
  root["pcclient"] = kClientId;
  root["success"] = record.code == 0 ? "1" : "0";
  root["des"] = kDescription;
  Json::StyledWriter writer;
  return writer.write(root);
}

std::string BuildUsageReport(const CUpdateContext& context, int32_t code,
                             const std::string& productVersion) {
  try {
    UsageReportRecord record;
    record.pcvs = productVersion;
    record.pcguid = ReadMachineGuid();
    record.pcos = DescribeOs();
    record.pccid = ReadSourceId();
    record.uptovs = context.version;
    record.code = code;
    return EncryptReportPayload(WriteUsageReportJson(record));
  } catch (const std::exception&) {
    // Out of memory (or a writer failure): the report goes out with an empty body.
    return std::string();
  }
}

}  // namespace zr
