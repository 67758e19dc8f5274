// CLabelUI: a control that shows a text, one line by default, with an ellipsis on request;
// "multiline" in its align makes it wrap. CTextUI: a label used for longer texts (a box's
// message); it behaves as CLabelUI.
#pragma once

#include "skin/control.h"

namespace Skin {

inline constexpr wchar_t kLabelName[] = L"Label";
class CLabelUI : public CNamedControl<CControlUI, kLabelName> {
 public:
  int GetFont() const { return m_font; }
  unsigned GetTextStyle() const { return m_textStyle; }
  Colour GetTextColor() const { return m_textColour; }

  void PaintText(ISurface& surface) override;
  void SetAttribute(const std::wstring& name, const std::wstring& value) override;

 protected:
  // The colour text is drawn in now (state colours of buttons override this).
  virtual Colour CurrentTextColor() const;

  int m_font = -1;  // -1: the window's default font
  unsigned m_textStyle = kTextVCenter | kTextSingleLine;
  Colour m_textColour = 0;
  Colour m_disabledTextColour = 0;
  SkinRect m_textPadding;
};

// Applies an "align"/"valign" value ("left", "right-vcenter", "left-top-multiline", ...) to
// a text style: horizontal and vertical words replace their axis, "multiline" turns wrapping
// on. Words it does not know are ignored.
unsigned ApplyAlign(unsigned style, const std::wstring& value);

inline constexpr wchar_t kTextName[] = L"Text";
class CTextUI : public CNamedControl<CLabelUI, kTextName> {};

}  // namespace Skin
