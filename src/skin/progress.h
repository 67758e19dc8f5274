// CProgressUI: a horizontal bar; the fore picture fills the part of the bar given by the
// value within [min, max].
#pragma once

#include "skin/label.h"

namespace Skin {

class CProgressUI : public CLabelUI {
 public:
  std::wstring GetClass() const override { return L"ProgressUI"; }
  CControlUI* GetInterface(const std::wstring& name) override;

  int GetMinValue() const { return min_value_; }
  int GetMaxValue() const { return max_value_; }
  int GetValue() const { return value_; }
  void SetMinValue(int v) { min_value_ = v; Invalidate(); }
  void SetMaxValue(int v) { max_value_ = v; Invalidate(); }
  // Changes the value only when it lies within [min, max] and differs from the current one;
  // then repaints. Returns whether it changed.
  bool SetValue(int value);
  const std::wstring& GetForeImage() const { return fore_image_; }
  // The filled part of the bar for the current value, in client coordinates.
  SkinRect FilledRect() const;

  void PaintStatusImage(ISurface& surface) override;
  void SetAttribute(const std::wstring& name, const std::wstring& value) override;

 private:
  int min_value_ = 0;
  int max_value_ = 100;
  int value_ = 0;
  std::wstring fore_image_;
};

}  // namespace Skin
