// The updater's modal message boxes, drawn by the skin engine: CMessageBox and ShowBox.
// Windows only.
//
// ShowBox builds a new box in its own scope, with the given owner, runs it modally on the
// calling thread (the UI thread or the update worker's; a worker box may have the UI
// thread's main window as owner) and returns the answer: kFirst for "btn_ok", kSecond for
// "btn_no", kClosed for "btn_close" and for a box that closes any other way (Alt+F4,
// WM_QUIT). A box keeps its document's size (380 x 168) whatever is asked of it; the owner is
// enabled again only when the last box over it closes (a box of each thread may share it).
#pragma once

#include <windows.h>

#include <functional>
#include <string>

#include "skin/skin_window_win.h"
#include "ui/box_fill.h"
#include "update/box_answer.h"

namespace zr {

// Where each box says what it shows and how it was answered: the run's record. Two lines,
// "box shown (DOCUMENT; BUTTONS): CAPTION: MESSAGE" (BUTTONS as DescribeBoxButtons gives them)
// once the box is filled and placed, just before it takes input, and "box closed: btn_ok"
// (btn_no, btn_close) or "box closed without a button" once it is gone. Empty: no lines.
using BoxRecord = std::function<void(const std::string& line)>;

BoxAnswer ShowBox(Skin::CSkinContext& context, HWND owner, BoxKind kind, const BoxTexts& texts,
                  const BoxRecord& record = {});

// One box. Lives in ShowBox's scope; the window is gone when ShowModal returns, and the
// object does not delete itself.
class CMessageBox : public Skin::CSkinWindow {
 public:
  CMessageBox(Skin::CSkinContext& context, const BoxStyle& style, const BoxTexts& texts)
      : CSkinWindow(context), m_style(style), m_texts(texts) {}

  const wchar_t* GetWindowClassName() const override { return L"messagebox"; }
  // Fills the box (box_fill.h).
  void InitWindow() override;
  std::wstring GetSkinFile() override { return m_style.link ? L"messageboxwithlink.xml" : L"messagebox.xml"; }
  // Consulted for Enter and Escape only; neither closes the box.
  LRESULT OnDefaultKey(WPARAM key) override { return key == VK_RETURN ? 1 : 0; }
  LRESULT HandleCustomMessage(UINT msg, WPARAM wparam, LPARAM lparam, bool& handled) override;
  void Notify(Skin::SkinNotify& msg) override;

  // The answer of the button that closed the box; BoxAnswer::kClosed until one did.
  BoxAnswer GetAnswer() const { return m_answer; }
  // The button whose click closed the box ("btn_ok", "btn_no", "btn_close"); empty when it
  // closed any other way (Alt+F4, WM_QUIT) or is still open.
  const std::string& ClosedBy() const { return m_closedBy; }

 private:
  const BoxStyle m_style;
  const BoxTexts& m_texts;
  BoxAnswer m_answer = BoxAnswer::kClosed;
  std::string m_closedBy;
};

}  // namespace zr
