// CButtonUI: a label that reacts to the mouse, with a picture and colours per state
// (normal, hot, pushed, disabled).
#pragma once

#include "skin/label.h"

namespace Skin {

class CButtonUI : public CLabelUI {
 public:
  CButtonUI();
  std::wstring GetClass() const override { return L"ButtonUI"; }
  CControlUI* GetInterface(const std::wstring& name) override;
  bool IsClickable() const override { return true; }
  bool Activate() override;

  bool IsHot() const { return hot_; }
  bool IsPushed() const { return pushed_; }
  const std::wstring& GetNormalImage() const { return normal_image_; }
  void SetNormalImage(const std::wstring& d) { normal_image_ = d; Invalidate(); }
  void SetHotImage(const std::wstring& d) { hot_image_ = d; Invalidate(); }
  void SetPushedImage(const std::wstring& d) { pushed_image_ = d; Invalidate(); }
  void SetDisabledImage(const std::wstring& d) { disabled_image_ = d; Invalidate(); }

  void DoEvent(SkinEvent& event) override;
  void PaintBkColor(ISurface& surface) override;
  void PaintStatusImage(ISurface& surface) override;
  void SetAttribute(const std::wstring& name, const std::wstring& value) override;

 protected:
  Colour CurrentTextColor() const override;
  // The picture for the current state, falling back to the normal one.
  const std::wstring& CurrentImage() const;

  bool hot_ = false;
  bool pushed_ = false;
  std::wstring normal_image_, hot_image_, pushed_image_, disabled_image_;
  Colour hot_text_colour_ = 0, pushed_text_colour_ = 0;
  Colour hot_bk_colour_ = 0, pushed_bk_colour_ = 0, disabled_bk_colour_ = 0;
};

}  // namespace Skin
