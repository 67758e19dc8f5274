// Font descriptions by index. Each paint manager has its own table; fonts declared shared
// go to the skin context's shared table instead (CSharedFonts) and stay available to every
// window built later with that context. Lookup: the window's own font, then the shared one,
// then the default font.
#pragma once

#include <map>
#include <mutex>
#include <optional>
#include <string>

namespace Skin {

struct FontInfo {
  std::wstring name;
  int size = 12;  // pixel height of the character cell, as written in the documents
  bool bold = false;
  bool underline = false;
  bool italic = false;
  bool operator==(const FontInfo& o) const {
    return name == o.name && size == o.size && bold == o.bold && underline == o.underline && italic == o.italic;
  }
};

// The fonts of one table and its default. Guarded by a lock, for the shared table: the update
// worker's message boxes read the shared fonts while the UI thread may build a window.
class CSharedFonts {
 public:
  void Add(int id, const FontInfo& font, bool isDefault);
  // False when the table has no such font (or no default).
  bool Find(int index, FontInfo* out) const;
  bool FindDefault(FontInfo* out) const;
  size_t Count() const;

 private:
  mutable std::mutex m_mutex;
  std::map<int, FontInfo> m_fonts;
  std::optional<FontInfo> m_default;
};

class CFontTable {
 public:
  // `shared` (the skin context's) outlives the table.
  explicit CFontTable(CSharedFonts& shared) : m_shared(shared) {}
  // Adds to this window's table, or to the shared one when `shared`. A default font
  // becomes the window's (or, if shared, every later window's) default.
  void Add(int id, const FontInfo& font, bool shared, bool isDefault);
  FontInfo Get(int index) const;

  // The face every window falls back to ("微软雅黑", 12 pixels).
  static FontInfo BuiltInDefault();

 private:
  CSharedFonts& m_shared;
  CSharedFonts m_own;  // a table of the same kind, used by one thread only
};

}  // namespace Skin
