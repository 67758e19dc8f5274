#include "skin/paint_manager.h"

#include <algorithm>
#include <utility>

#include "skin/image_desc.h"

namespace Skin {
namespace {

// Hands the control an event about itself.
void Deliver(CControlUI* control, EventType type, SkinPoint point, WParam wparam = 0) {
  SkinEvent event{type, point, wparam};
  control->DoEvent(event);
}

}  // namespace

CPaintManager::CPaintManager(CSkinContext& context) : m_context(context), m_fonts(context.SharedFonts()) {}

CPaintManager::~CPaintManager() {
  for (auto& t : m_timers) {
    if (m_host) m_host->StopTimer(t.nativeId);
  }
  m_timers.clear();
  delete std::exchange(m_root, nullptr);
}

bool CPaintManager::AttachDialog(CControlUI* root) {
  if (!root) return false;
  m_hot = m_pushed = m_focus = nullptr;
  delete std::exchange(m_root, nullptr);
  m_root = root;
  m_root->SetManager(this, nullptr);
  NeedUpdate();
  return true;
}

const SkinBitmap* CPaintManager::GetImage(const std::wstring& file, bool useMask, Colour mask, SkinSize drawnAt) {
  const std::wstring key = PictureKey(file, useMask, mask, drawnAt);
  auto it = m_images.find(key);
  if (it != m_images.end()) return it->second.get();
  // A missing picture is remembered too, so that it is not looked up on every paint.
  auto picture = m_context.GetPicture(file, useMask, mask, drawnAt);
  const SkinBitmap* result = picture.get();
  m_images[key] = std::move(picture);
  if (result) m_imageSources[result] = ImageSource{file, useMask, mask};
  return result;
}

void CPaintManager::DecodeAhead() {
  // The illustration takes about 8 ms to decode under Wine, the system longer to show the window.
  if (!m_root) return;
  Layout();
  m_root->VisitTree([this](CControlUI* control) {
    ImageDesc desc;
    if (!control->IsVisible() || !ParseImageDesc(control->GetBkImage(), &desc) || !DrawsWhole(desc)) return;
    // The size DrawImage asks for.
    const SkinRect device = m_scale.ToDevice(ImageDest(desc, control->GetPos()));
    if (!device.IsEmpty()) m_context.DecodeAhead(desc.file, desc.hasMask, desc.mask, {device.Width(), device.Height()});
  });
}

const SkinBitmap* CPaintManager::Variant(const SkinBitmap& picture, int percent) {
  auto it = m_imageSources.find(&picture);
  if (it == m_imageSources.end()) return nullptr;
  const ImageSource source = it->second;  // GetImage below adds to the map
  const SkinBitmap* variant = GetImage(VariantName(source.file, percent), source.useMask, source.mask);
  return variant && IsRenderingAt(*variant, picture, percent) ? variant : nullptr;
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
  for (const auto& t : m_timers) {
    // Setting an existing timer again restarts it with the new period.
    if (t.control == control && t.id == id) return m_host->StartTimer(t.nativeId, periodMs);
  }
  Timer t{control, id, m_nextNativeTimer++};
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
  // From the back: KillTimer erases the one it stops, which moves only the timers after it.
  for (size_t i = m_timers.size(); i-- > 0;) {
    if (m_timers[i].control == control) KillTimer(control, m_timers[i].id);
  }
}

bool CPaintManager::HasTimer(CControlUI* control, unsigned id) const {
  return std::any_of(m_timers.begin(), m_timers.end(),
                     [&](const Timer& t) { return t.control == control && t.id == id; });
}

bool CPaintManager::OnHostTimer(unsigned nativeId) {
  for (const auto& t : m_timers) {
    if (t.nativeId == nativeId) {
      Deliver(t.control, EventType::kTimer, SkinPoint{}, t.id);  // may kill timers: `t` must not be used after this
      return true;
    }
  }
  return false;
}

void CPaintManager::SendNotify(CControlUI* sender, const std::wstring& type) {
  SkinNotify msg{type, sender};
  if (m_notifier) m_notifier->Notify(msg);
}

void CPaintManager::SetDpi(int dpi) {
  CDpiScale scale(dpi);
  if (scale.Dpi() == m_scale.Dpi()) return;
  m_scale = scale;
  m_client = m_scale.ToDocument(m_deviceClient);
  NeedUpdate();
}

void CPaintManager::SetClientSize(SkinSize deviceSize) {
  if (deviceSize == m_deviceClient) return;
  m_deviceClient = deviceSize;
  m_client = m_scale.ToDocument(deviceSize);
  NeedUpdate();
}

void CPaintManager::Invalidate(const SkinRect& rect) {
  if (!m_host || rect.IsEmpty()) return;
  // The pixels the rounded edges may reach beyond the scaled rectangle are repainted too.
  SkinRect device = m_scale.ToDevice(rect);
  m_host->InvalidateRect(m_scale.IsIdentity() ? device : device.Inflated(1, 1));
}

void CPaintManager::NeedUpdate() {
  if (m_updateNeeded) return;  // invalid until laid out: a document's build asks hundreds of times
  m_updateNeeded = true;
  if (m_host) m_host->InvalidateRect(SkinRect{0, 0, m_deviceClient.cx, m_deviceClient.cy});
}

void CPaintManager::Layout() {
  if (!m_updateNeeded) return;
  m_updateNeeded = false;
  if (!m_root) return;
  m_root->EstimateSize(m_client);
  m_root->SetPos(SkinRect{0, 0, m_client.cx, m_client.cy});
}

void CPaintManager::Paint(ISurface& surface, const SkinRect& paint) {
  Layout();
  if (!m_root) return;
  surface.SetClip(paint);
  if (m_scale.IsIdentity()) {
    m_root->DoPaint(surface, paint);
    return;
  }
  CScaledSurface scaled(surface, m_scale, this);
  m_root->DoPaint(scaled, m_scale.CoverToDocument(paint));
}

void CPaintManager::OnMouseMove(SkinPoint devicePoint) {
  const SkinPoint point = m_scale.ToDocument(devicePoint);
  Layout();
  CControlUI* now = FindControl(point);
  if (now && (!now->IsEnabled() || !now->IsMouseEnabled())) now = nullptr;
  if (m_pushed) {
    // While pressed, only the pressed control hears the mouse.
    Deliver(m_pushed, EventType::kMouseMove, point);
    return;
  }
  if (now != m_hot) {
    LeaveHot(point);
    m_hot = now;
    if (m_hot) Deliver(m_hot, EventType::kMouseEnter, point);
  }
  if (m_hot) Deliver(m_hot, EventType::kMouseMove, point);
}

void CPaintManager::OnMouseLeave() {
  if (!m_pushed) LeaveHot(SkinPoint{});
}

void CPaintManager::LeaveHot(SkinPoint point) {
  if (CControlUI* old = std::exchange(m_hot, nullptr)) Deliver(old, EventType::kMouseLeave, point);
}

void CPaintManager::OnButtonDown(SkinPoint devicePoint) {
  const SkinPoint point = m_scale.ToDocument(devicePoint);
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
  Deliver(target, EventType::kButtonDown, point);
}

void CPaintManager::OnButtonUp(SkinPoint devicePoint) {
  const SkinPoint point = m_scale.ToDocument(devicePoint);
  Layout();
  CControlUI* target = std::exchange(m_pushed, nullptr);
  if (m_host) m_host->CaptureMouse(false);
  if (!target) return;
  Deliver(target, EventType::kButtonUp, point);
  // A release over the pressed control is a click: first the control's own handling, then
  // the notification. The control may have been released meanwhile (hidden, removed).
  if (target->IsClickable() && target->GetPos().Contains(point) && target->Activate()) {
    SendNotify(target, L"click");
  }
}

void CPaintManager::OnCaptureLost() {
  if (CControlUI* target = std::exchange(m_pushed, nullptr)) Deliver(target, EventType::kButtonUp, SkinPoint{-1, -1});
}

void CPaintManager::ReleaseControl(CControlUI* control) {
  if (!control) return;
  if (m_hot == control) m_hot = nullptr;
  if (m_pushed == control) m_pushed = nullptr;
  if (m_focus == control) m_focus = nullptr;
  KillTimers(control);
}

bool CPaintManager::Click(CControlUI* control) {
  if (!control || !control->IsClickable()) return false;
  for (CControlUI* c = control; c; c = c->GetParent()) {
    if (!c->IsVisible()) return false;  // on a page not shown, say
  }
  if (!control->Activate()) return false;
  SendNotify(control, L"click");
  return true;
}

void CPaintManager::ControlChanged(CControlUI* control, ControlChange change) {
  if (m_observer) m_observer->ControlChanged(control, change);
}

}  // namespace Skin
