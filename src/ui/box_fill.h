// Filling a message box's controls from what the caller asked for: the button layout and
// icon chosen by the type word, the button texts, the link button and its measured width,
// the caption and the message.
//
// Portable: it works on the box's control tree as the skin engine built it from
// "messagebox.xml" or "messageboxwithlink.xml", so the rules are checked without a window.
// Runs on the thread that owns the box (the UI thread or the update worker's).
#pragma once

#include <functional>
#include <string>

namespace Skin {
class CPaintManager;
}

namespace zr {

// The four icons: rows of the 22 x 88 strip "messagebox_icon_22x22.png".
inline constexpr wchar_t kBoxIconError[] = L"file='messagebox_icon_22x22.png' source='0,0,22,22'";
inline constexpr wchar_t kBoxIconQuestion[] = L"file='messagebox_icon_22x22.png' source='0,22,22,44'";
inline constexpr wchar_t kBoxIconSuccess[] = L"file='messagebox_icon_22x22.png' source='0,44,22,66'";
inline constexpr wchar_t kBoxIconWarning[] = L"file='messagebox_icon_22x22.png' source='0,66,22,88'";

// What the box shows. Null pointers mean "not given"; caption and message are always given
// by the updater's callers (a null one is shown as empty).
struct BoxTexts {
  const wchar_t* caption = nullptr;
  const wchar_t* linkText = nullptr;
  const wchar_t* message = nullptr;
  const wchar_t* firstButton = nullptr;
  const wchar_t* secondButton = nullptr;
};

// Width in pixels of `text` as one line in the given font index and text style (on Windows
// measured on a device context of the box window).
using TextWidthMeasure = std::function<int(const std::wstring& text, int font, unsigned style)>;

// The link button's fixed width for a measured text width: w itself up to 60, else w + 20.
int LinkButtonWidth(int measuredWidth);

// The icon description for the type word's upper bits (type AND NOT 0xF): 0x10 error,
// 0x20 question, 0x30 warning, 0x100 success; nullptr for any other value.
const wchar_t* IconForType(unsigned type);

// Fills the box built in `manager` ("txt_caption", "txt_icon", "txt_tips", "btn_ok",
// "btn_no", "btn_close" and, in the link variant, "btn_link"):
// - low four bits 4: close button disabled, question icon, both button texts set when both
//   are given;
// - 0, plain variant: first text on "btn_ok" (empty when none), success icon, "btn_no"
//   hidden;
// - 0, link variant: link text on "btn_link" with its measured width fitted, first text if
//   given, second text if given, else "btn_no" hidden;
// - any other layout value: the document's buttons stay as they are;
// then the icon of the upper bits replaces the layout's, then caption and message.
// A control missing from the document is skipped.
void FillMessageBox(Skin::CPaintManager& manager, bool linkVariant, const BoxTexts& texts,
                    unsigned type, const TextWidthMeasure& measure);

// The box's buttons as the run's record names them, in the document's order: each button's
// name, followed by " hidden" when it or a container of it is hidden and by " disabled" when
// it takes no click ("btn_close, btn_link, btn_no hidden, btn_ok").
std::string DescribeBoxButtons(Skin::CPaintManager& manager);

}  // namespace zr
