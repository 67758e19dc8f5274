// The report's JSON text byte for byte, and the built payload read back through libcrypto.
#include "net/usage_report.h"

#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <memory>
#include <string>
#include <vector>

#include "net/identity.h"
#include "update/outcome.h"

namespace zr {
namespace {

TEST(WriteUsageReportJson, WritesTheExactStyledText) {
  UsageReportRecord record;
  record.pcguid = "{6B29FC40-CA47-1067-B31D-00DD010662DA}";
  record.pcvs = "";
  record.uptovs = "3.1.0.7";
  record.pcos = "6_1_0_64";
  record.pccid = "zoria_web\r\n";
  record.code = RESULT_MOVE_FAILED;
  EXPECT_EQ(
      "{\n"
      "   \"code\" : 4001,\n"
      "   \"des\" : \"MOVE_FILE_FAILED\",\n"
      "   \"menuid\" : 10280,\n"
      "   \"pccid\" : \"zoria_web\\r\\n\",\n"
      "   \"pcclient\" : 11,\n"
      "   \"pcguid\" : \"{6B29FC40-CA47-1067-B31D-00DD010662DA}\",\n"
      "   \"pcos\" : \"6_1_0_64\",\n"
      "   \"pcvs\" : \"\",\n"
      "   \"pcvs_b\" : \"2.2.0\",\n"
      "   \"success\" : \"0\",\n"
      "   \"ticket\" : -1,\n"
      "   \"type\" : 2,\n"
      "   \"uptovs\" : \"3.1.0.7\"\n"
      "}\n",
      WriteUsageReportJson(record));
}

TEST(WriteUsageReportJson, SuccessFollowsTheCodeAndDescriptionNever) {
  struct Case {
    int32_t code;
    const char* codeText;
    const char* success;
  };
  const Case cases[] = {
      {RESULT_OK, "0", "1"},
      {RESULT_MOVE_FAILED, "4001", "0"},
      {RESULT_USER_CANCELLED, "4002", "0"},
      {RESULT_CLOSE_FAILED, "4003", "0"},
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

TEST(WriteUsageReportJson, EscapesQuotesBackslashesAndControlCharacters) {
  UsageReportRecord record;
  record.pccid = "a\"b\\c\td\x01";
  record.pcguid = "N/A";
  const std::string json = WriteUsageReportJson(record);
  EXPECT_NE(std::string::npos, json.find("\"pccid\" : \"a\\\"b\\\\c\\td\\u0001\",\n")) << json;
  EXPECT_NE(std::string::npos, json.find("\"pcguid\" : \"N/A\",\n")) << json;
}

std::string PercentAndBase64Decode(const std::string& payload) {
  std::string base64;
  for (std::size_t i = 0; i < payload.size(); ++i) {
    if (payload[i] == '%' && i + 2 < payload.size()) {
      base64 += static_cast<char>(std::stoi(payload.substr(i + 1, 2), nullptr, 16));
      i += 2;
    } else {
      base64 += payload[i];
    }
  }
  std::string clean;
  for (const char c : base64) {
    if (c != '\r' && c != '\n') clean += c;
  }
  std::vector<unsigned char> out(clean.size());
  const int n = EVP_DecodeBlock(out.data(), reinterpret_cast<const unsigned char*>(clean.data()),
                                static_cast<int>(clean.size()));
  EXPECT_GE(n, 0);
  std::size_t size = static_cast<std::size_t>(n);
  // EVP_DecodeBlock counts the bytes that "=" padding stands for.
  if (!clean.empty() && clean.back() == '=') --size;
  if (clean.size() > 1 && clean[clean.size() - 2] == '=') --size;
  return std::string(reinterpret_cast<char*>(out.data()), size);
}

std::string Decrypt(const std::string& payload) {
  const std::string cipher = PercentAndBase64Decode(payload);
  const std::string key = "5809tumo3714962850kelvar";
  std::unique_ptr<EVP_CIPHER_CTX, decltype(&EVP_CIPHER_CTX_free)> ctx(EVP_CIPHER_CTX_new(),
                                                                        EVP_CIPHER_CTX_free);
  EVP_DecryptInit_ex(ctx.get(), EVP_des_ede3_ecb(), nullptr,
                     reinterpret_cast<const unsigned char*>(key.data()), nullptr);
  std::vector<unsigned char> out(cipher.size() + 8);
  int written = 0, last = 0;
  EXPECT_EQ(1, EVP_DecryptUpdate(ctx.get(), out.data(), &written,
                                 reinterpret_cast<const unsigned char*>(cipher.data()),
                                 static_cast<int>(cipher.size())));
  EXPECT_EQ(1, EVP_DecryptFinal_ex(ctx.get(), out.data() + written, &last));
  return std::string(reinterpret_cast<char*>(out.data()), static_cast<std::size_t>(written + last));
}

// The identity readers answer from this platform; the rest of the record comes from the
// arguments, and the whole text survives encryption.
TEST(BuildUsageReport, EncryptsTheRecordOfContextVersionAndCode) {
  CUpdateContext context;
  context.version = "2.4.1";
  const std::string payload = BuildUsageReport(context, RESULT_CLOSE_FAILED, "2.3.9");
  ASSERT_FALSE(payload.empty());

  UsageReportRecord expected;
  expected.pcguid = ReadMachineGuid();
  expected.pcvs = "2.3.9";
  expected.uptovs = "2.4.1";
  expected.pcos = DescribeOs();
  expected.pccid = ReadSourceId();
  expected.code = RESULT_CLOSE_FAILED;
  const std::string json = Decrypt(payload);
  EXPECT_EQ(WriteUsageReportJson(expected), json);
  EXPECT_EQ(0u, json.find("{\n   \"code\" : 4003,\n   \"des\" : \"MOVE_FILE_FAILED\",\n"));
  EXPECT_NE(std::string::npos, json.find("\"pcvs\" : \"2.3.9\",\n   \"pcvs_b\""));
  EXPECT_NE(std::string::npos, json.find("\"uptovs\" : \"2.4.1\"\n}\n"));
}

TEST(BuildUsageReport, MissingVersionIsAnEmptyString) {
  CUpdateContext context;
  const std::string json = Decrypt(BuildUsageReport(context, RESULT_MOVE_FAILED, ""));
  EXPECT_NE(std::string::npos, json.find("   \"pcvs\" : \"\",\n")) << json;
  EXPECT_NE(std::string::npos, json.find("   \"uptovs\" : \"\"\n")) << json;
}

}  // namespace
}  // namespace zr
