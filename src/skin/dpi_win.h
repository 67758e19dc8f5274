// Windows only. The DPI a window is drawn at, on every system the updater starts on.
//
// The process declares per-monitor awareness (v2, else v1, else system-wide) in its manifest
// (src/resources/zrUpdater.manifest); the functions that tell a window's own DPI exist only
// on newer systems and are looked up at run time, so the exe still starts on Windows 7.
#pragma once

#include <windows.h>

namespace Skin {

// WM_DPICHANGED: wParam's low word is the new DPI, lParam the suggested window rectangle.
inline constexpr UINT kWmDpiChanged = 0x02E0;

// GetDpiForWindow where the system has it (Windows 10 1607 and later), else the screen's
// LOGPIXELSX (the system DPI an aware process sees); 96 when neither answers.
int WindowDpi(HWND hwnd);

// For programs without the exe's manifest (the test programs): declares per-monitor
// awareness v2 (else v1, else system-wide) at run time. False when the system refused all.
bool DeclareDpiAwareness();

}  // namespace Skin
