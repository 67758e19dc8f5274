// Windows only. The DPI a window is drawn at, on every system the updater starts on.
//
// The process declares per-monitor awareness (v2, else v1, else system-wide) in its manifest
// (src/resources/zrUpdater.manifest); the functions that tell a window's own DPI exist only
// on newer systems and are looked up at run time, so the exe still starts on Windows 7. The
// engine's other system functions that are not imported are looked up the same way (ProcOf).
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

// `dll` loaded from the system folder, never from beside the exe; nullptr where it cannot be.
HMODULE LoadSystemDll(const wchar_t* dll);

// The function `name` of `module` (which may be nullptr); nullptr where it cannot be had.
template <typename Proc>
Proc ProcOf(HMODULE module, const char* name) {
  return module ? reinterpret_cast<Proc>(reinterpret_cast<void*>(::GetProcAddress(module, name))) : nullptr;
}

}  // namespace Skin
