// The running product seen from Win32: found by its executable's full path through a Toolhelp
// snapshot, ended by id, asked to quit through its main window.

#include "update/product_process_win.h"

#include <windows.h>
#include <tlhelp32.h>

#include "util/ascii.h"
#include "util/handle_win.h"

namespace zr {
namespace {

// Enough to read a process's image path: granted on 64-bit processes to a 32-bit caller and on
// other users' processes, where reading the module list (0x410) is refused.
constexpr DWORD kQueryPathAccess = PROCESS_QUERY_LIMITED_INFORMATION;  // 0x1000
constexpr DWORD kTerminateAccess = PROCESS_TERMINATE;                  // 1
constexpr DWORD kPathBufferLength = 260;

constexpr wchar_t kProductWindowClass[] = L"Qt5QWindowIcon";
constexpr wchar_t kProductWindowTitle[] = L"Zoria投屏助手";

// True when the process's executable lies at exePath (its Win32 path, as the updater builds
// it). Processes we may not open even for that (system processes, a higher integrity level)
// are not the product as far as we can tell.
bool ProcessRunsFrom(DWORD processId, const std::wstring& exePath) {
  CKernelHandle process(OpenProcess(kQueryPathAccess, FALSE, processId));
  if (!process) return false;
  wchar_t imagePath[kPathBufferLength] = {};
  DWORD length = kPathBufferLength;
  if (!QueryFullProcessImageNameW(process.get(), 0, imagePath, &length)) return false;
  // The C runtime's case-insensitive comparison: letters A-Z in either case, all else exact.
  return EqualsIgnoringAsciiCase(imagePath, exePath);
}

}  // namespace

uint32_t FindProcessByPath(const std::wstring& exePath) {
  CKernelHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (!snapshot) return 0;
  PROCESSENTRY32W entry = {};
  entry.dwSize = sizeof(entry);
  for (BOOL more = Process32FirstW(snapshot.get(), &entry); more;
       more = Process32NextW(snapshot.get(), &entry)) {
    if (ProcessRunsFrom(entry.th32ProcessID, exePath)) return entry.th32ProcessID;
  }
  return 0;
}

void TerminateProcessById(uint32_t processId, uint32_t exitCode) {
  CKernelHandle process(OpenProcess(kTerminateAccess, FALSE, processId));
  if (process) TerminateProcess(process.get(), exitCode);
}

bool PostQuitToProductWindow() {
  HWND window = FindWindowW(kProductWindowClass, kProductWindowTitle);
  if (window == nullptr) return false;
  PostMessageW(window, WM_QUIT, 0, 0);
  return true;
}

}  // namespace zr
