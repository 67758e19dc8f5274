#include "skin/progress.h"

#include <algorithm>

namespace Skin {

CControlUI* CProgressUI::GetInterface(const std::wstring& name) {
  if (name == L"Progress") return this;
  return CLabelUI::GetInterface(name);
}

bool CProgressUI::SetValue(int value) {
  if (value < min_value_ || value > max_value_ || value == value_) return false;
  value_ = value;
  Invalidate();
  return true;
}

SkinRect CProgressUI::FilledRect() const {
  SkinRect r = pos_;
  if (max_value_ <= min_value_) return SkinRect{r.left, r.top, r.left, r.bottom};
  long long span = static_cast<long long>(max_value_) - min_value_;
  long long done = static_cast<long long>(value_) - min_value_;
  done = std::max(0LL, std::min(done, span));
  r.right = r.left + static_cast<int>(r.Width() * done / span);
  return r;
}

void CProgressUI::PaintStatusImage(ISurface& surface) {
  if (fore_image_.empty()) return;
  SkinRect filled = FilledRect();
  if (filled.IsEmpty()) return;
  DrawImage(surface, fore_image_, filled);
}

void CProgressUI::SetAttribute(const std::wstring& name, const std::wstring& value) {
  if (name == L"min") {
    min_value_ = ParseInt(value);
  } else if (name == L"max") {
    max_value_ = ParseInt(value);
  } else if (name == L"value") {
    SetValue(ParseInt(value));
  } else if (name == L"foreimage") {
    fore_image_ = value;
  } else {
    CLabelUI::SetAttribute(name, value);
  }
}

}  // namespace Skin
