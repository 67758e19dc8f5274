#include "skin/label.h"

#include "skin/paint_manager.h"
#include "util/ascii.h"

namespace Skin {

unsigned ApplyAlign(unsigned style, const std::wstring& value) {
  // Each word: the flags it clears, then the ones it sets.
  static const struct {
    const wchar_t* word;
    unsigned clear, set;
  } kWords[] = {{L"left", kTextCenter | kTextRight, kTextLeft},
                {L"center", kTextRight, kTextCenter},
                {L"right", kTextCenter, kTextRight},
                {L"top", kTextVCenter | kTextBottom, kTextTop},
                {L"vcenter", kTextBottom, kTextVCenter},
                {L"bottom", kTextVCenter, kTextBottom},
                {L"multiline", kTextSingleLine, kTextWordBreak},
                {L"singleline", kTextWordBreak, kTextSingleLine}};
  std::wstring v = zr::AsciiLower(value);
  size_t i = 0;
  while (i <= v.size()) {
    size_t end = v.find_first_of(L"-, |", i);
    if (end == std::wstring::npos) end = v.size();
    const std::wstring word = v.substr(i, end - i);
    for (const auto& w : kWords) {
      if (word == w.word) style = (style & ~w.clear) | w.set;
    }
    i = end + 1;
  }
  return style;
}

Colour CLabelUI::CurrentTextColor() const {
  if (!m_enabled && AlphaOf(m_disabledTextColour)) return m_disabledTextColour;
  if (AlphaOf(m_textColour)) return m_textColour;
  return m_manager ? m_manager->Window().defaultFontColour : 0xFF000000;
}

void CLabelUI::PaintText(ISurface& surface) {
  if (m_text.empty()) return;
  const SkinRect r = m_pos.Deflated(m_textPadding);
  if (r.IsEmpty()) return;
  surface.DrawText(r, m_text, m_font, CurrentTextColor(), m_textStyle | kTextNoPrefix);
}

void CLabelUI::SetAttribute(const std::wstring& name, const std::wstring& value) {
  if (name == L"font") {
    m_font = ParseInt(value);
  } else if (name == L"textcolor") {
    m_textColour = ParseColour(value);
  } else if (name == L"disabledtextcolor") {
    m_disabledTextColour = ParseColour(value);
  } else if (name == L"align" || name == L"valign") {
    m_textStyle = ApplyAlign(m_textStyle, value);
  } else if (name == L"endellipsis") {
    const unsigned others = m_textStyle & ~static_cast<unsigned>(kTextEndEllipsis);
    m_textStyle = ParseBool(value) ? others | kTextEndEllipsis : others;
  } else if (name == L"textpadding") {
    m_textPadding = ParseRect(value);
  } else {
    CControlUI::SetAttribute(name, value);
  }
}

}  // namespace Skin
