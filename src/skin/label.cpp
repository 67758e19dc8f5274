#include "skin/label.h"

#include "skin/paint_manager.h"
#include "skin/skin_string.h"

namespace Skin {

CControlUI* CLabelUI::GetInterface(const std::wstring& name) {
  if (name == L"Label") return this;
  return CControlUI::GetInterface(name);
}

unsigned ApplyAlign(unsigned style, const std::wstring& value) {
  std::wstring v = AsciiLower(value);
  size_t i = 0;
  while (i <= v.size()) {
    size_t end = v.find_first_of(L"-, |", i);
    if (end == std::wstring::npos) end = v.size();
    std::wstring word = v.substr(i, end - i);
    if (word == L"left") {
      style = (style & ~(kTextCenter | kTextRight)) | kTextLeft;
    } else if (word == L"center") {
      style = (style & ~(kTextRight)) | kTextCenter;
    } else if (word == L"right") {
      style = (style & ~(kTextCenter)) | kTextRight;
    } else if (word == L"top") {
      style = style & ~(kTextVCenter | kTextBottom);
    } else if (word == L"vcenter") {
      style = (style & ~kTextBottom) | kTextVCenter;
    } else if (word == L"bottom") {
      style = (style & ~kTextVCenter) | kTextBottom;
    } else if (word == L"multiline") {
      style = (style & ~kTextSingleLine) | kTextWordBreak;
    } else if (word == L"singleline") {
      style = (style & ~kTextWordBreak) | kTextSingleLine;
    }
    i = end + 1;
  }
  return style;
}

Colour CLabelUI::CurrentTextColor() const {
  if (!enabled_ && AlphaOf(disabled_text_colour_)) return disabled_text_colour_;
  if (AlphaOf(text_colour_)) return text_colour_;
  return manager_ ? manager_->Window().default_font_colour : 0xFF000000;
}

void CLabelUI::PaintText(ISurface& surface) {
  if (text_.empty()) return;
  SkinRect r{pos_.left + text_padding_.left, pos_.top + text_padding_.top,
             pos_.right - text_padding_.right, pos_.bottom - text_padding_.bottom};
  if (r.IsEmpty()) return;
  surface.DrawText(r, text_, font_, CurrentTextColor(), text_style_ | kTextNoPrefix);
}

void CLabelUI::SetAttribute(const std::wstring& name, const std::wstring& value) {
  if (name == L"font") {
    font_ = ParseInt(value);
  } else if (name == L"textcolor") {
    text_colour_ = ParseColour(value);
  } else if (name == L"disabledtextcolor") {
    disabled_text_colour_ = ParseColour(value);
  } else if (name == L"align" || name == L"valign") {
    text_style_ = ApplyAlign(text_style_, value);
  } else if (name == L"endellipsis") {
    if (ParseBool(value)) {
      text_style_ |= kTextEndEllipsis;
    } else {
      text_style_ &= ~static_cast<unsigned>(kTextEndEllipsis);
    }
  } else if (name == L"textpadding") {
    text_padding_ = ParseRect(value);
  } else {
    CControlUI::SetAttribute(name, value);
  }
}

}  // namespace Skin
