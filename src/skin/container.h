// Containers: CContainerUI (children stacked over its whole area), CVerticalLayoutUI and
// CHorizontalLayoutUI (children one after another, fixed sizes first, the rest shared by
// the flexible ones), CTabLayoutUI (one visible page at a time).
//
// A container owns its children and deletes them with itself. Floating children are placed
// by their "pos" relative to the container and take no room from the others.
#pragma once

#include <vector>

#include "skin/control.h"

namespace Skin {

class CContainerUI : public CControlUI {
 public:
  ~CContainerUI() override;
  std::wstring GetClass() const override { return L"ContainerUI"; }
  CControlUI* GetInterface(const std::wstring& name) override;

  // Takes ownership. False (and the control is not taken) for nullptr.
  virtual bool Add(CControlUI* control);
  // Removes and deletes the child (later, if the manager is delivering events).
  bool Remove(CControlUI* control);
  void RemoveAll();
  int GetCount() const { return static_cast<int>(items_.size()); }
  CControlUI* GetItemAt(int index) const;
  int GetItemIndex(CControlUI* control) const;

  void SetManager(CPaintManager* manager, CControlUI* parent) override;
  void SetPos(const SkinRect& rect) override;
  void DoPaint(ISurface& surface, const SkinRect& paint) override;
  void SetAttribute(const std::wstring& name, const std::wstring& value) override;
  CControlUI* FindControlAt(SkinPoint point) override;
  CControlUI* FindControlByName(const std::wstring& name) override;
  void VisitTree(const std::function<void(CControlUI*)>& f) override;

 protected:
  // The area inside the inset.
  SkinRect Inner(const SkinRect& rect) const;
  void PlaceFloat(CControlUI* child);

  std::vector<CControlUI*> items_;  // owned
  SkinRect inset_;
  int child_padding_ = 0;
};

class CVerticalLayoutUI : public CContainerUI {
 public:
  std::wstring GetClass() const override { return L"VerticalLayoutUI"; }
  CControlUI* GetInterface(const std::wstring& name) override;
  void SetPos(const SkinRect& rect) override;
};

class CHorizontalLayoutUI : public CContainerUI {
 public:
  std::wstring GetClass() const override { return L"HorizontalLayoutUI"; }
  CControlUI* GetInterface(const std::wstring& name) override;
  void SetPos(const SkinRect& rect) override;
};

class CTabLayoutUI : public CContainerUI {
 public:
  std::wstring GetClass() const override { return L"TabLayoutUI"; }
  CControlUI* GetInterface(const std::wstring& name) override;
  bool Add(CControlUI* control) override;
  // Shows the page with that index and hides the others; false for an index out of range.
  bool SelectItem(int index);
  int GetCurSel() const { return current_; }
  void SetAttribute(const std::wstring& name, const std::wstring& value) override;

 private:
  int current_ = 0;
};

// Shares `available` pixels among flexible items with [min, max] limits: items whose limit
// binds get the limit, the others split the rest evenly (the last takes the remainder).
std::vector<int> ShareSpace(int available, const std::vector<std::pair<int, int>>& limits);

}  // namespace Skin
