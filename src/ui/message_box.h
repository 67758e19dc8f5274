// The updater's modal message boxes. Each runs modally on the calling thread (the worker's or
// the UI thread) with the given owner, and answers 6 for the first button, 7 for the second
// and 8 when the box is closed any other way.
//
// Until the skinned boxes exist these are shown with the system's message box: two buttons as
// Yes/No (answers 6 and 7), one button as OK.
#pragma once

#include <windows.h>

namespace zr {

// Caption, owner, message and type word (MB_ style: low 4 bits button layout, the rest the
// icon). Buttons "确定" (and "取消" in the two-button layout).
int ShowPlainBox(const wchar_t* caption, HWND owner, const wchar_t* message, UINT type);

// Two buttons with the caller's texts and the warning icon.
int ShowQuestionBox(const wchar_t* caption, HWND owner, const wchar_t* message,
                    const wchar_t* firstButton, const wchar_t* secondButton);

// The box with a link to the official web site; a null second text hides the second button.
int ShowLinkBox(const wchar_t* caption, const wchar_t* linkText, HWND owner, const wchar_t* message,
                const wchar_t* firstButton, const wchar_t* secondButton);

}  // namespace zr
