#include "skin/paint_manager.h"

#include <algorithm>

#include "skin/resources.h"
#include "skin/skin_string.h"

namespace Skin {

CPaintManager::CPaintManager() = default;

CPaintManager::~CPaintManager() {
  for (auto& t : timers_) {
    if (host_) host_->StopTimer(t.native_id);
  }
  timers_.clear();
  CControlUI* root = root_;
  root_ = nullptr;
  delete root;
  for (CControlUI* c : delayed_cleanup_) delete c;
  delayed_cleanup_.clear();
}

void CPaintManager::Init(IPaintHost* host, const std::wstring& name) {
  host_ = host;
  name_ = name;
}

bool CPaintManager::AttachDialog(CControlUI* root) {
  if (!root) return false;
  if (root_) {
    CControlUI* old = root_;
    root_ = nullptr;
    hot_ = pushed_ = focus_ = nullptr;
    delete old;
  }
  root_ = root;
  root_->SetManager(this, nullptr);
  NeedUpdate();
  return true;
}

void CPaintManager::AddDefaultAttributeList(const std::wstring& class_name,
                                            const std::wstring& list) {
  default_attributes_[AsciiLower(class_name)] = list;
}

const std::wstring* CPaintManager::GetDefaultAttributeList(const std::wstring& class_name) const {
  auto it = default_attributes_.find(AsciiLower(class_name));
  return it == default_attributes_.end() ? nullptr : &it->second;
}

const SkinBitmap* CPaintManager::GetImage(const std::wstring& file, bool use_mask, Colour mask) {
  std::wstring key = AsciiLower(file);
  if (use_mask) key += L"|" + std::to_wstring(mask & 0xFFFFFF);
  auto it = images_.find(key);
  if (it != images_.end()) return it->second.get();
  // A missing picture is remembered too, so that it is not looked up on every paint.
  auto picture = CResourceSettings::GetPicture(file, use_mask, mask);
  const SkinBitmap* result = picture.get();
  images_[key] = std::move(picture);
  return result;
}

CControlUI* CPaintManager::FindControl(const std::wstring& name) const {
  if (!root_ || name.empty()) return nullptr;
  return root_->FindControlByName(name);
}

CControlUI* CPaintManager::FindControl(SkinPoint point) const {
  if (!root_) return nullptr;
  return root_->FindControlAt(point);
}

bool CPaintManager::SetTimer(CControlUI* control, unsigned id, unsigned period_ms) {
  if (!control || !host_) return false;
  for (auto& t : timers_) {
    if (t.control == control && t.id == id) {
      // Setting an existing timer again restarts it with the new period.
      t.period = period_ms;
      return host_->StartTimer(t.native_id, period_ms);
    }
  }
  Timer t{control, id, next_native_timer_++, period_ms};
  if (!host_->StartTimer(t.native_id, period_ms)) return false;
  timers_.push_back(t);
  return true;
}

bool CPaintManager::KillTimer(CControlUI* control, unsigned id) {
  for (auto it = timers_.begin(); it != timers_.end(); ++it) {
    if (it->control == control && it->id == id) {
      if (host_) host_->StopTimer(it->native_id);
      timers_.erase(it);
      return true;
    }
  }
  return false;
}

void CPaintManager::KillTimers(CControlUI* control) {
  for (auto it = timers_.begin(); it != timers_.end();) {
    if (it->control == control) {
      if (host_) host_->StopTimer(it->native_id);
      it = timers_.erase(it);
    } else {
      ++it;
    }
  }
}

bool CPaintManager::HasTimer(CControlUI* control, unsigned id) const {
  return std::any_of(timers_.begin(), timers_.end(),
                     [&](const Timer& t) { return t.control == control && t.id == id; });
}

bool CPaintManager::OnHostTimer(unsigned native_id) {
  for (const auto& t : timers_) {
    if (t.native_id == native_id) {
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

bool CPaintManager::AddNotifier(INotifySink* sink) {
  if (!sink || std::find(notifiers_.begin(), notifiers_.end(), sink) != notifiers_.end())
    return false;
  notifiers_.push_back(sink);
  return true;
}

bool CPaintManager::RemoveNotifier(INotifySink* sink) {
  auto it = std::find(notifiers_.begin(), notifiers_.end(), sink);
  if (it == notifiers_.end()) return false;
  notifiers_.erase(it);
  return true;
}

bool CPaintManager::AddPreMessageFilter(IMessageFilter* filter) {
  if (!filter || std::find(filters_.begin(), filters_.end(), filter) != filters_.end())
    return false;
  filters_.push_back(filter);
  return true;
}

bool CPaintManager::RemovePreMessageFilter(IMessageFilter* filter) {
  auto it = std::find(filters_.begin(), filters_.end(), filter);
  if (it == filters_.end()) return false;
  filters_.erase(it);
  return true;
}

bool CPaintManager::PreMessageFilter(unsigned msg, WParam wparam, LParam lparam,
                                     LResult& result) {
  auto filters = filters_;  // a filter may remove itself
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
    async_notify_.push_back(msg);
    if (host_) host_->PostDeferredWork();
    return;
  }
  auto sinks = notifiers_;  // a sink may remove itself while being told
  for (INotifySink* sink : sinks) {
    if (std::find(notifiers_.begin(), notifiers_.end(), sink) == notifiers_.end()) continue;
    sink->Notify(msg);
  }
}

void CPaintManager::AddDelayedCleanup(CControlUI* control) {
  if (!control) return;
  ReleaseControl(control);
  delayed_cleanup_.push_back(control);
  if (host_) host_->PostDeferredWork();
}

void CPaintManager::ProcessDeferredWork() {
  auto cleanup = std::move(delayed_cleanup_);
  delayed_cleanup_.clear();
  for (CControlUI* c : cleanup) delete c;
  auto queue = std::move(async_notify_);
  async_notify_.clear();
  for (auto& msg : queue) {
    auto sinks = notifiers_;
    for (INotifySink* sink : sinks) sink->Notify(msg);
  }
}

void CPaintManager::SetClientSize(SkinSize size) {
  if (size == client_) return;
  client_ = size;
  NeedUpdate();
}

void CPaintManager::Invalidate(const SkinRect& rect) {
  if (host_ && !rect.IsEmpty()) host_->InvalidateRect(rect);
}

void CPaintManager::NeedUpdate() {
  update_needed_ = true;
  Invalidate(SkinRect{0, 0, client_.cx, client_.cy});
}

void CPaintManager::Layout() {
  if (!update_needed_ || !root_) return;
  update_needed_ = false;
  root_->EstimateSize(client_);
  root_->SetPos(SkinRect{0, 0, client_.cx, client_.cy});
}

void CPaintManager::Paint(ISurface& surface, const SkinRect& paint) {
  Layout();
  if (!root_) return;
  surface.SetClip(paint);
  root_->DoPaint(surface, paint);
}

void CPaintManager::OnMouseMove(SkinPoint point) {
  CControlUI* now = FindControl(point);
  if (now && (!now->IsEnabled() || !now->IsMouseEnabled())) now = nullptr;
  if (pushed_) {
    // While pressed, only the pressed control hears the mouse.
    SkinEvent move{EventType::kMouseMove, pushed_, point, 0};
    pushed_->DoEvent(move);
    return;
  }
  if (now != hot_) {
    if (hot_) {
      SkinEvent leave{EventType::kMouseLeave, hot_, point, 0};
      CControlUI* old = hot_;
      hot_ = nullptr;
      old->DoEvent(leave);
    }
    hot_ = now;
    if (hot_) {
      SkinEvent enter{EventType::kMouseEnter, hot_, point, 0};
      hot_->DoEvent(enter);
    }
  }
  if (hot_) {
    SkinEvent move{EventType::kMouseMove, hot_, point, 0};
    hot_->DoEvent(move);
  }
}

void CPaintManager::OnMouseLeave() {
  if (pushed_) return;
  if (hot_) {
    SkinEvent leave{EventType::kMouseLeave, hot_, SkinPoint{}, 0};
    CControlUI* old = hot_;
    hot_ = nullptr;
    old->DoEvent(leave);
  }
}

void CPaintManager::OnButtonDown(SkinPoint point) {
  CControlUI* target = FindControl(point);
  if (!target || !target->IsEnabled() || !target->IsMouseEnabled()) return;
  if (focus_ != target) {
    if (focus_) {
      focus_->SetFocusState(false);
      focus_->Invalidate();
    }
    focus_ = target->IsClickable() ? target : nullptr;
    if (focus_) focus_->SetFocusState(true);
  }
  pushed_ = target;
  if (host_) host_->CaptureMouse(true);
  SkinEvent down{EventType::kButtonDown, target, point, 0};
  target->DoEvent(down);
}

void CPaintManager::OnButtonUp(SkinPoint point) {
  CControlUI* target = pushed_;
  pushed_ = nullptr;
  if (host_) host_->CaptureMouse(false);
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
  if (!pushed_) return;
  CControlUI* target = pushed_;
  pushed_ = nullptr;
  SkinEvent up{EventType::kButtonUp, target, SkinPoint{-1, -1}, 0};
  target->DoEvent(up);
}

void CPaintManager::ReleaseControl(CControlUI* control) {
  if (!control) return;
  if (hot_ == control) hot_ = nullptr;
  if (pushed_ == control) pushed_ = nullptr;
  if (focus_ == control) focus_ = nullptr;
  KillTimers(control);
  for (auto& msg : async_notify_) {
    if (msg.sender == control) msg.sender = nullptr;
  }
}

}  // namespace Skin
