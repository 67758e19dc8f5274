// The records and interfaces through which windows, the paint manager and controls talk.
// An event's parameter has the width of WPARAM without naming the Windows type, so that the
// core stays portable.
#pragma once

#include <cstdint>
#include <string>

#include "skin/geometry.h"

namespace Skin {

using WParam = std::uintptr_t;

class CControlUI;

// A notification from a control to the window's notifiers: "click" or "tabselect".
struct SkinNotify {
  std::wstring type;
  CControlUI* sender = nullptr;
};

// An event delivered to one control by its paint manager.
enum class EventType {
  kMouseEnter,
  kMouseLeave,
  kMouseMove,
  kButtonDown,
  kButtonUp,
  kTimer,
};

struct SkinEvent {
  EventType type = EventType::kMouseMove;
  SkinPoint point;
  WParam wparam = 0;  // the control's own timer id for kTimer
};

class INotifySink {
 public:
  virtual ~INotifySink() = default;
  virtual void Notify(SkinNotify& msg) = 0;
};

}  // namespace Skin
