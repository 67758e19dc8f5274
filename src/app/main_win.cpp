// Process entry: prepares COM and the skin, reads the command line, tells an earlier updater
// to quit, creates and shows the main window and runs the message loop. Returns 0 on every
// path. The update worker is started by the main window and never waited for.
#include <windows.h>
#include <objbase.h>
#include <shellapi.h>

#include <new>
#include <string>
#include <vector>

#include "app/launch_options.h"
#include "app/update_platform_win.h"
#include "app/window_rect.h"
#include "update/file_stage.h"
#include "ui/main_window.h"

namespace {

constexpr wchar_t kWindowTitle[] = L"Zoria投屏助手更新程序";
constexpr DWORD kWindowStyle = 0x10CF0000;    // WS_VISIBLE | WS_OVERLAPPEDWINDOW
constexpr DWORD kWindowExStyle = 0x00060000;  // WS_EX_APPWINDOW | WS_EX_STATICEDGE
constexpr DWORD kEarlierInstanceWaitMs = 1000;

std::vector<std::wstring> CommandLineArguments() {
  std::vector<std::wstring> arguments;
  int count = 0;
  LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &count);
  if (argv == nullptr) return arguments;
  arguments.assign(argv, argv + count);
  LocalFree(argv);
  return arguments;
}

// An earlier updater still running is told to quit and given a second to do so.
void AskEarlierInstanceToQuit() {
  HWND earlier = FindWindowW(zr::CWnd_Main::GetWindowClassName(), kWindowTitle);
  if (earlier != nullptr && PostMessageW(earlier, WM_QUIT, 0, 0)) Sleep(kEarlierInstanceWaitMs);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  (void)instance;  // the window layer reads resources from the module handle of the exe
  if (FAILED(CoInitialize(nullptr))) return 0;

  zr::ParseCommandLine(CommandLineArguments(), zr::GetLaunchOptions());
  AskEarlierInstanceToQuit();

  auto* window = new (std::nothrow) zr::CWnd_Main(&zr::UpdateWorkerProc);
  if (window == nullptr) return 0;
  zr::SetMainWindow(window);

  const zr::WindowRect rect =
      zr::ComputeInitialWindowRect(GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN));
  if (window->Create(nullptr, kWindowTitle, kWindowStyle, kWindowExStyle,
                     RECT{rect.left, rect.top, rect.right, rect.bottom}) != nullptr) {
    window->CenterWindow();
    ShowWindow(window->GetHWND(), SW_SHOW);
  }

  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  // The loop has ended; a replacement or rollback under way is finished first.
  zr::GetFileStageGate().CloseAndWait();
  CoUninitialize();
  return 0;
}
