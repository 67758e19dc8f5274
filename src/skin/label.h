// CLabelUI: a control that shows a text, one line by default, with an ellipsis on request;
// "multiline" in its align makes it wrap.
#pragma once

#include "skin/control.h"

namespace Skin {

class CLabelUI : public CControlUI {
 public:
  std::wstring GetClass() const override { return L"LabelUI"; }
  CControlUI* GetInterface(const std::wstring& name) override;

  int GetFont() const { return font_; }
  void SetFont(int index) { font_ = index; Invalidate(); }
  unsigned GetTextStyle() const { return text_style_; }
  void SetTextStyle(unsigned style) { text_style_ = style; Invalidate(); }
  Colour GetTextColor() const { return text_colour_; }
  void SetTextColor(Colour c) { text_colour_ = c; Invalidate(); }
  const SkinRect& GetTextPadding() const { return text_padding_; }

  void PaintText(ISurface& surface) override;
  void SetAttribute(const std::wstring& name, const std::wstring& value) override;

 protected:
  // The colour text is drawn in now (state colours of buttons override this).
  virtual Colour CurrentTextColor() const;

  int font_ = -1;  // -1: the window's default font
  unsigned text_style_ = kTextVCenter | kTextSingleLine;
  Colour text_colour_ = 0;
  Colour disabled_text_colour_ = 0;
  SkinRect text_padding_;
};

// Applies an "align"/"valign" value ("left", "right-vcenter", "left-top-multiline", ...) to
// a text style: horizontal and vertical words replace their axis, "multiline" turns wrapping
// on. Words it does not know are ignored.
unsigned ApplyAlign(unsigned style, const std::wstring& value);

}  // namespace Skin
