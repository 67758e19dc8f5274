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
  return FontInfo{L"\u5FAE\u8F6F\u96C5\u9ED1"};  // 微软雅黑, at FontInfo's 12 pixels
}

void CFontTable::Add(int id, const FontInfo& font, bool shared, bool isDefault) {
  (shared ? m_shared : m_own).Add(id, font, isDefault);
}

FontInfo CFontTable::Get(int index) const {
  FontInfo font;
  if (m_own.Find(index, &font) || m_shared.Find(index, &font)) return font;
  return m_own.FindDefault(&font) || m_shared.FindDefault(&font) ? font : BuiltInDefault();
}

}  // namespace Skin
