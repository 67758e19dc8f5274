// The update manifest parser: what it stores, what it rejects, and the corners of its XML.

#include "update/manifest.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "update/outcome.h"
#include "update/update_context.h"
#include "util/text.h"

namespace zr {
namespace {

struct ExpectedFile {
  std::string md5;
  std::wstring tmp;
  std::wstring path;
};

struct ManifestCase {
  const char* name;
  std::string content;
  UpdateOutcome result;
  std::string version;
  std::vector<ExpectedFile> files;
};

// A literal with its embedded zero bytes.
template <size_t N>
std::string Bytes(const char (&text)[N]) {
  return std::string(text, N - 1);
}

// UTF-16LE with a byte-order mark, as an editor would save it.
std::string Utf16Le(const std::string& ascii) {
  std::string out = "\xFF\xFE";
  for (char c : ascii) {
    out += c;
    out += '\0';
  }
  return out;
}

const char kOneFile[] = "<config><file><tmp>T</tmp><path>P</path></file></config>";

std::vector<ManifestCase> Cases() {
  return {
      {"one file with tmp and path only", kOneFile, UpdateOutcome::kOk, "", {{"", L"T", L"P"}}},
      {"everything, in document order",
       "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
       "<config>\n"
       "  <version>3.2.1</version>\n"
       "  <removedfiles><item><path>C:\\a\\old1.dll</path></item>\n"
       "                <item><path>C:\\a\\old2.dll</path></item></removedfiles>\n"
       "  <file><url>http://h/1</url><md5>aa</md5><tmp>C:\\c\\1</tmp><path>C:\\a\\1.dll</path></file>\n"
       "  <file><url>http://h/2</url><md5>bb</md5><tmp>C:\\c\\2</tmp><path>C:\\a\\2.dll</path></file>\n"
       "  <file><url>http://h/3</url><md5>cc</md5><tmp>C:\\c\\3</tmp><path>C:\\a\\3.dll</path></file>\n"
       "</config>\n",
       UpdateOutcome::kOk,
       "3.2.1",
       {{"aa", L"C:\\c\\1", L"C:\\a\\1.dll"},
        {"bb", L"C:\\c\\2", L"C:\\a\\2.dll"},
        {"cc", L"C:\\c\\3", L"C:\\a\\3.dll"}}},
      {"file element under another name keeps the version",
       "<config><version>1.2</version><files><tmp>T</tmp><path>P</path></files></config>",
       UpdateOutcome::kManifestInvalid, "1.2", {}},
      {"removed files but no file entry",
       "<config><version>9</version><removedfiles><item><path>R</path></item></removedfiles></config>",
       UpdateOutcome::kManifestInvalid, "9", {}},
      {"empty content", "", UpdateOutcome::kManifestInvalid, "", {}},
      {"malformed XML", "<config><file><tmp>T</tmp><path>P</path></file>", UpdateOutcome::kManifestInvalid, "", {}},
      {"mismatched tags", "<config><file></config></file>", UpdateOutcome::kManifestInvalid, "", {}},
      {"not XML at all", "version=1\nfile=a", UpdateOutcome::kManifestInvalid, "", {}},
      {"no config element", "<update><file><tmp>T</tmp><path>P</path></file></update>",
       UpdateOutcome::kManifestInvalid, "", {}},
      {"config below the top level is not found",
       "<root><config><file><tmp>T</tmp><path>P</path></file></config></root>", UpdateOutcome::kManifestInvalid,
       "", {}},
      {"config is case-sensitive", "<Config><file><tmp>T</tmp><path>P</path></file></Config>",
       UpdateOutcome::kManifestInvalid, "", {}},
      {"removedfiles lists are accepted and ignored",
       "<config><removedfiles><item><path>first</path></item></removedfiles>"
       "<removedfiles><item><path>second</path></item></removedfiles>"
       "<file><tmp>T</tmp><path>P</path></file></config>",
       UpdateOutcome::kOk, "", {{"", L"T", L"P"}}},
      {"the first of two path children is used",
       "<config><file><tmp>T</tmp><path>first</path><path>second</path></file></config>", UpdateOutcome::kOk, "",
       {{"", L"T", L"first"}}},
      {"the first of two versions is used",
       "<config><version>1</version><version>2</version>" + std::string(kOneFile + 8), UpdateOutcome::kOk, "1",
       {{"", L"T", L"P"}}},
      {"a file without children is accepted with empty fields", "<config><file/></config>", UpdateOutcome::kOk, "",
       {{"", L"", L""}}},
      {"non-ASCII UTF-8 path",
       "<config><file><tmp>C:\\缓存\\ä.tmp</tmp><path>C:\\程序 文件\\投屏助手 😀.dll</path></file></config>",
       UpdateOutcome::kOk, "", {{"", L"C:\\缓存\\ä.tmp", L"C:\\程序 文件\\投屏助手 😀.dll"}}},
      {"version bytes are kept as UTF-8", "<config><version>版本 2</version>" + std::string(kOneFile + 8),
       UpdateOutcome::kOk, "版本 2", {{"", L"T", L"P"}}},
      {"UTF-16 file ends at its first zero byte", Utf16Le(kOneFile), UpdateOutcome::kManifestInvalid, "", {}},
      {"CDATA counts as text and the ampersand entity is decoded",
       "<config><file><tmp><![CDATA[C:\\c\\a&b<1>.tmp]]></tmp><path>C:\\R&amp;D\\x.dll</path></file></config>",
       UpdateOutcome::kOk, "", {{"", L"C:\\c\\a&b<1>.tmp", L"C:\\R&D\\x.dll"}}},
      {"character references are decoded",
       "<config><file><tmp>&#x6587;&#20214;</tmp><path>&lt;&gt;&quot;&apos;</path></file></config>", UpdateOutcome::kOk,
       "", {{"", L"文件", L"<>\"'"}}},
      {"line ends are normalised", "<config><file><tmp>a\r\nb\rc</tmp><path>P</path></file></config>",
       UpdateOutcome::kOk, "", {{"", L"a\nb\nc", L"P"}}},
      {"the text is the first text child, comments and elements skipped",
       "<config><file><tmp><!-- staged --><x/>T</tmp><path a=\"1\">P<y/>Q</path></file></config>", UpdateOutcome::kOk,
       "", {{"", L"T", L"P"}}},
      {"whitespace around the text is kept", "<config><file><tmp> T </tmp><path>P</path></file></config>",
       UpdateOutcome::kOk, "", {{"", L" T ", L"P"}}},
      {"other elements, attributes and instructions are ignored",
       "<?xml version=\"1.0\"?><?app x?><config build=\"7\"><note>n</note><file kind=\"dll\"><size>3</size>"
       "<tmp>T</tmp><path>P</path></file><!-- end --></config>",
       UpdateOutcome::kOk, "", {{"", L"T", L"P"}}},
      {"content after a zero byte is not read", Bytes("<config><file><tmp>T</tmp><path>P</path></file></config>\0<"),
       UpdateOutcome::kOk, "", {{"", L"T", L"P"}}},
      {"a zero byte inside the document cuts it", Bytes("<config><file><tmp>T\0</tmp><path>P</path></file></config>"),
       UpdateOutcome::kManifestInvalid, "", {}},
  };
}

TEST(ParseUpdateManifest, MapsTheDocumentIntoTheContext) {
  for (const ManifestCase& c : Cases()) {
    SCOPED_TRACE(c.name);
    CUpdateContext context;
    EXPECT_EQ(ParseUpdateManifest(context, c.content), c.result);
    EXPECT_EQ(context.version, c.version);
    ASSERT_EQ(context.files.size(), c.files.size());
    for (size_t i = 0; i < c.files.size(); ++i) {
      EXPECT_EQ(context.files[i].md5, c.files[i].md5) << "entry " << i;
      EXPECT_EQ(WideToUtf8(context.files[i].tmp), WideToUtf8(c.files[i].tmp)) << "entry " << i;
      EXPECT_EQ(WideToUtf8(context.files[i].path), WideToUtf8(c.files[i].path)) << "entry " << i;
    }
    EXPECT_TRUE(context.backups.empty());
  }
}

TEST(ParseUpdateManifest, AddsToWhatTheContextHolds) {
  CUpdateContext context;
  context.files.push_back({"m", L"old tmp", L"old path"});
  context.backups.push_back({L"t", L"t.bak"});

  ASSERT_EQ(ParseUpdateManifest(context,
                                "<config><removedfiles><item><path>R</path></item></removedfiles>"
                                "<file><tmp>T</tmp><path>P</path></file></config>"),
            UpdateOutcome::kOk);
  ASSERT_EQ(context.files.size(), 2u);
  EXPECT_EQ(context.files[0].path, L"old path");
  EXPECT_EQ(context.files[1].path, L"P");
  EXPECT_EQ(context.backups.size(), 1u);
}

TEST(ParseUpdateManifest, AcceptsManyEntriesInOrder) {
  std::string content = "<config>";
  for (int i = 0; i < 2000; ++i) {
    content += "<file><tmp>t" + std::to_string(i) + "</tmp><path>p" + std::to_string(i) + "</path></file>";
  }
  content += "</config>";
  CUpdateContext context;
  ASSERT_EQ(ParseUpdateManifest(context, content), UpdateOutcome::kOk);
  ASSERT_EQ(context.files.size(), 2000u);
  for (int i = 0; i < 2000; ++i) ASSERT_EQ(context.files[static_cast<size_t>(i)].path, L"p" + std::to_wstring(i));
}

}  // namespace
}  // namespace zr
