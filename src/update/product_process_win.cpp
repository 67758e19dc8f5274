// The running product seen from Win32: found by its executable's full path through a Toolhelp
// snapshot, ended by id, asked to quit through its main window.

#include "update/product_process_win.h"

#include <windows.h>
#include <tlhelp32.h>

namespace zr {
namespace {

// Owns one kernel handle; closes it on scope exit. INVALID_HANDLE_VALUE and null are both
// "no handle" (the snapshot and OpenProcess report failure differently).
class ScopedHandle {
 public:
  explicit ScopedHandle(HANDLE handle) : handle_(handle) {}
  ~ScopedHandle() {
    if (valid()) CloseHandle(handle_);
  }
  ScopedHandle(const ScopedHandle&) = delete;
  ScopedHandle& operator=(const ScopedHandle&) = delete;

  bool valid() const { return handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE; }
  HANDLE get() const { return handle_; }

 private:
  HANDLE handle_;
};

// Enough to read a process's image path: granted on 64-bit processes to a 32-bit caller and on
// other users' processes, where reading the module list (0x410) is refused.
constexpr DWORD kQueryPathAccess = PROCESS_QUERY_LIMITED_INFORMATION;  // 0x1000
constexpr DWORD kTerminateAccess = PROCESS_TERMINATE;                  // 1
constexpr DWORD kPathBufferLength = 260;

constexpr wchar_t kProductWindowClass[] = L"Qt5QWindowIcon";
constexpr wchar_t kProductWindowTitle[] = L"Zoria投屏助手";

// The C runtime's case-insensitive comparison in its default locale: the letters A-Z match
// their lower-case forms, every other character must be identical.
wchar_t FoldAscii(wchar_t c) { return (c >= L'A' && c <= L'Z') ? wchar_t(c - L'A' + L'a') : c; }

bool EqualsIgnoringAsciiCase(const wchar_t* a, const wchar_t* b) {
  for (;; ++a, ++b) {
    if (FoldAscii(*a) != FoldAscii(*b)) return false;
    if (*a == L'\0') return true;
  }
}

// True when the process's executable lies at exePath (its Win32 path, as the updater builds
// it). Processes we may not open even for that (system processes, a higher integrity level)
// are not the product as far as we can tell.
bool ProcessRunsFrom(DWORD processId, const std::wstring& exePath) {
  ScopedHandle process(OpenProcess(kQueryPathAccess, FALSE, processId));
  if (!process.valid()) return false;
  wchar_t imagePath[kPathBufferLength] = {};
  DWORD length = kPathBufferLength;
  if (!QueryFullProcessImageNameW(process.get(), 0, imagePath, &length)) return false;
  return EqualsIgnoringAsciiCase(imagePath, exePath.c_str());
}

}  // namespace

uint32_t FindProcessByPath(const std::wstring& exePath) {
  ScopedHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (!snapshot.valid()) return 0;
  PROCESSENTRY32W entry = {};
  entry.dwSize = sizeof(entry);
  for (BOOL more = Process32FirstW(snapshot.get(), &entry); more;
       more = Process32NextW(snapshot.get(), &entry)) {
    if (ProcessRunsFrom(entry.th32ProcessID, exePath)) return entry.th32ProcessID;
  }
  return 0;
}

void TerminateProcessById(uint32_t processId, uint32_t exitCode) {
  ScopedHandle process(OpenProcess(kTerminateAccess, FALSE, processId));
  if (process.valid()) TerminateProcess(process.get(), exitCode);
}

bool PostQuitToProductWindow() {
  HWND window = FindWindowW(kProductWindowClass, kProductWindowTitle);
  if (window == nullptr) return false;
  PostMessageW(window, WM_QUIT, 0, 0);
  return true;
}

}  // namespace zr
