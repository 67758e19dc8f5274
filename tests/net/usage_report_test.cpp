// The report's JSON text byte for byte, and the built payload read back through libcrypto.
#include "net/usage_report.h"

#include <gtest/gtest.h>
#include <json/json.h>

#include <string>
#include <utility>
#include <vector>

#include "net/identity.h"
#include "support/report_decoding.h"
#include "update/outcome.h"

namespace zr {
namespace {

// The exact text: an ASCII record, and one with GBK and UTF-8 values, whose bytes stay as
// they are.
TEST(WriteUsageReportJson, WritesTheExactStyledText) {
  const UsageReportRecord cases[] = {
      {"{6B29FC40-CA47-1067-B31D-00DD010662DA}", "", "3.1.0.7", "6_1_0_64", "zoria_web\r\n",
       4001},
      {"N/A", "3.1.0-\xE6\xB5\x8B", "", "", "\xD6\xD0\xCE\xC4 web\r\n", 4003},
  };
  for (const UsageReportRecord& record : cases) {
    std::string pccid = record.pccid;
    pccid.replace(pccid.size() - 2, 2, "\\r\\n");
    EXPECT_EQ("{\n"
              "   \"code\" : " + std::to_string(record.code) + ",\n"
              "   \"des\" : \"MOVE_FILE_FAILED\",\n"
              "   \"menuid\" : 10280,\n"
              "   \"pccid\" : \"" + pccid + "\",\n"
              "   \"pcclient\" : 11,\n"
              "   \"pcguid\" : \"" + record.pcguid + "\",\n"
              "   \"pcos\" : \"" + record.pcos + "\",\n"
              "   \"pcvs\" : \"" + record.pcvs + "\",\n"
              "   \"pcvs_b\" : \"2.2.0\",\n"
              "   \"success\" : \"0\",\n"
              "   \"ticket\" : -1,\n"
              "   \"type\" : 2,\n"
              "   \"uptovs\" : \"" + record.uptovs + "\"\n"
              "}\n",
              WriteUsageReportJson(record));
  }
}

TEST(WriteUsageReportJson, SuccessFollowsTheCodeAndDescriptionNever) {
  struct Case {
    int32_t code;
    const char* codeText;
    const char* success;
  };
  const Case cases[] = {
      {0, "0", "1"},
      {4001, "4001", "0"},
      {4002, "4002", "0"},
      {4003, "4003", "0"},
      {-7, "-7", "0"},
  };
  for (const Case& c : cases) {
    UsageReportRecord record;
    record.code = c.code;
    const std::string json = WriteUsageReportJson(record);
    EXPECT_NE(std::string::npos, json.find(std::string("   \"code\" : ") + c.codeText + ",\n"))
        << json;
    EXPECT_NE(std::string::npos, json.find(std::string("\"success\" : \"") + c.success + "\""))
        << json;
    EXPECT_NE(std::string::npos, json.find("\"des\" : \"MOVE_FILE_FAILED\"")) << json;
  }
}

// The endpoint knows the codes, not the engine's reasons: several reasons share a code, and no
// reason's code may ever change.
TEST(ReportCode, EveryReasonHasItsFixedCode) {
  const std::pair<UpdateOutcome, int32_t> codes[] = {
      {UpdateOutcome::kOk, 0},              {UpdateOutcome::kManifestInvalid, 1005},
      {UpdateOutcome::kCheckRefused, 4001}, {UpdateOutcome::kMoveFailed, 4001},
      {UpdateOutcome::kJournalFailed, 4001}, {UpdateOutcome::kRecoveryFailed, 4001},
      {UpdateOutcome::kUserCancelled, 4002}, {UpdateOutcome::kProcessEnding, 4002},
      {UpdateOutcome::kCloseFailed, 4003},
  };
  for (const auto& [reason, code] : codes) EXPECT_EQ(ReportCode(reason), code) << static_cast<int>(reason);
}

TEST(WriteUsageReportJson, EscapesQuotesBackslashesAndControlCharacters) {
  UsageReportRecord record;
  record.pccid = "a\"b\\c\td\x01";
  record.pcguid = "N/A";
  const std::string json = WriteUsageReportJson(record);
  EXPECT_NE(std::string::npos, json.find("\"pccid\" : \"a\\\"b\\\\c\\td\\u0001\",\n")) << json;
  EXPECT_NE(std::string::npos, json.find("\"pcguid\" : \"N/A\",\n")) << json;
}

// The record as jsoncpp holds it, for its own writers to write.
Json::Value ReferenceValue(const UsageReportRecord& record) {
  Json::Value root(Json::objectValue);
  root["pcguid"] = record.pcguid;
  root["pcvs"] = record.pcvs;
  root["uptovs"] = record.uptovs;
  root["pcvs_b"] = "2.2.0";
  root["pcos"] = record.pcos;
  root["pccid"] = record.pccid;
  root["type"] = 2;
  root["menuid"] = 10280;
  root["ticket"] = -1;
  root["code"] = record.code;
  root["pcclient"] = 11;
  root["success"] = record.code == 0 ? "1" : "0";
  root["des"] = "MOVE_FILE_FAILED";
  return root;
}

// Records whose strings hold every byte from `first` to 0xFF (never zero: no value holds one),
// spread over the members in different orders, and one with empty strings.
std::vector<UsageReportRecord> SweepRecords(int first, int last) {
  std::string bytes;
  for (int c = first; c <= last; ++c) bytes += static_cast<char>(c);
  const std::string reversed(bytes.rbegin(), bytes.rend());
  std::vector<UsageReportRecord> records(3);
  records[0].pcguid = bytes;
  records[0].pcvs = reversed;
  records[0].uptovs = bytes.substr(bytes.size() / 2) + bytes.substr(0, bytes.size() / 2);
  records[0].pcos = "6_1_0_64";
  records[0].pccid = reversed.substr(40);
  records[0].code = 4003;
  records[1].pcguid = "N/A";  // every other string empty, code 0
  records[2] = records[0];
  records[2].code = -7;
  return records;
}

// Today's receiving server has always been sent StyledWriter's text: for ASCII values, every
// byte from 0x01 to 0x7F in every string member, the text must not change by one byte.
TEST(WriteUsageReportJson, AsciiRecordIsWhatStyledWriterWrites) {
  for (const UsageReportRecord& record : SweepRecords(0x01, 0x7F)) {
    Json::StyledWriter styled;
    EXPECT_EQ(styled.write(ReferenceValue(record)), WriteUsageReportJson(record)) << record.code;
  }
}

// Every byte, in every string member: exactly what jsoncpp's own writer gives with the same
// layout and "emitUTF8" (bytes from 0x80 left as they are). Where jsoncpp is the shipped exe's
// lean one, that writer is missing: the native and 64-bit builds compare.
#ifndef ZR_JSONCPP_NO_STREAM_WRITERS
TEST(WriteUsageReportJson, AnyRecordIsWhatJsoncppWritesWithEmitUtf8) {
  Json::StreamWriterBuilder builder;
  builder["indentation"] = "   ";
  builder["commentStyle"] = "None";
  builder["emitUTF8"] = true;
  for (const UsageReportRecord& record : SweepRecords(0x01, 0xFF)) {
    EXPECT_EQ(Json::writeString(builder, ReferenceValue(record)) + "\n",
              WriteUsageReportJson(record))
        << record.code;
  }
}
#endif

// Values in any encoding go in as they are; only quotes, backslashes and control characters
// are escaped.
TEST(WriteUsageReportJson, WritesBytesFrom0x80Unchanged) {
  std::string high;
  for (int c = 0x80; c <= 0xFF; ++c) high += static_cast<char>(c);
  struct Case {
    const char* name;
    std::string value;
    std::string written;  // between the quotes
  };
  const Case cases[] = {
      {"GBK", "\xD6\xD0\xCE\xC4", "\xD6\xD0\xCE\xC4"},
      {"a lone lead byte before ASCII", "\xE9" "AB-123", "\xE9" "AB-123"},
      {"UTF-8", "3.1.0-\xE6\xB5\x8B\xE8\xAF\x95", "3.1.0-\xE6\xB5\x8B\xE8\xAF\x95"},
      {"every byte from 0x80", high, high},
      {"mixed with escapes", "\xD6\"\x01\\\xD0\r\n", "\xD6\\\"\\u0001\\\\\xD0\\r\\n"},
  };
  for (const Case& c : cases) {
    UsageReportRecord record;
    record.pcguid = c.value;
    record.pcvs = c.value;
    record.uptovs = c.value;
    record.pccid = c.value;
    const std::string json = WriteUsageReportJson(record);
    for (const char* name : {"pccid", "pcguid", "pcvs", "uptovs"}) {
      const std::string line = "   \"" + std::string(name) + "\" : \"" + c.written + "\"";
      EXPECT_NE(std::string::npos, json.find(line)) << c.name << " " << name << "\n" << json;
    }
  }
}

// The identity readers answer from this platform; the rest of the record comes from the
// arguments, and the whole text survives encryption.
TEST(BuildUsageReport, EncryptsTheRecordOfContextVersionAndCode) {
  const std::string payload = BuildUsageReport("2.4.1", 4003, "2.3.9");
  ASSERT_FALSE(payload.empty());

  UsageReportRecord expected;
  expected.pcguid = ReadMachineGuid();
  expected.pcvs = "2.3.9";
  expected.uptovs = "2.4.1";
  expected.pcos = DescribeOs();
  expected.pccid = ReadSourceId();
  expected.code = 4003;
  const std::string json = test::DecryptPayload(payload);
  EXPECT_EQ(WriteUsageReportJson(expected), json);
  EXPECT_EQ(0u, json.find("{\n   \"code\" : 4003,\n   \"des\" : \"MOVE_FILE_FAILED\",\n"));
  EXPECT_NE(std::string::npos, json.find("\"pcvs\" : \"2.3.9\",\n   \"pcvs_b\""));
  EXPECT_NE(std::string::npos, json.find("\"uptovs\" : \"2.4.1\"\n}\n"));
}

// A missing "/version" is an empty string; a UTF-8 one and a manifest version in another
// encoding come back from the payload byte for byte.
TEST(BuildUsageReport, VersionsComeBackAsTheyWere) {
  struct Case {
    std::string productVersion, manifestVersion;
  };
  const Case cases[] = {
      {"", ""},
      {"3.1.0-\xE6\xB5\x8B\xE8\xAF\x95", "3.2.0 \xD6\xD0\xCE\xC4"},
  };
  for (const Case& c : cases) {
    const std::string json = test::DecryptPayload(BuildUsageReport(c.manifestVersion, 4001, c.productVersion));
    EXPECT_NE(std::string::npos, json.find("   \"pcvs\" : \"" + c.productVersion + "\",\n")) << json;
    EXPECT_NE(std::string::npos, json.find("   \"uptovs\" : \"" + c.manifestVersion + "\"\n}\n"))
        << json;
  }
}

}  // namespace
}  // namespace zr
