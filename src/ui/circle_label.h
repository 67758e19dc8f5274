// CircleLabelUI: a label that can loop a "loading" frame animation drawn from the numbered
// pictures "loading/01.png" .. "loading/12.png", "loading/00.png" of the skin package.
//
// The main window's control factory makes it for the element "CircleLabelUI". The
// animation runs on the window's thread from a paint manager timer (id 16, every 30 ms).
#pragma once

#include <string>

#include "skin/label.h"
#include "skin/named_control.h"
#include "skin/skin_string.h"

namespace zr {

inline constexpr wchar_t kCircleLabelName[] = L"CircleLabel";
class CircleLabelUI : public Skin::CNamedControl<Skin::CLabelUI, kCircleLabelName> {
 public:
  static constexpr unsigned kTimerId = 16;
  static constexpr unsigned kPeriodMs = 30;

  CircleLabelUI() = default;
  ~CircleLabelUI() override;

  void DoEvent(Skin::SkinEvent& event) override;
  void PaintStatusImage(Skin::ISurface& surface) override;

  // Starts (timer 16 at 30 ms) or stops the animation. Needs the control in a window.
  bool StartAnimation(bool on);

  int GetFrame() const { return m_frame; }
  const Skin::CSkinString& GetFrameImage() const { return m_frameImage; }

 private:
  void Advance();

  Skin::CSkinString m_frameImage;
  int m_frame = 0;
};

}  // namespace zr
