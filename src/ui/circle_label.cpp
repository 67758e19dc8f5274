#include "ui/circle_label.h"

#include "skin/paint_manager.h"

namespace zr {

CircleLabelUI::~CircleLabelUI() {
  // The frame description goes first, then the label (and with it its timers).
  m_frameImage.Empty();
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
  int old = m_frame;
  m_frame = old + 1;
  if (old > 11) m_frame = 0;
  m_frameImage.Format(L"file='loading/%02d.png'", m_frame);
  Invalidate();
}

void CircleLabelUI::PaintStatusImage(Skin::ISurface& surface) {
  if (m_frameImage.IsEmpty()) return;
  // A frame that cannot be drawn is dropped, so nothing shows until the next tick.
  if (!DrawImage(surface, m_frameImage.str())) m_frameImage.Empty();
}

bool CircleLabelUI::StartAnimation(bool on) {
  if (!m_manager) return false;
  if (on) return m_manager->SetTimer(this, kTimerId, kPeriodMs);
  return m_manager->KillTimer(this, kTimerId);
}

}  // namespace zr
