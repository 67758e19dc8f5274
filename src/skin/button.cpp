#include "skin/button.h"

#include <map>

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

namespace {

bool IsSet(Colour colour) { return AlphaOf(colour) != 0; }
bool IsSet(const std::wstring& image) { return !image.empty(); }

}  // namespace

template <typename T>
T CButtonUI::ForState(const T& normal, const T& hot, const T& pushed, const T& disabled) const {
  if (!m_enabled) return IsSet(disabled) ? disabled : normal;
  if (m_pushed && IsSet(pushed)) return pushed;
  return m_hot && IsSet(hot) ? hot : normal;
}

Colour CButtonUI::CurrentTextColor() const {
  const Colour c = ForState<Colour>(0, m_hotTextColour, m_pushedTextColour, 0);
  return IsSet(c) ? c : CLabelUI::CurrentTextColor();
}

Colour CButtonUI::CurrentBkColor() const {
  return ForState(m_bkcolor, m_hotBkColour, m_pushedBkColour, m_disabledBkColour);
}

void CButtonUI::PaintStatusImage(ISurface& surface) {
  const std::wstring image = ForState(m_normalImage, m_hotImage, m_pushedImage, m_disabledImage);
  if (IsSet(image)) DrawImage(surface, image, m_pos);
}

void CButtonUI::SetAttribute(const std::wstring& name, const std::wstring& value) {
  static const std::map<std::wstring, void (*)(CButtonUI&, const std::wstring&)> kSetters = {
      {L"normalimage", [](CButtonUI& b, const std::wstring& v) { b.m_normalImage = v; }},
      {L"hotimage", [](CButtonUI& b, const std::wstring& v) { b.m_hotImage = v; }},
      {L"pushedimage", [](CButtonUI& b, const std::wstring& v) { b.m_pushedImage = v; }},
      {L"disabledimage", [](CButtonUI& b, const std::wstring& v) { b.m_disabledImage = v; }},
      {L"hottextcolor", [](CButtonUI& b, const std::wstring& v) { b.m_hotTextColour = ParseColour(v); }},
      {L"pushedtextcolor", [](CButtonUI& b, const std::wstring& v) { b.m_pushedTextColour = ParseColour(v); }},
      {L"hotbkcolor", [](CButtonUI& b, const std::wstring& v) { b.m_hotBkColour = ParseColour(v); }},
      {L"pushedbkcolor", [](CButtonUI& b, const std::wstring& v) { b.m_pushedBkColour = ParseColour(v); }},
      {L"disabledbkcolor", [](CButtonUI& b, const std::wstring& v) { b.m_disabledBkColour = ParseColour(v); }},
  };
  auto it = kSetters.find(name);
  if (it == kSetters.end()) return CLabelUI::SetAttribute(name, value);
  it->second(*this, value);
}

}  // namespace Skin
