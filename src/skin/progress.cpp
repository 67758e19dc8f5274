#include "skin/progress.h"

#include <algorithm>

#include "skin/paint_manager.h"

namespace Skin {

bool CProgressUI::SetValue(int value) {
  if (value < m_minValue || value > m_maxValue || value == m_value) return false;
  m_value = value;
  Invalidate();
  if (m_manager) m_manager->ControlChanged(this, ControlChange::kValue);
  return true;
}

SkinRect CProgressUI::FilledRect() const {
  SkinRect r = m_pos;
  if (m_maxValue <= m_minValue) return SkinRect{r.left, r.top, r.left, r.bottom};
  long long span = static_cast<long long>(m_maxValue) - m_minValue;
  long long done = static_cast<long long>(m_value) - m_minValue;
  done = std::max(0LL, std::min(done, span));
  r.right = r.left + static_cast<int>(r.Width() * done / span);
  return r;
}

void CProgressUI::PaintStatusImage(ISurface& surface) {
  // An empty part is not drawn: the picture would be read for nothing.
  const SkinRect filled = FilledRect();
  if (!filled.IsEmpty()) DrawImage(surface, m_foreImage, filled);
}

void CProgressUI::SetAttribute(const std::wstring& name, const std::wstring& value) {
  if (name == L"min") {
    m_minValue = ParseInt(value);
  } else if (name == L"max") {
    m_maxValue = ParseInt(value);
  } else if (name == L"value") {
    SetValue(ParseInt(value));
  } else if (name == L"foreimage") {
    m_foreImage = value;
  } else {
    CLabelUI::SetAttribute(name, value);
  }
}

}  // namespace Skin
