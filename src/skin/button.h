// CButtonUI: a label that reacts to the mouse, with a picture and colours per state
// (normal, hot, pushed, disabled).
#pragma once

#include "skin/label.h"

namespace Skin {

inline constexpr wchar_t kButtonName[] = L"Button";
class CButtonUI : public CNamedControl<CLabelUI, kButtonName> {
 public:
  CButtonUI();
  bool IsClickable() const override { return true; }

  bool IsHot() const { return m_hot; }
  bool IsPushed() const { return m_pushed; }

  void DoEvent(SkinEvent& event) override;
  void PaintStatusImage(ISurface& surface) override;
  void SetAttribute(const std::wstring& name, const std::wstring& value) override;

 protected:
  Colour CurrentBkColor() const override;
  Colour CurrentTextColor() const override;
  // The value for the current state (the pushed one before the hot one) when it is set, else
  // `normal`; a disabled button has only its disabled value or `normal`.
  template <typename T>
  T ForState(const T& normal, const T& hot, const T& pushed, const T& disabled) const;

  bool m_hot = false;
  bool m_pushed = false;
  std::wstring m_normalImage, m_hotImage, m_pushedImage, m_disabledImage;
  Colour m_hotTextColour = 0, m_pushedTextColour = 0;
  Colour m_hotBkColour = 0, m_pushedBkColour = 0, m_disabledBkColour = 0;
};

}  // namespace Skin
