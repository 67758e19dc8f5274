#include "skin/font_table.h"

#include <mutex>

namespace Skin {
namespace {

struct Shared {
  std::mutex mutex;
  std::map<int, FontInfo> fonts;
  bool hasDefault = false;
  FontInfo defaultFont;
};

Shared& TheShared() {
  static Shared* shared = new Shared();  // lives until the process ends
  return *shared;
}

}  // namespace

FontInfo CFontTable::BuiltInDefault() {
  FontInfo f;
  f.name = L"\u5FAE\u8F6F\u96C5\u9ED1";  // 微软雅黑
  f.size = 12;
  return f;
}

void CFontTable::Add(int id, const FontInfo& font, bool shared, bool isDefault) {
  if (shared) {
    auto& s = TheShared();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.fonts[id] = font;
    if (isDefault) {
      s.hasDefault = true;
      s.defaultFont = font;
    }
    return;
  }
  m_own[id] = font;
  if (isDefault) {
    m_hasDefault = true;
    m_default = font;
  }
}

FontInfo CFontTable::GetDefault() const {
  if (m_hasDefault) return m_default;
  auto& s = TheShared();
  std::lock_guard<std::mutex> lock(s.mutex);
  return s.hasDefault ? s.defaultFont : BuiltInDefault();
}

FontInfo CFontTable::Get(int index) const {
  auto it = m_own.find(index);
  if (it != m_own.end()) return it->second;
  {
    auto& s = TheShared();
    std::lock_guard<std::mutex> lock(s.mutex);
    auto sit = s.fonts.find(index);
    if (sit != s.fonts.end()) return sit->second;
  }
  return GetDefault();
}

void CFontTable::ResetShared() {
  auto& s = TheShared();
  std::lock_guard<std::mutex> lock(s.mutex);
  s.fonts.clear();
  s.hasDefault = false;
}

size_t CFontTable::SharedCount() {
  auto& s = TheShared();
  std::lock_guard<std::mutex> lock(s.mutex);
  return s.fonts.size();
}

}  // namespace Skin
