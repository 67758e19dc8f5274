#include "ui/box_fill.h"

#include "skin/label.h"
#include "skin/paint_manager.h"
#include "util/text.h"

namespace zr {
namespace {

constexpr unsigned kLayoutOneButton = 0;
constexpr unsigned kLayoutTwoButtons = 4;
constexpr int kLinkWidthLimit = 60;
constexpr int kLinkWidthExtra = 20;

void SetText(Skin::CControlUI* control, const wchar_t* text) {
  if (control != nullptr) control->SetText(text != nullptr ? text : L"");
}

void SetIcon(Skin::CControlUI* icon, const wchar_t* description) {
  if (icon != nullptr && description != nullptr) icon->SetBkImage(description);
}

bool Shown(const Skin::CControlUI* control) {
  for (; control != nullptr; control = control->GetParent()) {
    if (!control->IsVisible()) return false;
  }
  return true;
}

}  // namespace

int LinkButtonWidth(int measuredWidth) {
  return measuredWidth <= kLinkWidthLimit ? measuredWidth : measuredWidth + kLinkWidthExtra;
}

const wchar_t* IconForType(unsigned type) {
  switch (type & ~0xFu) {
    case 0x10: return kBoxIconError;
    case 0x20: return kBoxIconQuestion;
    case 0x30: return kBoxIconWarning;
    case 0x100: return kBoxIconSuccess;
    default: return nullptr;
  }
}

void FillMessageBox(Skin::CPaintManager& manager, bool linkVariant, const BoxTexts& texts,
                    unsigned type, const TextWidthMeasure& measure) {
  Skin::CControlUI* icon = manager.FindControl(L"txt_icon");
  Skin::CControlUI* ok = manager.FindControl(L"btn_ok");
  Skin::CControlUI* no = manager.FindControl(L"btn_no");

  const unsigned layout = type & 0xF;
  if (layout == kLayoutTwoButtons) {
    if (Skin::CControlUI* close = manager.FindControl(L"btn_close")) close->SetEnabled(false);
    SetIcon(icon, kBoxIconQuestion);
    if (texts.firstButton != nullptr && texts.secondButton != nullptr) {
      SetText(ok, texts.firstButton);
      SetText(no, texts.secondButton);
    }
  } else if (layout == kLayoutOneButton && !linkVariant) {
    SetText(ok, texts.firstButton);
    SetIcon(icon, kBoxIconSuccess);
    if (no != nullptr) no->SetVisible(false);
  } else if (layout == kLayoutOneButton) {
    Skin::CControlUI* link = manager.FindControl(L"btn_link");
    if (link != nullptr && texts.linkText != nullptr) {
      link->SetText(texts.linkText);
      // The width follows the text as the button draws it: its own font and style.
      int font = -1;
      unsigned style = Skin::kTextVCenter | Skin::kTextSingleLine;
      if (auto* label = dynamic_cast<Skin::CLabelUI*>(link)) {
        font = label->GetFont();
        style = label->GetTextStyle();
      }
      if (measure) link->SetFixedWidth(LinkButtonWidth(measure(texts.linkText, font, style)));
    }
    if (texts.firstButton != nullptr) SetText(ok, texts.firstButton);
    if (texts.secondButton != nullptr) {
      SetText(no, texts.secondButton);
    } else if (no != nullptr) {
      no->SetVisible(false);
    }
  }

  SetIcon(icon, IconForType(type));
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
