// Process entry: hands the instance to the skin engine, prepares COM and the skin package,
// reads the command line, tells an earlier updater of the installation to quit and waits for
// it to end, creates and shows the main window and runs the engine's message loop. Exit code 0
// on every path. The update worker is started by the main window and never waited for,
// except that a replacement or rollback under way is let finish before the process ends.
#include <windows.h>
#include <objbase.h>
#include <shellapi.h>

#include <new>
#include <string>
#include <vector>

#include "app/instance_lock_win.h"
#include "app/launch_options.h"
#include "app/update_platform_win.h"
#include "app/window_rect.h"
#include "skin/resources.h"
#include "skin/skin_window_win.h"
#include "ui/main_window_win.h"
#include "ui/message_box_win.h"
#include "ui/skin_package.h"
#include "ui/string_table.h"
#include "update/file_stage_win.h"
#include "update/run_record_win.h"
#include "util/files.h"
#include "util/text.h"

namespace {

constexpr wchar_t kWindowTitle[] = L"Zoria投屏助手更新程序";
constexpr DWORD kWindowStyle = 0x10CF0000;    // WS_VISIBLE | WS_OVERLAPPEDWINDOW
constexpr DWORD kWindowExStyle = 0x00060000;  // WS_EX_APPWINDOW | WS_EX_STATICEDGE
constexpr UINT kWarningOneButton = 0x30;

std::vector<std::wstring> CommandLineArguments() {
  std::vector<std::wstring> arguments;
  int count = 0;
  LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &count);
  if (argv == nullptr) return arguments;
  arguments.assign(argv, argv + count);
  LocalFree(argv);
  return arguments;
}

// An earlier updater still running is told to quit; the installation's lock then tells when
// it has ended. True when there was one.
bool AskEarlierInstanceToQuit() {
  HWND earlier = FindWindowW(zr::kMainWindowClassName, kWindowTitle);
  return earlier != nullptr && PostMessageW(earlier, WM_QUIT, 0, 0);
}

// The record's first lines: how the updater was started.
void RecordStart(bool askedEarlier) {
  zr::CRunRecordFile& record = zr::GetRunRecord();
  record.Append("started (process " + std::to_string(GetCurrentProcessId()) + "): " + zr::WideToUtf8(GetCommandLineW()));
  if (askedEarlier) record.Append("an earlier updater's window was told to quit");
}

// The lock stayed with someone else: the user learns why nothing happens.
void TellInstallationBusy() {
  const std::wstring caption = zr::StringTable::Get(L"update");
  const std::wstring message = zr::StringTable::Get(L"box_updater_busy");
  zr::ShowPlainBox(caption.c_str(), nullptr, message.c_str(), kWarningOneButton);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  Skin::CResourceSettings::SetInstance(instance);
  if (FAILED(CoInitialize(nullptr))) return 0;
  zr::SetUpSkinPackage();  // without the package the window's skin fails to build, fatally

  zr::ParseCommandLine(CommandLineArguments(), zr::GetLaunchOptions());
  // One updater per installation: never two moving its files at once.
  const std::wstring directory = zr::GetModuleDirectory();
  zr::CInstallationLock lock(directory);
  const bool askedEarlier = AskEarlierInstanceToQuit();
  if (!lock.Acquire(zr::kEarlierUpdaterWaitMs)) {
    // The record belongs to whoever holds the installation: this one only adds to it.
    zr::GetRunRecord().Join(directory);
    RecordStart(askedEarlier);
    zr::GetRunRecord().Append("the installation is held (zrUpdater.lock) by another updater or program: nothing done");
    TellInstallationBusy();  // the earlier one would not end, or another program holds the lock
    CoUninitialize();
    return 0;  // nothing is touched
  }
  zr::GetRunRecord().Start(directory);
  RecordStart(askedEarlier);

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
  // Without a window nothing would ever end the loop: the process ends instead. A
  // replacement or rollback under way is finished first (an open box of it is closed).
  zr::FinishFileStage();
  CoUninitialize();
  // The worker may still run (a box, the usage report): returning would run the C runtime's
  // exit, which destroys the process-wide values (launch options, file-stage gate) while the
  // worker reads them. ExitProcess ends every other thread first and destroys nothing.
  ExitProcess(0);
}
