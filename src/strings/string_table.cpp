#include "strings/string_table.h"

#include <pugixml.hpp>

#include "util/text.h"

namespace zr {
namespace {

constexpr wchar_t kWhitespace[] = L" \t\n\r\f\v";

using Table = std::unordered_map<std::wstring, std::wstring>;

// The first character-data child: text after a nested element is not part of the value.
const char* FirstCharacterData(const pugi::xml_node& element) {
  for (pugi::xml_node child = element.first_child(); child; child = child.next_sibling()) {
    if (child.type() == pugi::node_pcdata) return child.value();
  }
  return "";
}

}  // namespace

std::wstring TrimLeft(const std::wstring& text) {
  const size_t first = text.find_first_not_of(kWhitespace);
  return first == std::wstring::npos ? std::wstring() : text.substr(first);
}

std::wstring TrimRight(const std::wstring& text) {
  const size_t last = text.find_last_not_of(kWhitespace);
  return last == std::wstring::npos ? std::wstring() : text.substr(0, last + 1);
}

Table StringTable::Parse(std::string_view document) {
  Table table;
  document = document.substr(0, document.find('\0'));
  pugi::xml_document parsed;
  if (!parsed.load_buffer(document.data(), document.size(), pugi::parse_pi, pugi::encoding_utf8)) {
    return table;  // nothing parsed before an error is used
  }
  const pugi::xml_node bundle = parsed.child("StringBundle");
  for (pugi::xml_node entry = bundle.child("String"); entry; entry = entry.next_sibling("String")) {
    table[Utf8ToWide(entry.attribute("id").value())] = Utf8ToWide(FirstCharacterData(entry));
  }
  return table;
}

std::wstring StringTable::Get(const std::wstring& id) const {
  const auto it = m_texts.find(id);
  return it == m_texts.end() ? std::wstring() : TrimRight(TrimLeft(it->second));
}

}  // namespace zr
