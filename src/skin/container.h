// CContainerUI: the base of the layouts; its own children are stacked over its whole area.
//
// A container owns its children and deletes them with itself. Floating children are placed
// by their "pos" relative to the container and take no room from the others.
#pragma once

#include <vector>

#include "skin/control.h"

namespace Skin {

inline constexpr wchar_t kContainerName[] = L"Container";
class CContainerUI : public CNamedControl<CControlUI, kContainerName> {
 public:
  ~CContainerUI() override;

  // Takes ownership. False (and the control is not taken) for nullptr.
  virtual bool Add(CControlUI* control);
  int GetCount() const { return static_cast<int>(m_items.size()); }
  CControlUI* GetItemAt(int index) const;

  void SetManager(CPaintManager* manager, CControlUI* parent) override;
  void SetPos(const SkinRect& rect) override;
  void DoPaint(ISurface& surface, const SkinRect& paint) override;
  void SetAttribute(const std::wstring& name, const std::wstring& value) override;
  CControlUI* FindControlAt(SkinPoint point) override;
  CControlUI* FindControlByName(const std::wstring& name) override;
  void VisitTree(const std::function<void(CControlUI*)>& f) override;

 protected:
  // The area inside the inset.
  SkinRect Inner(const SkinRect& rect) const { return rect.Deflated(m_inset); }
  // Places every visible floating child by its "pos", relative to the container.
  void PlaceFloats();

  std::vector<CControlUI*> m_items;  // owned
  SkinRect m_inset;
  int m_childPadding = 0;
};

}  // namespace Skin
