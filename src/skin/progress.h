// CProgressUI: a horizontal bar; the fore picture fills the part of the bar given by the
// value within [min, max].
#pragma once

#include "skin/label.h"

namespace Skin {

inline constexpr wchar_t kProgressName[] = L"Progress";
class CProgressUI : public CNamedControl<CLabelUI, kProgressName> {
 public:
  int GetMinValue() const { return m_minValue; }
  int GetMaxValue() const { return m_maxValue; }
  int GetValue() const { return m_value; }
  // Changes the value only when it lies within [min, max] and differs from the current one;
  // then repaints. Returns whether it changed.
  bool SetValue(int value);
  // The filled part of the bar for the current value, in client coordinates.
  SkinRect FilledRect() const;

  void PaintStatusImage(ISurface& surface) override;
  void SetAttribute(const std::wstring& name, const std::wstring& value) override;

 private:
  int m_minValue = 0;
  int m_maxValue = 100;
  int m_value = 0;
  std::wstring m_foreImage;
};

}  // namespace Skin
