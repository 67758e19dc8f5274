#include "skin/dpi_win.h"

#include "util/handle_win.h"

namespace Skin {
namespace {

// A function of user32 that older systems lack; nullptr there.
template <typename Proc>
Proc User32Proc(const char* name) {
  HMODULE user32 = ::GetModuleHandleW(L"user32.dll");
  if (!user32) return nullptr;
  return reinterpret_cast<Proc>(reinterpret_cast<void*>(::GetProcAddress(user32, name)));
}

}  // namespace

int WindowDpi(HWND hwnd) {
  using GetDpiForWindowProc = UINT(WINAPI*)(HWND);
  static const auto getDpiForWindow = User32Proc<GetDpiForWindowProc>("GetDpiForWindow");
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
  if (auto setContext = User32Proc<SetContextProc>("SetProcessDpiAwarenessContext")) {
    // DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2 (-4), then PER_MONITOR_AWARE (-3).
    if (setContext(reinterpret_cast<HANDLE>(static_cast<INT_PTR>(-4)))) return true;
    if (setContext(reinterpret_cast<HANDLE>(static_cast<INT_PTR>(-3)))) return true;
  }
  using SetAwareProc = BOOL(WINAPI*)();
  auto setAware = User32Proc<SetAwareProc>("SetProcessDPIAware");
  return setAware && setAware();
}

}  // namespace Skin
