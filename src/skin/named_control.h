// CNamedControl: what makes a class of control known by its name. A class derives from it
// with its base and its name ("Label"): GetClass() gives the name followed by "UI"
// ("LabelUI"), and GetInterface(name) gives the control itself for its own name and asks the
// base for any other, so that a control answers to the names of all its bases too.
#pragma once

#include <string>

#include "skin/control.h"

namespace Skin {

template <class Base, const wchar_t* kName>
class CNamedControl : public Base {
 public:
  std::wstring GetClass() const override { return std::wstring(kName) + L"UI"; }
  CControlUI* GetInterface(const std::wstring& name) override {
    if (name == kName) return this;
    return Base::GetInterface(name);
  }
};

}  // namespace Skin
