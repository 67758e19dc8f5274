#include "skin/dpi_win.h"

#include <string>

#include "util/handle_win.h"

namespace Skin {

int WindowDpi(HWND hwnd) {
  using GetDpiForWindowProc = UINT(WINAPI*)(HWND);
  static const auto getDpiForWindow = ProcOf<GetDpiForWindowProc>(::GetModuleHandleW(L"user32.dll"), "GetDpiForWindow");
  if (getDpiForWindow && hwnd) {
    UINT dpi = getDpiForWindow(hwnd);
    if (dpi > 0) return static_cast<int>(dpi);
  }
  zr::CWindowDC dc(nullptr);
  int dpi = dc.get() ? ::GetDeviceCaps(dc.get(), LOGPIXELSX) : 0;
  return dpi > 0 ? dpi : 96;
}

bool DeclareDpiAwareness() {
  using SetContextProc = BOOL(WINAPI*)(HANDLE);
  if (auto setContext = ProcOf<SetContextProc>(::GetModuleHandleW(L"user32.dll"), "SetProcessDpiAwarenessContext")) {
    // DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2 (-4), then PER_MONITOR_AWARE (-3).
    if (setContext(reinterpret_cast<HANDLE>(static_cast<INT_PTR>(-4)))) return true;
    if (setContext(reinterpret_cast<HANDLE>(static_cast<INT_PTR>(-3)))) return true;
  }
  using SetAwareProc = BOOL(WINAPI*)();
  auto setAware = ProcOf<SetAwareProc>(::GetModuleHandleW(L"user32.dll"), "SetProcessDPIAware");
  return setAware && setAware();
}

HMODULE LoadSystemDll(const wchar_t* dll) {
  wchar_t system[MAX_PATH];
  UINT n = ::GetSystemDirectoryW(system, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return nullptr;
  return ::LoadLibraryW((std::wstring(system, n) + L"\\" + dll).c_str());
}

}  // namespace Skin
