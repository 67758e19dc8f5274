// Font descriptions by index. Each paint manager has its own table; fonts declared shared
// go to one process-wide table instead and stay available to every window built later.
// Lookup: the window's own font, then the shared one, then the default font.
//
// The shared table is guarded by a lock: the update worker's message boxes read it while
// the UI thread may build a window.
#pragma once

#include <map>
#include <string>

namespace Skin {

struct FontInfo {
  std::wstring name;
  int size = 12;  // pixel height of the character cell, as written in the documents
  bool bold = false;
  bool underline = false;
  bool italic = false;
  bool operator==(const FontInfo& o) const {
    return name == o.name && size == o.size && bold == o.bold && underline == o.underline &&
           italic == o.italic;
  }
};

class CFontTable {
 public:
  // Adds to this window's table, or to the shared one when `shared`. A default font
  // becomes the window's (or, if shared, every window's) default.
  void Add(int id, const FontInfo& font, bool shared, bool isDefault);
  FontInfo Get(int index) const;
  FontInfo GetDefault() const;

  // The face every window falls back to ("微软雅黑", 12 pixels).
  static FontInfo BuiltInDefault();
  // Forgets the shared fonts (tests only; never while windows exist).
  static void ResetShared();
  static size_t SharedCount();

 private:
  std::map<int, FontInfo> m_own;
  bool m_hasDefault = false;
  FontInfo m_default;
};

}  // namespace Skin
