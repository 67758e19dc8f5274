#include "ui/circle_label.h"

#include "skin/paint_manager.h"

namespace zr {

CircleLabelUI::~CircleLabelUI() {
  // The frame description goes first, then the label (and with it its timers).
  frame_image_.Empty();
}

Skin::CControlUI* CircleLabelUI::GetInterface(const std::wstring& name) {
  if (name == L"CircleLabel") return this;
  return Skin::CLabelUI::GetInterface(name);
}

void CircleLabelUI::DoEvent(Skin::SkinEvent& event) {
  if (event.type == Skin::EventType::kTimer && event.wparam == kTimerId) {
    Advance();
    return;
  }
  Skin::CLabelUI::DoEvent(event);
}

void CircleLabelUI::Advance() {
  // Frames 1 to 12, then 0: thirteen pictures, one per tick.
  int old = frame_;
  frame_ = old + 1;
  if (old > 11) frame_ = 0;
  frame_image_.Format(L"file='loading/%02d.png'", frame_);
  Invalidate();
}

void CircleLabelUI::PaintStatusImage(Skin::ISurface& surface) {
  if (frame_image_.IsEmpty()) return;
  // A frame that cannot be drawn is dropped, so nothing shows until the next tick.
  if (!DrawImage(surface, frame_image_.str())) frame_image_.Empty();
}

bool CircleLabelUI::StartAnimation(bool on) {
  if (!manager_) return false;
  if (on) return manager_->SetTimer(this, kTimerId, kPeriodMs);
  return manager_->KillTimer(this, kTimerId);
}

}  // namespace zr
