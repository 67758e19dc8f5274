#include "skin/button.h"

#include "skin/paint_manager.h"

namespace Skin {

CButtonUI::CButtonUI() { text_style_ = kTextSingleLine | kTextVCenter | kTextCenter; }

CControlUI* CButtonUI::GetInterface(const std::wstring& name) {
  if (name == L"Button") return this;
  return CLabelUI::GetInterface(name);
}

bool CButtonUI::Activate() { return CControlUI::Activate(); }

void CButtonUI::DoEvent(SkinEvent& event) {
  if (!enabled_) {
    hot_ = pushed_ = false;
    return;
  }
  switch (event.type) {
    case EventType::kMouseEnter:
      hot_ = true;
      Invalidate();
      break;
    case EventType::kMouseLeave:
      hot_ = false;
      Invalidate();
      break;
    case EventType::kButtonDown:
      pushed_ = true;
      Invalidate();
      break;
    case EventType::kMouseMove:
      // While held, the button looks pushed only with the pointer over it.
      if (manager_ && manager_->GetPushed() == this) {
        bool over = pos_.Contains(event.point);
        if (over != pushed_) {
          pushed_ = over;
          Invalidate();
        }
      }
      break;
    case EventType::kButtonUp:
      pushed_ = false;
      hot_ = pos_.Contains(event.point);
      Invalidate();
      break;
    default:
      CLabelUI::DoEvent(event);
  }
}

Colour CButtonUI::CurrentTextColor() const {
  if (enabled_) {
    if (pushed_ && AlphaOf(pushed_text_colour_)) return pushed_text_colour_;
    if (hot_ && AlphaOf(hot_text_colour_)) return hot_text_colour_;
  }
  return CLabelUI::CurrentTextColor();
}

void CButtonUI::PaintBkColor(ISurface& surface) {
  Colour c = bkcolor_;
  if (!enabled_) {
    if (AlphaOf(disabled_bk_colour_)) c = disabled_bk_colour_;
  } else if (pushed_ && AlphaOf(pushed_bk_colour_)) {
    c = pushed_bk_colour_;
  } else if (hot_ && AlphaOf(hot_bk_colour_)) {
    c = hot_bk_colour_;
  }
  if (AlphaOf(c)) surface.FillRoundRect(pos_, borderround_, c);
}

const std::wstring& CButtonUI::CurrentImage() const {
  if (!enabled_) {
    if (!disabled_image_.empty()) return disabled_image_;
  } else if (pushed_ && !pushed_image_.empty()) {
    return pushed_image_;
  } else if (hot_ && !hot_image_.empty()) {
    return hot_image_;
  }
  return normal_image_;
}

void CButtonUI::PaintStatusImage(ISurface& surface) {
  const std::wstring& image = CurrentImage();
  if (!image.empty()) DrawImage(surface, image);
}

void CButtonUI::SetAttribute(const std::wstring& name, const std::wstring& value) {
  if (name == L"normalimage") {
    normal_image_ = value;
  } else if (name == L"hotimage") {
    hot_image_ = value;
  } else if (name == L"pushedimage") {
    pushed_image_ = value;
  } else if (name == L"disabledimage") {
    disabled_image_ = value;
  } else if (name == L"hottextcolor") {
    hot_text_colour_ = ParseColour(value);
  } else if (name == L"pushedtextcolor") {
    pushed_text_colour_ = ParseColour(value);
  } else if (name == L"hotbkcolor") {
    hot_bk_colour_ = ParseColour(value);
  } else if (name == L"pushedbkcolor") {
    pushed_bk_colour_ = ParseColour(value);
  } else if (name == L"disabledbkcolor") {
    disabled_bk_colour_ = ParseColour(value);
  } else {
    CLabelUI::SetAttribute(name, value);
  }
}

}  // namespace Skin
