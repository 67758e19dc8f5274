// Windows only. A skinned window for assistive technology: an IAccessible for its client area,
// answered through WM_GETOBJECT (as owner-drawn windows do), with the items of accessible_tree.h
// as its simple children (child ids 1..n), and win events (NotifyWinEvent) when an item's text,
// value, visibility or state changes and when an owned window (a message box) is shown.
//
// oleacc.dll is loaded when the first WM_GETOBJECT asks for the client object: a run that no
// assistive technology looks at never loads it.
//
// One per window, made in WM_CREATE and disconnected in WM_DESTROY: clients that still hold the
// object afterwards get CO_E_OBJNOTCONNECTED. The window's thread only.
#pragma once

#include <windows.h>

#include "skin/paint_manager.h"

namespace Skin {

class CAccessibleObject;

class CWindowAccessibility : public IControlChangeObserver {
 public:
  CWindowAccessibility(HWND hwnd, CPaintManager& manager);
  ~CWindowAccessibility() override;
  CWindowAccessibility(const CWindowAccessibility&) = delete;
  CWindowAccessibility& operator=(const CWindowAccessibility&) = delete;

  // WM_GETOBJECT, WM_SHOWWINDOW and WM_DESTROY: true when the message is answered (result set).
  bool HandleMessage(UINT msg, WPARAM wparam, LPARAM lparam, LRESULT& result);

  // IControlChangeObserver: the change as a win event on the item's child id.
  void ControlChanged(CControlUI* control, ControlChange change) override;

 private:
  void Disconnect();

  HWND m_hwnd;
  CPaintManager* m_manager;
  CAccessibleObject* m_object = nullptr;  // one reference held while connected
};

}  // namespace Skin
