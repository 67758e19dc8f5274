#include "net/usage_report.h"

#include <json/json.h>

#include <cstddef>
#include <exception>

#include "net/identity.h"
#include "net/report_crypto.h"
#include "util/escape.h"

namespace zr {

namespace {

// Constants of the report endpoint: the system only sends them.
constexpr char kClientBuildVersion[] = "2.2.0";
constexpr int kReportType = 2;
constexpr int kMenuId = 10280;
constexpr int kTicket = -1;
constexpr int kClientId = 11;
constexpr char kDescription[] = "MOVE_FILE_FAILED";

// A JSON string with quotes, backslashes and control characters escaped as jsoncpp escapes
// them (\b \f \n \r \t by name, the others as \u00xx), and every other byte as it is.
//
// jsoncpp's StyledWriter writes every byte from 0x80 up as a \u escape of what it decoded as
// UTF-8, which damages GBK (or any text that is not UTF-8: a stray lead byte swallows the
// characters after it). Its writers that leave those bytes alone (StreamWriterBuilder with
// "emitUTF8") need std::ostream, and the shipped exe is built without libstdc++'s iostreams and
// locale facets (about 0.7 MB): so the record is written here, in exactly the text that writer
// gives (the tests compare the two byte for byte, and with StyledWriter for ASCII values).
std::string Quoted(const std::string& text) {
  std::string out = "\"";
  for (const char ch : text) {
    const auto c = static_cast<unsigned char>(ch);
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\b': out += "\\b"; break;
      case '\f': out += "\\f"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (c < 0x20) {
          out += "\\u00";
          out += kLowerHexDigits[c >> 4];
          out += kLowerHexDigits[c & 0x0F];
        } else {
          out += ch;
        }
    }
  }
  return out + '"';
}

// An object of string and integer members in StyledWriter's layout (usage_report.h).
std::string WriteFlatObject(const Json::Value& object) {
  const Json::Value::Members names = object.getMemberNames();  // sorted by the object
  std::string text = "{\n";
  for (std::size_t i = 0; i < names.size(); ++i) {
    const Json::Value& value = object[names[i]];
    text += "   " + Quoted(names[i]) + " : ";
    text += value.isString() ? Quoted(value.asString()) : std::to_string(value.asLargestInt());
    text += i + 1 < names.size() ? ",\n" : "\n";
  }
  text += "}\n";
  return text;
}

}  // namespace

std::string WriteUsageReportJson(const UsageReportRecord& record) {
  // Assigned in the order the endpoint documents; the object sorts the names by itself.
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
  return WriteFlatObject(root);
}

std::string BuildUsageReport(const std::string& manifestVersion, int32_t code, const std::string& productVersion) {
  try {
    // A braced list is evaluated in its order: the identity values are read in the header's.
    const UsageReportRecord record{ReadMachineGuid(), productVersion, manifestVersion,
                                   DescribeOs(),      ReadSourceId(), code};
    return EncryptReportPayload(WriteUsageReportJson(record));
  } catch (const std::exception&) {
    // Out of memory (or a writer failure): the report goes out with an empty body.
    return std::string();
  }
}

}  // namespace zr
