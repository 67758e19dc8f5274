#include "skin/text.h"

namespace Skin {

CControlUI* CTextUI::GetInterface(const std::wstring& name) {
  if (name == L"Text") return this;
  return CLabelUI::GetInterface(name);
}

}  // namespace Skin
