// The string table: every user-visible text the code produces, by id, from the XML document
// built into the program ("LANG" resource 107 on Windows, an embedded copy natively).
//
// The program builds one before any thread starts and only reads it afterwards, so lookups
// from the UI thread and the worker thread need no lock.
#pragma once

#include <string>
#include <string_view>
#include <unordered_map>

#include "strings/texts.h"

namespace zr {

class StringTable final : public ITexts {
 public:
  // The table of a document (see Parse); the program's own is ProgramDocument().
  explicit StringTable(std::string_view document) : m_texts(Parse(document)) {}

  // The text for an id (exact, case-sensitive), with " \t\n\r\f\v" trimmed from both ends;
  // empty when the id is absent or the document could not be read.
  std::wstring Get(const std::wstring& id) const override;

  // Parses a string table document: the first top-level "StringBundle", its "String"
  // children in order, attribute "id" as key, first character-data child as text, with
  // pugixml's parse_pi only (entities stay as written). The last occurrence of an id wins.
  // Any parse error gives an empty table.
  static std::unordered_map<std::wstring, std::wstring> Parse(std::string_view document);

  // The document's bytes as stored in the program; empty when it cannot be had.
  static std::string ProgramDocument();

 private:
  std::unordered_map<std::wstring, std::wstring> m_texts;
};

// Removes the six whitespace characters " \t\n\r\f\v" from one or both ends.
std::wstring TrimLeft(const std::wstring& text);
std::wstring TrimRight(const std::wstring& text);

}  // namespace zr
