#include "skin/button.h"

#include "skin/paint_manager.h"

namespace Skin {

CButtonUI::CButtonUI() { m_textStyle = kTextSingleLine | kTextVCenter | kTextCenter; }

void CButtonUI::DoEvent(SkinEvent& event) {
  if (!m_enabled) {
    m_hot = m_pushed = false;
    return;
  }
  switch (event.type) {
    case EventType::kMouseEnter:
    case EventType::kMouseLeave:
      m_hot = event.type == EventType::kMouseEnter;
      Invalidate();
      break;
    case EventType::kButtonDown:
      m_pushed = true;
      Invalidate();
      break;
    case EventType::kMouseMove:
      // While held, the button looks pushed only with the pointer over it.
      if (m_manager && m_manager->GetPushed() == this) {
        bool over = m_pos.Contains(event.point);
        if (over != m_pushed) {
          m_pushed = over;
          Invalidate();
        }
      }
      break;
    case EventType::kButtonUp:
      m_pushed = false;
      m_hot = m_pos.Contains(event.point);
      Invalidate();
      break;
    default: CLabelUI::DoEvent(event);
  }
}

Colour CButtonUI::CurrentTextColor() const {
  if (m_enabled) {
    if (m_pushed && AlphaOf(m_pushedTextColour)) return m_pushedTextColour;
    if (m_hot && AlphaOf(m_hotTextColour)) return m_hotTextColour;
  }
  return CLabelUI::CurrentTextColor();
}

void CButtonUI::PaintBkColor(ISurface& surface) {
  Colour c = m_bkcolor;
  if (!m_enabled) {
    if (AlphaOf(m_disabledBkColour)) c = m_disabledBkColour;
  } else if (m_pushed && AlphaOf(m_pushedBkColour)) {
    c = m_pushedBkColour;
  } else if (m_hot && AlphaOf(m_hotBkColour)) {
    c = m_hotBkColour;
  }
  if (AlphaOf(c)) surface.FillRoundRect(m_pos, m_borderround, c);
}

const std::wstring& CButtonUI::CurrentImage() const {
  if (!m_enabled) {
    if (!m_disabledImage.empty()) return m_disabledImage;
  } else if (m_pushed && !m_pushedImage.empty()) {
    return m_pushedImage;
  } else if (m_hot && !m_hotImage.empty()) {
    return m_hotImage;
  }
  return m_normalImage;
}

void CButtonUI::PaintStatusImage(ISurface& surface) {
  const std::wstring& image = CurrentImage();
  if (!image.empty()) DrawImage(surface, image);
}

void CButtonUI::SetAttribute(const std::wstring& name, const std::wstring& value) {
  if (name == L"normalimage") {
    m_normalImage = value;
  } else if (name == L"hotimage") {
    m_hotImage = value;
  } else if (name == L"pushedimage") {
    m_pushedImage = value;
  } else if (name == L"disabledimage") {
    m_disabledImage = value;
  } else if (name == L"hottextcolor") {
    m_hotTextColour = ParseColour(value);
  } else if (name == L"pushedtextcolor") {
    m_pushedTextColour = ParseColour(value);
  } else if (name == L"hotbkcolor") {
    m_hotBkColour = ParseColour(value);
  } else if (name == L"pushedbkcolor") {
    m_pushedBkColour = ParseColour(value);
  } else if (name == L"disabledbkcolor") {
    m_disabledBkColour = ParseColour(value);
  } else {
    CLabelUI::SetAttribute(name, value);
  }
}

}  // namespace Skin
