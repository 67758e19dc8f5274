// The string table: parsing documents held in memory, trimming, and the shipped document as
// the program reads it (embedded natively, the "LANG" resource on Windows).

#include "strings/string_table.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "build_config.h"
#include "util/text.h"

namespace zr {
namespace {

// The table as sorted UTF-8 pairs, so that a mismatch prints readably.
std::map<std::string, std::string> Readable(const std::unordered_map<std::wstring, std::wstring>& table) {
  std::map<std::string, std::string> out;
  for (const auto& [id, text] : table) out[WideToUtf8(id)] = WideToUtf8(text);
  return out;
}

template <size_t N>
std::string Bytes(const char (&text)[N]) {
  return std::string(text, N - 1);
}

TEST(StringTableParse, ReadsDocuments) {
  struct Case {
    const char* name;
    std::string document;
    std::map<std::string, std::string> expected;
  } cases[] = {
      {"shipped form: declaration, CR LF, tabs",
       "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<StringBundle>\r\n\t<String id=\"ok\">确定</String>\r\n"
       "\t<String id=\"pro_update_file_dds\">%d/%d 正在更新文件 %s</String>\r\n</StringBundle>\r\n",
       {{"ok", "确定"}, {"pro_update_file_dds", "%d/%d 正在更新文件 %s"}}},
      {"the last occurrence wins",
       "<StringBundle><String id=\"a\">first</String><String id=\"b\">b</String><String id=\"a\">last</String>"
       "</StringBundle>",
       {{"a", "last"}, {"b", "b"}}},
      {"ids are case-sensitive", "<StringBundle><String id=\"ok\">1</String><String id=\"OK\">2</String></StringBundle>",
       {{"ok", "1"}, {"OK", "2"}}},
      {"entity references stay as written",
       "<StringBundle><String id=\"a\">R&amp;D &lt;x&gt; &#x41;&#66;</String></StringBundle>",
       {{"a", "R&amp;D &lt;x&gt; &#x41;&#66;"}}},
      {"entities in the id stay as written too", "<StringBundle><String id=\"a&amp;b\">x</String></StringBundle>",
       {{"a&amp;b", "x"}}},
      {"line ends are not normalised", "<StringBundle><String id=\"a\">one\r\ntwo\rthree</String></StringBundle>",
       {{"a", "one\r\ntwo\rthree"}}},
      {"whitespace is stored untrimmed", "<StringBundle><String id=\"a\">  更新 \r\n</String></StringBundle>",
       {{"a", "  更新 \r\n"}}},
      {"CDATA is not text", "<StringBundle><String id=\"a\"><![CDATA[hidden]]></String></StringBundle>", {{"a", ""}}},
      {"CDATA before the text is skipped",
       "<StringBundle><String id=\"a\"><![CDATA[hidden]]>shown</String></StringBundle>", {{"a", "shown"}}},
      {"text after a nested element is not part of the value",
       "<StringBundle><String id=\"a\">before<b>inner</b>after</String></StringBundle>", {{"a", "before"}}},
      {"the first character data may follow an element",
       "<StringBundle><String id=\"a\"><b>inner</b>after</String></StringBundle>", {{"a", "after"}}},
      {"a String without id is stored under the empty id", "<StringBundle><String>x</String></StringBundle>",
       {{"", "x"}}},
      {"a String without text stores the empty text",
       "<StringBundle><String id=\"a\"/><String id=\"b\"></String><String id=\"c\">   </String></StringBundle>",
       {{"a", ""}, {"b", ""}, {"c", ""}}},
      {"other children, comments and instructions are ignored",
       "<?xml version=\"1.0\"?><?tool x?><!-- c --><StringBundle><Note id=\"n\">no</Note><!-- c -->"
       "<?pi y?><String id=\"a\">x</String><string id=\"lower\">no</string></StringBundle>",
       {{"a", "x"}}},
      {"only the first StringBundle is read",
       "<StringBundle><String id=\"a\">1</String></StringBundle><StringBundle><String id=\"b\">2</String>"
       "</StringBundle>",
       {{"a", "1"}}},
      {"nested String elements are not entries",
       "<StringBundle><Group><String id=\"deep\">no</String></Group><String id=\"a\">x</String></StringBundle>",
       {{"a", "x"}}},
      {"another root gives an empty table", "<Strings><String id=\"a\">x</String></Strings>", {}},
      {"a root without String children gives an empty table", "<StringBundle><Other/></StringBundle>", {}},
      {"malformed XML gives an empty table, even what came before the error",
       "<StringBundle><String id=\"a\">x</String><String id=\"b\">y</StringBundle>", {}},
      {"an undeclared entity is no error, it stays as written",
       "<StringBundle><String id=\"a\">&nbsp;x</String></StringBundle>", {{"a", "&nbsp;x"}}},
      {"empty document", "", {}},
      {"the document ends at the first zero byte",
       Bytes("<StringBundle><String id=\"a\">x</String></StringBundle>\0<garbage"), {{"a", "x"}}},
      {"a zero byte inside the document cuts it short",
       Bytes("<StringBundle><String id=\"a\">x\0</String></StringBundle>"), {}},
      {"non-ASCII ids and four-byte characters",
       "<StringBundle><String id=\"标题\">😀 表情</String></StringBundle>", {{"标题", "😀 表情"}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(Readable(StringTable::Parse(c.document)), c.expected);
  }
}

TEST(StringTableTrim, RemovesTheSixWhitespaceCharactersOnly) {
  struct Case {
    std::wstring text;
    std::wstring left;
    std::wstring right;
  } cases[] = {
      {L"  更新 \r\n", L"更新 \r\n", L"  更新"},
      {L"\t\n\v\f\r x y \t\n\v\f\r", L"x y \t\n\v\f\r", L"\t\n\v\f\r x y"},
      {L"inner  space", L"inner  space", L"inner  space"},
      {L" \t\r\n", L"", L""},
      {L"", L"", L""},
      {L"\u3000全角\u3000", L"\u3000全角\u3000", L"\u3000全角\u3000"},
      {L"\u00a0nbsp\u00a0", L"\u00a0nbsp\u00a0", L"\u00a0nbsp\u00a0"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(WideToUtf8(c.text));
    EXPECT_EQ(TrimLeft(c.text), c.left);
    EXPECT_EQ(TrimRight(c.text), c.right);
  }
}

// The entries of the document the program carries, read through the lookup.
TEST(StringTableGet, ServesTheShippedDocument) {
  const std::map<std::string, std::string> shipped = {
      {"client_name", "Zoria投屏助手更新程序"},
      {"center_text_updating", "正在更新，请稍候..."},
      {"center_text_update_succeded", "Zoria投屏助手更新成功啦"},
      {"pro_getting_config", "正在获取更新配置文件..."},
      {"pro_parsing_config", "正在解析配置文件..."},
      {"pro_newest_version", "当前已是最新版本"},
      {"box_newest_version", "当前已是最新版本！"},
      {"pro_get_config_failed", "获取配置文件失败"},
      {"box_get_config_failed", "获取配置文件失败！"},
      {"pro_parse_config_failed", "解析配置文件失败"},
      {"box_parse_config_failed", "解析配置文件失败！"},
      {"box_title_parse_config_failed", "解析配置文件"},
      {"box_title_get_config_failed", "获取配置文件"},
      {"box_upater_outdate", "更新程序已过期，请使用主程序更新"},
      {"pro_downloading_file", "正在下载文件..."},
      {"pro_downloading_dds", "%d/%d 正在下载 %s"},
      {"pro_download_failed_dds", "%d/%d 下载 %s 失败"},
      {"unknown1", "下载 %s 失败"},
      {"unknown2", "下载 %s 失败！"},
      {"unknown3", "下载文件"},
      {"pro_verifying_dds", "%d/%d 正在校验文件 %s"},
      {"pro_verify_md5_error", "%d/%d 校验错误，文件 %s 的MD5值不一致"},
      {"unknown10", std::string("更新失败，请从Zoria投屏助手官网 ") + ZR_OFFICIAL_SITE_HOST + " 下载最新安装包。"},
      {"box_update_failed_goto_offical_site", "更新失败，请至官网下载最新安装包！"},
      {"box_exit_reboot", "退出Zoria投屏助手失败，请重启电脑后重试！"},
      {"unknown11", "关闭Zoria投屏助手失败！"},
      {"box_updater_busy", "另一个更新程序正在更新Zoria投屏助手，本次更新未进行，请稍后重试！"},
      {"box_close_tool", "继续更新会强行退出正在运行的Zoria投屏助手，您确定要更新吗？"},
      {"pro_updating_file", "正在更新文件..."},
      {"pro_update_file_dds", "%d/%d 正在更新文件 %s"},
      {"pro_refuse_replace_dds", "%d/%d 更新文件错误，文件(%s)被占用"},
      {"pro_file_in_use_s", "文件(%s)正被其他程序占用，正在等待..."},
      {"pro_rollback_dds", "%d/%d 正在回滚文件(%s)"},
      {"pro_restore_failed_dds", "%d/%d 无法恢复文件(%s)，请关闭占用它的程序后重试"},
      {"pro_journal_damaged", "无法读取更新记录(zrUpdater.journal)，请重启电脑后重试或重新安装Zoria投屏助手"},
      {"pro_update_finished", "更新完成！"},
      {"ok", "确定"},
      {"cancel", "取消"},
      {"update", "更新"},
      {"retry", "重试"},
      {"goto_offical_site", "去官网"},
      {"start_it_now", "立即体验"},
      {"cmd_open_failed_d", "启动程序失败,错误码:(%d)"},
      {"product_name", "Zoria投屏助手"},
      {"shutdown_updating_files", "正在更新Zoria投屏助手的文件，请等待更新完成"},
  };
  ASSERT_EQ(shipped.size(), 45u);
  const StringTable table(StringTable::ProgramDocument());
  for (const auto& [id, text] : shipped) {
    EXPECT_EQ(WideToUtf8(table.Get(Utf8ToWide(id))), text) << id;
  }
  for (const wchar_t* absent : {L"OK", L"Ok", L"absent", L"", L"ok ", L" ok", L"StringBundle", L"String"}) {
    EXPECT_EQ(table.Get(absent), L"") << WideToUtf8(absent);
  }
}

}  // namespace
}  // namespace zr
