// The updater's modal message boxes, drawn by the skin engine: CMessageBox and the three show
// operations. Windows only.
//
// Each show operation builds a new box in its own scope, with the given owner, runs it
// modally on the calling thread (the UI thread or the update worker's; a worker box may
// have the UI thread's main window as owner) and returns the answer: 6 for "btn_ok", 7 for
// "btn_no", 8 for "btn_close" and for a box that closes any other way (Alt+F4, WM_QUIT).
// A box keeps its document's size (380 x 168) whatever is asked of it; the owner is enabled
// again only when the last box over it closes (a box of each thread may share it).
#pragma once

#include <windows.h>

#include <functional>
#include <string>

#include "skin/skin_window_win.h"
#include "strings/texts.h"
#include "update/platform.h"

namespace Skin {
class CControlUI;
}

namespace zr {

// Where each box says what it shows and how it was answered: the run's record. Two lines,
// "box shown (DOCUMENT; BUTTONS): CAPTION: MESSAGE" (BUTTONS as DescribeBoxButtons gives them)
// once the box is filled and placed, just before it takes input, and "box closed: btn_ok"
// (btn_no, btn_close) or "box closed without a button" once it is gone. Empty: no lines.
using BoxRecord = std::function<void(const std::string& line)>;

// Caption, owner, message and type word (low 4 bits: 0 one button, 4 two buttons; the rest:
// 0x10 error, 0x20 question, 0x30 warning, 0x100 success). Buttons "ok" and, in the
// two-button layout, "cancel" of `texts`.
BoxAnswer ShowPlainBox(const ITexts& texts, const wchar_t* caption, HWND owner, const wchar_t* message,
                       UINT type, const BoxRecord& record = {});

// Two buttons with the caller's texts, the warning icon and a disabled close button.
BoxAnswer ShowQuestionBox(const wchar_t* caption, HWND owner, const wchar_t* message,
                    const wchar_t* firstButton, const wchar_t* secondButton, const BoxRecord& record = {});

// The box with the official web site link ("btn_link", the error icon); a null second text
// hides the second button, which otherwise stands left of the first.
BoxAnswer ShowLinkBox(const wchar_t* caption, const wchar_t* linkText, HWND owner, const wchar_t* message,
                const wchar_t* firstButton, const wchar_t* secondButton, const BoxRecord& record = {});

// One box. Lives in the show operation's scope; the window is gone when ShowModal returns,
// and the object does not delete itself.
class CMessageBox : public Skin::CSkinWindow {
 public:
  // An empty link address makes the plain box, any other the box with the link button.
  explicit CMessageBox(std::wstring linkAddress) : m_linkAddress(std::move(linkAddress)) {}
  ~CMessageBox() override = default;

  const wchar_t* GetWindowClassName() const override { return L"messagebox"; }
  void InitWindow() override;
  std::wstring GetSkinFile() override;
  LRESULT OnDefaultKey(WPARAM key) override;
  LRESULT HandleCustomMessage(UINT msg, WPARAM wparam, LPARAM lparam, bool& handled) override;
  bool KeepsDocumentSize() const override { return true; }
  void Notify(Skin::SkinNotify& msg) override;

  // Sets texts, buttons and icon (the rules of box_fill.h). Call after the window exists.
  void Fill(const wchar_t* caption, const wchar_t* linkText, const wchar_t* message, UINT type,
            const wchar_t* firstButton, const wchar_t* secondButton);
  // The answer of the button that closed the box; BoxAnswer::kClosed until one did.
  BoxAnswer GetAnswer() const { return m_answer; }
  // Its document and buttons, as the record's "box shown" line names them.
  std::string Describe();
  // The button whose click closed the box ("btn_ok", "btn_no", "btn_close"); empty when it
  // closed any other way (Alt+F4, WM_QUIT) or is still open.
  const std::string& ClosedBy() const { return m_closedBy; }

 private:
  BoxAnswer m_answer = BoxAnswer::kClosed;
  std::string m_closedBy;  // the button that closed the box, empty for any other way
  std::wstring m_linkAddress;
  Skin::CControlUI* m_caption = nullptr;
  Skin::CControlUI* m_tips = nullptr;
  Skin::CControlUI* m_icon = nullptr;
  Skin::CControlUI* m_ok = nullptr;
  Skin::CControlUI* m_no = nullptr;
  Skin::CControlUI* m_close = nullptr;
};

}  // namespace zr
