#include "support/fake_texts.h"

#include <cwctype>
#include <string_view>

#include "strings/string_table.h"

namespace zr::test {
namespace {

// The shipped document's bytes, as the build embeds them.
const unsigned char kDocument[] = {
#include "string_table_document.inc"
};

// "%d/%d 正在更新文件 %s" -> "(%d,%d,%s)"; "" when the text fills in nothing.
std::wstring Conversions(const std::wstring& text) {
  std::wstring found;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != L'%') continue;
    size_t end = i + 1;
    while (end < text.size() && !std::iswalpha(text[end]) && text[end] != L'%') ++end;
    while (end < text.size() && (text[end] == L'l' || text[end] == L'h')) ++end;
    if (end >= text.size() || text[end] == L'%') {
      i = end;  // "%%" is no conversion
      continue;
    }
    found += (found.empty() ? L"(" : L",") + text.substr(i, end + 1 - i);
    i = end;
  }
  return found.empty() ? found : found + L")";
}

}  // namespace

FakeTexts::FakeTexts() {
  const std::string_view document(reinterpret_cast<const char*>(kDocument), sizeof kDocument);
  for (const auto& [id, text] : StringTable::Parse(document)) m_texts[id] = id + Conversions(text);
}

std::wstring FakeTexts::Get(const std::wstring& id) const {
  const auto it = m_texts.find(id);
  return it == m_texts.end() ? std::wstring() : it->second;
}

}  // namespace zr::test
