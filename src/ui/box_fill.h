// What a message box shows, as typed values, and filling the box's controls with it: the
// icon, the buttons and their texts, the link button and its measured width, the caption
// and the message.
//
// Portable: it works on the box's control tree as the skin engine built it from
// "messagebox.xml" or "messageboxwithlink.xml", so the rules are checked without a window.
// Runs on the thread that owns the box (the UI thread or the update worker's).
#pragma once

#include <functional>
#include <optional>
#include <string>

namespace Skin {
class CPaintManager;
}

namespace zr {

// The icons the boxes use: their rows in the 22 x 88 strip "messagebox_icon_22x22.png" (top
// to bottom: red cross, blue question mark, green check mark, orange exclamation mark).
enum class BoxIcon { kError = 0, kWarning = 3 };

// The updater's boxes.
enum class BoxKind {
  kError,     // a failure told, one button
  kWarning,   // something the user should know, one button
  kQuestion,  // two buttons and nothing else: the close button is disabled
  kLink,      // a failure told with the official web site's link, one or two buttons
};

// How a kind of box looks. The boxes have no default button: Enter and Escape answer nothing.
struct BoxStyle {
  BoxIcon icon = BoxIcon::kError;
  bool link = false;     // the document with the link button ("messageboxwithlink.xml")
  bool closable = true;  // false: the close button is disabled
};

// The one mapping of the updater's boxes onto their looks.
BoxStyle StyleOf(BoxKind kind);

// What a box says. A box shows the second button only when it has a second text (in the
// link box it stands left of the first, in the plain one right of it).
struct BoxTexts {
  std::wstring caption;
  std::wstring message;
  std::wstring firstButton;
  std::optional<std::wstring> secondButton;
  std::wstring linkText;  // the link box's; empty keeps the document's text
};

// Width in pixels of `text` as one line in the given font index and text style (on Windows
// measured on a device context of the box window).
using TextWidthMeasure = std::function<int(const std::wstring& text, int font, unsigned style)>;

// The link button's fixed width for a measured text width: w itself up to 60, else w + 20.
int LinkButtonWidth(int measuredWidth);

// Fills the box built in `manager` ("txt_caption", "txt_icon", "txt_tips", "btn_ok",
// "btn_no", "btn_close" and, in the link box, "btn_link"). A control missing from the
// document is skipped.
void FillMessageBox(Skin::CPaintManager& manager, const BoxStyle& style, const BoxTexts& texts,
                    const TextWidthMeasure& measure);

// The box's buttons as the run's record names them, in the document's order: each button's
// name, followed by " hidden" when it or a container of it is hidden and by " disabled" when
// it takes no click ("btn_close, btn_link, btn_no hidden, btn_ok").
std::string DescribeBoxButtons(Skin::CPaintManager& manager);

}  // namespace zr
