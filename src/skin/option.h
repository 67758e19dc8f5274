// COptionUI: a button that stays selected; the options of one group are selected one at a time.
#pragma once

#include "skin/button.h"
#include "skin/named_control.h"

namespace Skin {

inline constexpr wchar_t kOptionName[] = L"Option";
class COptionUI : public CNamedControl<CButtonUI, kOptionName> {
 public:
  bool Activate() override;

  bool IsSelected() const { return m_selected; }
  // Selecting an option of a group unselects the others of the same group in the window.
  void Selected(bool selected);
  const std::wstring& GetGroup() const { return m_group; }

  void PaintStatusImage(ISurface& surface) override;
  void SetAttribute(const std::wstring& name, const std::wstring& value) override;

 private:
  bool m_selected = false;
  std::wstring m_group;
  std::wstring m_selectedImage;
};

}  // namespace Skin
