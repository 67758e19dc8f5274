#include "skin/font_table.h"

namespace Skin {

void CSharedFonts::Add(int id, const FontInfo& font, bool isDefault) {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_fonts[id] = font;
  if (isDefault) m_default = font;
}

bool CSharedFonts::Find(int index, FontInfo* out) const {
  std::lock_guard<std::mutex> lock(m_mutex);
  auto it = m_fonts.find(index);
  if (it == m_fonts.end()) return false;
  *out = it->second;
  return true;
}

bool CSharedFonts::FindDefault(FontInfo* out) const {
  std::lock_guard<std::mutex> lock(m_mutex);
  if (m_default) *out = *m_default;
  return m_default.has_value();
}

size_t CSharedFonts::Count() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_fonts.size();
}

FontInfo CFontTable::BuiltInDefault() {
  FontInfo f;
  f.name = L"\u5FAE\u8F6F\u96C5\u9ED1";  // 微软雅黑
  f.size = 12;
  return f;
}

void CFontTable::Add(int id, const FontInfo& font, bool shared, bool isDefault) {
  if (shared) {
    m_shared.Add(id, font, isDefault);
    return;
  }
  m_own[id] = font;
  if (isDefault) m_default = font;
}

FontInfo CFontTable::GetDefault() const {
  if (m_default) return *m_default;
  FontInfo font;
  return m_shared.FindDefault(&font) ? font : BuiltInDefault();
}

FontInfo CFontTable::Get(int index) const {
  auto it = m_own.find(index);
  if (it != m_own.end()) return it->second;
  FontInfo font;
  return m_shared.Find(index, &font) ? font : GetDefault();
}

}  // namespace Skin
