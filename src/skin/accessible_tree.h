// What a skinned window shows assistive technology: its controls as a flat list of items with
// a role, a name, a value and a default action, decided from the control tree alone so that
// it is checked without a window. The Windows side (accessible_win.h) answers IAccessible
// from it.
//
// Items are the labels, texts, buttons and progress bars of the tree in tree order, hidden
// ones included (marked as not shown): an item's number stays the same while the window
// lives, whatever is shown or hidden. The window's thread only.
#pragma once

#include <string>
#include <vector>

namespace Skin {

class CControlUI;
class CPaintManager;

enum class AccessibleRole { kText, kButton, kLink, kProgress };

struct AccessibleItem {
  CControlUI* control = nullptr;
  AccessibleRole role = AccessibleRole::kText;
  // The document's "accname", else the control's text, else its tooltip.
  std::wstring name;
  // A text's text, a progress bar's position ("40%"), a link's target ("accvalue").
  std::wstring value;
  // "press" for buttons and links, empty otherwise.
  std::wstring defaultAction;
  bool shown = false;  // it and every container above it visible
  bool enabled = false;
};

// The controls that are items, in tree order (item n is element n - 1).
std::vector<CControlUI*> AccessibleControls(CControlUI* root);
AccessibleItem DescribeAccessible(CControlUI* control);
// The window's name: the text of the control the document names in "acctitle", else
// `windowText`.
std::wstring AccessibleTitle(const CPaintManager& manager, const std::wstring& windowText);

}  // namespace Skin
