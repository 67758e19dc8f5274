// Process entry: hands the instance to the skin engine, prepares COM and the skin package,
// reads the command line, tells an earlier updater to quit, creates and shows the main window
// and runs the engine's message loop. Returns 0 on every path. The update worker is started
// by the main window and never waited for, except that a replacement or rollback under way
// is let finish before the process ends.
#include <windows.h>
#include <objbase.h>
#include <shellapi.h>

#include <new>
#include <string>
#include <vector>

#include "app/launch_options.h"
#include "app/update_platform_win.h"
#include "app/window_rect.h"
#include "skin/resources.h"
#include "skin/skin_window.h"
#include "ui/main_window.h"
#include "ui/skin_package.h"
#include "update/file_stage.h"

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
  HWND earlier = FindWindowW(zr::kMainWindowClassName, kWindowTitle);
  if (earlier != nullptr && PostMessageW(earlier, WM_QUIT, 0, 0)) Sleep(kEarlierInstanceWaitMs);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  Skin::CResourceSettings::SetInstance(instance);
  if (FAILED(CoInitialize(nullptr))) return 0;
  zr::SetUpSkinPackage();  // without the package the window's skin fails to build, fatally

  zr::ParseCommandLine(CommandLineArguments(), zr::GetLaunchOptions());
  AskEarlierInstanceToQuit();

  auto* window = new (std::nothrow) zr::CWnd_Main(&zr::UpdateWorkerProc);
  if (window == nullptr) return 0;
  zr::SetMainWindow(window);

  const zr::WindowRect rect =
      zr::ComputeInitialWindowRect(GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN));
  if (window->Create(nullptr, kWindowTitle, kWindowStyle, kWindowExStyle, rect.left, rect.top,
                     rect.right - rect.left, rect.bottom - rect.top) != nullptr) {
    window->CenterWindow();
    ShowWindow(window->GetHWND(), SW_SHOW);
    Skin::MessageLoop();
  }
  // Without a window nothing would ever end the loop: the process ends instead.
  // The loop has ended; a replacement or rollback under way is finished first.
  zr::GetFileStageGate().CloseAndWait();
  CoUninitialize();
  return 0;
}
