#include "skin/option.h"

#include <vector>

#include "skin/paint_manager.h"

namespace Skin {

CControlUI* COptionUI::GetInterface(const std::wstring& name) {
  if (name == L"Option") return this;
  return CButtonUI::GetInterface(name);
}

bool COptionUI::Activate() {
  if (!CButtonUI::Activate()) return false;
  Selected(group_.empty() ? !selected_ : true);
  return true;
}

void COptionUI::Selected(bool selected) {
  if (selected_ == selected) return;
  selected_ = selected;
  if (selected_ && !group_.empty() && manager_ && manager_->GetRoot()) {
    // Unselect the other options of the group.
    std::vector<COptionUI*> others;
    manager_->GetRoot()->VisitTree([&](CControlUI* c) {
      auto* o = static_cast<COptionUI*>(c->GetInterface(L"Option"));
      if (o && o != this && o->group_ == group_ && o->selected_) others.push_back(o);
    });
    for (COptionUI* o : others) o->Selected(false);
  }
  Invalidate();
  if (manager_) manager_->SendNotify(this, L"selectchanged");
}

void COptionUI::PaintStatusImage(ISurface& surface) {
  if (selected_ && !selected_image_.empty()) {
    DrawImage(surface, selected_image_);
    return;
  }
  CButtonUI::PaintStatusImage(surface);
}

void COptionUI::SetAttribute(const std::wstring& name, const std::wstring& value) {
  if (name == L"group") {
    group_ = value;
  } else if (name == L"selected") {
    selected_ = ParseBool(value);
  } else if (name == L"selectedimage") {
    selected_image_ = value;
  } else {
    CButtonUI::SetAttribute(name, value);
  }
}

}  // namespace Skin
