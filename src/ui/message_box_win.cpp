#include "ui/message_box.h"

#include <string>

namespace zr {
namespace {

constexpr int kAnswerFirst = 6;
constexpr int kAnswerSecond = 7;
constexpr int kAnswerClosed = 8;

// Maps the system box's answer onto the updater's three answers.
int Answer(int systemAnswer) {
  switch (systemAnswer) {
    case IDYES:
    case IDOK:
      return kAnswerFirst;
    case IDNO:
      return kAnswerSecond;
    default:
      return kAnswerClosed;
  }
}

}  // namespace

int ShowPlainBox(const wchar_t* caption, HWND owner, const wchar_t* message, UINT type) {
  const UINT buttons = (type & 0xF) == 4 ? MB_YESNO : MB_OK;
  return Answer(MessageBoxW(owner, message, caption, buttons | (type & ~0xFu)));
}

int ShowQuestionBox(const wchar_t* caption, HWND owner, const wchar_t* message,
                    const wchar_t* firstButton, const wchar_t* secondButton) {
  const std::wstring text = std::wstring(message) + L"\n\n[" + firstButton + L"] / [" + secondButton + L"]";
  return Answer(MessageBoxW(owner, text.c_str(), caption, MB_YESNO | MB_ICONWARNING));
}

int ShowLinkBox(const wchar_t* caption, const wchar_t* linkText, HWND owner, const wchar_t* message,
                const wchar_t* firstButton, const wchar_t* secondButton) {
  std::wstring text = std::wstring(message) + L"\n\n" + linkText + L"\n\n[" + firstButton + L"]";
  if (secondButton != nullptr) text += std::wstring(L" / [") + secondButton + L"]";
  const UINT buttons = secondButton != nullptr ? MB_YESNO : MB_OK;
  return Answer(MessageBoxW(owner, text.c_str(), caption, buttons | MB_ICONERROR));
}

}  // namespace zr
