// Builds a control tree from a markup document of the skin package.
//
// The document's root is `Window` (its attributes go to the paint manager); before the
// controls come `Include` (another document whose fonts, defaults and includes are taken in;
// a missing one is skipped), `Default` (an attribute list applied to every control of that
// element name before its own attributes) and `Font`. Then one root control with nested
// containers and controls. An element the engine does not know is skipped with its children.
//
// Runs on the thread of the window being built. The caller owns the returned tree (normally
// it hands it to CPaintManager::AttachDialog).
#pragma once

#include <string>

#include "skin/control.h"

namespace Skin {

class CPaintManager;

class CMarkupBuilder {
 public:
  // From the document named `file` of the manager's skin package. nullptr when it cannot be
  // read or parsed or holds no control.
  static CControlUI* Create(const std::wstring& file, CPaintManager& manager);
  // From document text (UTF-8, with or without a byte-order mark).
  static CControlUI* CreateFromText(const std::string& text, CPaintManager& manager);
  // A new control for an element name the engine knows ("Button", "VerticalLayout", ...),
  // nullptr otherwise.
  static CControlUI* CreateBuiltIn(const std::wstring& element);
};

}  // namespace Skin
