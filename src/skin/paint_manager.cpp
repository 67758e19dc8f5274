#include "skin/paint_manager.h"

#include <algorithm>
#include <vector>

#include "skin/skin_string.h"

namespace Skin {
namespace {

// Notifiers and message filters: each one is in its list at most once.
template <class T>
bool AddOnce(std::vector<T*>& list, T* item) {
  if (!item || std::find(list.begin(), list.end(), item) != list.end()) return false;
  list.push_back(item);
  return true;
}

template <class T>
bool RemoveOne(std::vector<T*>& list, T* item) {
  auto it = std::find(list.begin(), list.end(), item);
  if (it == list.end()) return false;
  list.erase(it);
  return true;
}

}  // namespace

CPaintManager::CPaintManager(CSkinContext& context)
    : m_context(context), m_fonts(context.SharedFonts()) {}

CPaintManager::~CPaintManager() {
  for (auto& t : m_timers) {
    if (m_host) m_host->StopTimer(t.nativeId);
  }
  m_timers.clear();
  CControlUI* root = m_root;
  m_root = nullptr;
  delete root;
  for (CControlUI* c : m_delayedCleanup) delete c;
  m_delayedCleanup.clear();
}

void CPaintManager::Init(IPaintHost* host, const std::wstring& name) {
  m_host = host;
  m_name = name;
}

bool CPaintManager::AttachDialog(CControlUI* root) {
  if (!root) return false;
  if (m_root) {
    CControlUI* old = m_root;
    m_root = nullptr;
    m_hot = m_pushed = m_focus = nullptr;
    delete old;
  }
  m_root = root;
  m_root->SetManager(this, nullptr);
  NeedUpdate();
  return true;
}

void CPaintManager::AddDefaultAttributeList(const std::wstring& className,
                                            const std::wstring& list) {
  m_defaultAttributes[AsciiLower(className)] = list;
}

const std::wstring* CPaintManager::GetDefaultAttributeList(const std::wstring& className) const {
  auto it = m_defaultAttributes.find(AsciiLower(className));
  return it == m_defaultAttributes.end() ? nullptr : &it->second;
}

const SkinBitmap* CPaintManager::GetImage(const std::wstring& file, bool useMask, Colour mask) {
  std::wstring key = AsciiLower(file);
  if (useMask) key += L"|" + std::to_wstring(mask & 0xFFFFFF);
  auto it = m_images.find(key);
  if (it != m_images.end()) return it->second.get();
  // A missing picture is remembered too, so that it is not looked up on every paint.
  auto picture = m_context.GetPicture(file, useMask, mask);
  const SkinBitmap* result = picture.get();
  m_images[key] = std::move(picture);
  return result;
}

CControlUI* CPaintManager::FindControl(const std::wstring& name) const {
  if (!m_root || name.empty()) return nullptr;
  return m_root->FindControlByName(name);
}

CControlUI* CPaintManager::FindControl(SkinPoint point) const {
  if (!m_root) return nullptr;
  return m_root->FindControlAt(point);
}

bool CPaintManager::SetTimer(CControlUI* control, unsigned id, unsigned periodMs) {
  if (!control || !m_host) return false;
  for (auto& t : m_timers) {
    if (t.control == control && t.id == id) {
      // Setting an existing timer again restarts it with the new period.
      t.period = periodMs;
      return m_host->StartTimer(t.nativeId, periodMs);
    }
  }
  Timer t{control, id, m_nextNativeTimer++, periodMs};
  if (!m_host->StartTimer(t.nativeId, periodMs)) return false;
  m_timers.push_back(t);
  return true;
}

bool CPaintManager::KillTimer(CControlUI* control, unsigned id) {
  for (auto it = m_timers.begin(); it != m_timers.end(); ++it) {
    if (it->control == control && it->id == id) {
      if (m_host) m_host->StopTimer(it->nativeId);
      m_timers.erase(it);
      return true;
    }
  }
  return false;
}

void CPaintManager::KillTimers(CControlUI* control) {
  for (auto it = m_timers.begin(); it != m_timers.end();) {
    if (it->control == control) {
      if (m_host) m_host->StopTimer(it->nativeId);
      it = m_timers.erase(it);
    } else {
      ++it;
    }
  }
}

bool CPaintManager::HasTimer(CControlUI* control, unsigned id) const {
  return std::any_of(m_timers.begin(), m_timers.end(),
                     [&](const Timer& t) { return t.control == control && t.id == id; });
}

bool CPaintManager::OnHostTimer(unsigned nativeId) {
  for (const auto& t : m_timers) {
    if (t.nativeId == nativeId) {
      SkinEvent event;
      event.type = EventType::kTimer;
      event.sender = t.control;
      event.wparam = t.id;
      t.control->DoEvent(event);  // may kill timers: `t` must not be used after this
      return true;
    }
  }
  return false;
}

bool CPaintManager::AddNotifier(INotifySink* sink) { return AddOnce(m_notifiers, sink); }

bool CPaintManager::RemoveNotifier(INotifySink* sink) { return RemoveOne(m_notifiers, sink); }

bool CPaintManager::AddPreMessageFilter(IMessageFilter* filter) { return AddOnce(m_filters, filter); }

bool CPaintManager::RemovePreMessageFilter(IMessageFilter* filter) { return RemoveOne(m_filters, filter); }

bool CPaintManager::PreMessageFilter(unsigned msg, WParam wparam, LParam lparam,
                                     LResult& result) {
  auto filters = m_filters;  // a filter may remove itself
  for (IMessageFilter* f : filters) {
    bool handled = false;
    LResult r = f->FilterMessage(msg, wparam, lparam, handled);
    if (handled) {
      result = r;
      return true;
    }
  }
  return false;
}

void CPaintManager::SendNotify(CControlUI* sender, const std::wstring& type, WParam wparam,
                               LParam lparam, bool async) {
  SkinNotify msg;
  msg.type = type;
  msg.sender = sender;
  msg.wparam = wparam;
  msg.lparam = lparam;
  if (async) {
    m_asyncNotify.push_back(msg);
    if (m_host) m_host->PostDeferredWork();
    return;
  }
  auto sinks = m_notifiers;  // a sink may remove itself while being told
  for (INotifySink* sink : sinks) {
    if (std::find(m_notifiers.begin(), m_notifiers.end(), sink) == m_notifiers.end()) continue;
    sink->Notify(msg);
  }
}

void CPaintManager::AddDelayedCleanup(CControlUI* control) {
  if (!control) return;
  ReleaseControl(control);
  m_delayedCleanup.push_back(control);
  if (m_host) m_host->PostDeferredWork();
}

void CPaintManager::ProcessDeferredWork() {
  auto cleanup = std::move(m_delayedCleanup);
  m_delayedCleanup.clear();
  for (CControlUI* c : cleanup) delete c;
  auto queue = std::move(m_asyncNotify);
  m_asyncNotify.clear();
  for (auto& msg : queue) {
    auto sinks = m_notifiers;
    for (INotifySink* sink : sinks) sink->Notify(msg);
  }
}

void CPaintManager::SetClientSize(SkinSize size) {
  if (size == m_client) return;
  m_client = size;
  NeedUpdate();
}

void CPaintManager::Invalidate(const SkinRect& rect) {
  if (m_host && !rect.IsEmpty()) m_host->InvalidateRect(rect);
}

void CPaintManager::NeedUpdate() {
  m_updateNeeded = true;
  Invalidate(SkinRect{0, 0, m_client.cx, m_client.cy});
}

void CPaintManager::Layout() {
  if (!m_updateNeeded || !m_root) return;
  m_updateNeeded = false;
  m_root->EstimateSize(m_client);
  m_root->SetPos(SkinRect{0, 0, m_client.cx, m_client.cy});
}

void CPaintManager::Paint(ISurface& surface, const SkinRect& paint) {
  Layout();
  if (!m_root) return;
  surface.SetClip(paint);
  m_root->DoPaint(surface, paint);
}

void CPaintManager::OnMouseMove(SkinPoint point) {
  Layout();
  CControlUI* now = FindControl(point);
  if (now && (!now->IsEnabled() || !now->IsMouseEnabled())) now = nullptr;
  if (m_pushed) {
    // While pressed, only the pressed control hears the mouse.
    SkinEvent move{EventType::kMouseMove, m_pushed, point, 0};
    m_pushed->DoEvent(move);
    return;
  }
  if (now != m_hot) {
    if (m_hot) {
      SkinEvent leave{EventType::kMouseLeave, m_hot, point, 0};
      CControlUI* old = m_hot;
      m_hot = nullptr;
      old->DoEvent(leave);
    }
    m_hot = now;
    if (m_hot) {
      SkinEvent enter{EventType::kMouseEnter, m_hot, point, 0};
      m_hot->DoEvent(enter);
    }
  }
  if (m_hot) {
    SkinEvent move{EventType::kMouseMove, m_hot, point, 0};
    m_hot->DoEvent(move);
  }
}

void CPaintManager::OnMouseLeave() {
  if (m_pushed) return;
  if (m_hot) {
    SkinEvent leave{EventType::kMouseLeave, m_hot, SkinPoint{}, 0};
    CControlUI* old = m_hot;
    m_hot = nullptr;
    old->DoEvent(leave);
  }
}

void CPaintManager::OnButtonDown(SkinPoint point) {
  Layout();
  CControlUI* target = FindControl(point);
  if (!target || !target->IsEnabled() || !target->IsMouseEnabled()) return;
  if (m_focus != target) {
    if (m_focus) {
      m_focus->SetFocusState(false);
      m_focus->Invalidate();
    }
    m_focus = target->IsClickable() ? target : nullptr;
    if (m_focus) m_focus->SetFocusState(true);
  }
  m_pushed = target;
  if (m_host) m_host->CaptureMouse(true);
  SkinEvent down{EventType::kButtonDown, target, point, 0};
  target->DoEvent(down);
}

void CPaintManager::OnButtonUp(SkinPoint point) {
  Layout();
  CControlUI* target = m_pushed;
  m_pushed = nullptr;
  if (m_host) m_host->CaptureMouse(false);
  if (!target) return;
  SkinEvent up{EventType::kButtonUp, target, point, 0};
  target->DoEvent(up);
  // A release over the pressed control is a click: first the control's own handling, then
  // the notification. The control may have been released meanwhile (hidden, removed).
  if (target->IsClickable() && target->GetPos().Contains(point) && target->Activate()) {
    SendNotify(target, L"click", 0, 0, false);
  }
}

void CPaintManager::OnCaptureLost() {
  if (!m_pushed) return;
  CControlUI* target = m_pushed;
  m_pushed = nullptr;
  SkinEvent up{EventType::kButtonUp, target, SkinPoint{-1, -1}, 0};
  target->DoEvent(up);
}

void CPaintManager::ReleaseControl(CControlUI* control) {
  if (!control) return;
  if (m_hot == control) m_hot = nullptr;
  if (m_pushed == control) m_pushed = nullptr;
  if (m_focus == control) m_focus = nullptr;
  KillTimers(control);
  for (auto& msg : m_asyncNotify) {
    if (msg.sender == control) msg.sender = nullptr;
  }
}

}  // namespace Skin
