#include "skin/accessible_tree.h"

#include "skin/paint_manager.h"
#include "skin/progress.h"
#include "util/ascii.h"

namespace Skin {
namespace {

bool IsItem(CControlUI* control) {
  return control->GetInterface(L"Label") != nullptr;  // labels, texts, buttons, progress bars
}

bool IsShown(const CControlUI* control) {
  for (const CControlUI* c = control; c; c = c->GetParent()) {
    if (!c->IsVisible()) return false;
  }
  return true;
}

}  // namespace

std::vector<CControlUI*> AccessibleControls(CControlUI* root) {
  std::vector<CControlUI*> items;
  if (root) {
    root->VisitTree([&items](CControlUI* c) {
      if (IsItem(c)) items.push_back(c);
    });
  }
  return items;
}

AccessibleItem DescribeAccessible(CControlUI* control) {
  AccessibleItem item;
  item.control = control;
  if (!control) return item;
  const CControlUI::AccessibleInfo& info = control->GetAccessibleInfo();
  item.shown = IsShown(control);
  item.enabled = control->IsEnabled();
  item.name = !info.name.empty() ? info.name : !control->GetText().empty() ? control->GetText() : control->GetToolTip();
  if (auto* progress = dynamic_cast<CProgressUI*>(control->GetInterface(L"Progress"))) {
    item.role = AccessibleRole::kProgress;
    int span = progress->GetMaxValue() - progress->GetMinValue();
    int percent = span > 0 ? (progress->GetValue() - progress->GetMinValue()) * 100 / span : 0;
    item.value = std::to_wstring(percent) + L"%";
  } else if (control->GetInterface(L"Button") != nullptr) {
    item.role = zr::EqualsIgnoringAsciiCase(info.role, L"link") ? AccessibleRole::kLink : AccessibleRole::kButton;
    item.value = info.value;
    item.defaultAction = L"press";
  } else {
    item.value = control->GetText();
  }
  return item;
}

std::wstring AccessibleTitle(const CPaintManager& manager, const std::wstring& windowText) {
  // FindControl finds nothing for an empty name: the window's text then.
  if (CControlUI* c = manager.FindControl(manager.Window().accessibleTitle)) return c->GetText();
  return windowText;
}

}  // namespace Skin
