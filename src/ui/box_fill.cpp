#include "ui/box_fill.h"

#include "skin/label.h"
#include "skin/paint_manager.h"
#include "util/text.h"

namespace zr {
namespace {

constexpr int kLinkWidthLimit = 60;
constexpr int kLinkWidthExtra = 20;
constexpr int kIconSize = 22;

void SetText(Skin::CControlUI* control, const std::wstring& text) {
  if (control != nullptr) control->SetText(text);
}

// The link text on "btn_link", its width fitted to the text as the button draws it: with its
// own font and style.
void FillLink(Skin::CControlUI* link, const std::wstring& text, const TextWidthMeasure& measure) {
  if (link == nullptr || text.empty()) return;
  link->SetText(text);
  int font = -1;
  unsigned style = Skin::kTextVCenter | Skin::kTextSingleLine;
  if (auto* label = dynamic_cast<Skin::CLabelUI*>(link)) {
    font = label->GetFont();
    style = label->GetTextStyle();
  }
  if (measure) link->SetFixedWidth(LinkButtonWidth(measure(text, font, style)));
}

bool Shown(const Skin::CControlUI* control) {
  for (; control != nullptr; control = control->GetParent()) {
    if (!control->IsVisible()) return false;
  }
  return true;
}

std::wstring IconDescription(BoxIcon icon) {
  const int top = static_cast<int>(icon) * kIconSize;
  return L"file='messagebox_icon_22x22.png' source='0," + std::to_wstring(top) + L"," + std::to_wstring(kIconSize) +
         L"," + std::to_wstring(top + kIconSize) + L"'";
}

}  // namespace

BoxStyle StyleOf(BoxKind kind) {
  switch (kind) {
    case BoxKind::kError: return BoxStyle{BoxIcon::kError, false, true};
    case BoxKind::kWarning: return BoxStyle{BoxIcon::kWarning, false, true};
    case BoxKind::kQuestion: return BoxStyle{BoxIcon::kWarning, false, false};
    case BoxKind::kLink: return BoxStyle{BoxIcon::kError, true, true};
  }
  return BoxStyle{};
}

int LinkButtonWidth(int measuredWidth) {
  return measuredWidth <= kLinkWidthLimit ? measuredWidth : measuredWidth + kLinkWidthExtra;
}

void FillMessageBox(Skin::CPaintManager& manager, const BoxStyle& style, const BoxTexts& texts,
                    const TextWidthMeasure& measure) {
  if (style.link) FillLink(manager.FindControl(L"btn_link"), texts.linkText, measure);
  SetText(manager.FindControl(L"btn_ok"), texts.firstButton);
  if (texts.secondButton) {
    SetText(manager.FindControl(L"btn_no"), *texts.secondButton);
  } else if (Skin::CControlUI* no = manager.FindControl(L"btn_no")) {
    no->SetVisible(false);
  }
  if (Skin::CControlUI* close = manager.FindControl(L"btn_close")) close->SetEnabled(style.closable);
  if (Skin::CControlUI* icon = manager.FindControl(L"txt_icon")) icon->SetBkImage(IconDescription(style.icon));
  SetText(manager.FindControl(L"txt_caption"), texts.caption);
  SetText(manager.FindControl(L"txt_tips"), texts.message);
}

std::string DescribeBoxButtons(Skin::CPaintManager& manager) {
  std::string text;
  if (manager.GetRoot() == nullptr) return text;
  manager.GetRoot()->VisitTree([&text](Skin::CControlUI* control) {
    if (control->GetName().empty() || control->GetInterface(L"Button") == nullptr) return;
    if (!text.empty()) text += ", ";
    text += WideToUtf8(control->GetName());
    if (!Shown(control)) text += " hidden";
    if (!control->IsEnabled()) text += " disabled";
  });
  return text;
}

}  // namespace zr
