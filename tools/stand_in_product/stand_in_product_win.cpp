// Stand-in for the product, built as "zrCastrix.exe": it opens a window of the product's class
// and title and behaves as the tests ask on its command line.
//
//   --quit-on-request   end when WM_QUIT arrives (the default), exit code 0
//   --ignore-quit       keep running after WM_QUIT; only termination ends it
//   --no-window         run without the product window
//   --hold <file>       keep <file> open without delete sharing, so that moving it fails
//   --exclusive         hold it without any sharing, so that reading it fails too
//   --ready <file>      once the window is up and the file held, write our process id there
//                       (written under another name, then renamed: it appears complete); and
//                       on any ending of our own, write its exit code to <file>.ended, which
//                       a process ended from outside (TerminateProcess) never writes
//   --lifetime <ms>     end by itself after this long (default 120000, exit code 3), so that
//                       a test that fails half-way leaves no process behind
//   --until <file>      end (exit code 4) as soon as <file> exists: how a test stops a stand-in
//                       that ignores WM_QUIT, since ending Wine's process from outside does
//                       not release what the Windows process holds
//   --rewrite <file>    every 20 ms try to change <file> as a program that may write it would, with
//                       its size and last write time kept: rewrite its first bytes in place, and
//                       put a file of other bytes in its place; after each try write to
//                       <ready file>.rewrites "CHANGED/FOUND": how many tries changed it, and
//                       how many found it there
//   --after <file>      begin those tries only once <file> exists
//   --mutex <name>      first wait for the named mutex and keep it while we live: the product
//                       window is found by class and title desktop-wide, so test programs
//                       sharing one Wine prefix take turns through this mutex
//
// Exit code 2: bad command line or the file to hold cannot be opened.

#include <windows.h>
#include <shellapi.h>

#include <algorithm>
#include <cstdlib>
#include <string>

#include "util/handle_win.h"

namespace {

constexpr wchar_t kWindowClass[] = L"Qt5QWindowIcon";
constexpr wchar_t kWindowTitle[] = L"Zoria投屏助手";
constexpr UINT kStopCheckMs = 100;
constexpr UINT kRewriteMs = 20;

struct Options {
  bool ignoreQuit = false;
  bool window = true;
  std::wstring holdPath;
  bool exclusive = false;
  std::wstring readyPath;
  std::wstring mutexName;
  std::wstring untilPath;
  std::wstring rewritePath;
  std::wstring afterPath;
  UINT lifetimeMs = 120000;
};

bool ParseOptions(Options& options) {
  int argc = 0;
  LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  if (argv == nullptr) return false;
  bool ok = true;
  for (int i = 1; i < argc && ok; ++i) {
    const std::wstring arg = argv[i];
    const bool hasValue = i + 1 < argc;
    if (arg == L"--quit-on-request") {
      options.ignoreQuit = false;
    } else if (arg == L"--ignore-quit") {
      options.ignoreQuit = true;
    } else if (arg == L"--no-window") {
      options.window = false;
    } else if (arg == L"--exclusive") {
      options.exclusive = true;
    } else if (arg == L"--hold" && hasValue) {
      options.holdPath = argv[++i];
    } else if (arg == L"--ready" && hasValue) {
      options.readyPath = argv[++i];
    } else if (arg == L"--until" && hasValue) {
      options.untilPath = argv[++i];
    } else if (arg == L"--rewrite" && hasValue) {
      options.rewritePath = argv[++i];
    } else if (arg == L"--after" && hasValue) {
      options.afterPath = argv[++i];
    } else if (arg == L"--mutex" && hasValue) {
      options.mutexName = argv[++i];
    } else if (arg == L"--lifetime" && hasValue) {
      options.lifetimeMs = static_cast<UINT>(wcstoul(argv[++i], nullptr, 10));
    } else {
      ok = false;
    }
  }
  LocalFree(argv);
  return ok;
}

bool WriteMarker(const std::wstring& path, const std::string& text) {
  const std::wstring partial = path + L".part";
  {
    zr::CKernelHandle file(
        CreateFileW(partial.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return false;
    DWORD written = 0;
    if (!WriteFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr)) return false;
  }
  return MoveFileExW(partial.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
}

// One try of --rewrite: true when the file was changed, its first bytes rewritten in place or
// another file of the same size and time put in its place (ReplaceFileW, which wants the file
// there); `found` when it was there. The other file is made once, at the first try.
bool TryToRewrite(const std::wstring& path, bool& found) {
  WIN32_FILE_ATTRIBUTE_DATA before = {};
  found = GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &before) && before.nFileSizeLow != 0;
  if (!found) return false;
  bool changed = false;
  {
    zr::CKernelHandle file(CreateFileW(path.c_str(), GENERIC_WRITE | FILE_WRITE_ATTRIBUTES,
                                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                       FILE_ATTRIBUTE_NORMAL, nullptr));
    const std::string bytes(std::min<DWORD>(before.nFileSizeLow, 4096), 'F');
    DWORD written = 0;
    if (file && WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr)) {
      SetFileTime(file.get(), nullptr, nullptr, &before.ftLastWriteTime);
      changed = true;
    }
  }
  const std::wstring other = path + L".other";
  if (GetFileAttributesW(other.c_str()) == INVALID_FILE_ATTRIBUTES) {
    zr::CKernelHandle file(
        CreateFileW(other.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
    const std::string bytes(1 << 20, 'O');
    for (DWORD left = before.nFileSizeLow; file && left > 0;) {
      DWORD written = 0;
      if (!WriteFile(file.get(), bytes.data(), std::min<DWORD>(left, bytes.size()), &written, nullptr)) break;
      left -= written;
    }
    if (file) SetFileTime(file.get(), nullptr, nullptr, &before.ftLastWriteTime);
  }
  return ReplaceFileW(path.c_str(), other.c_str(), nullptr, REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr) ||
         changed;
}

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_DESTROY) {
    PostQuitMessage(0);
    return 0;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

HWND CreateProductWindow(HINSTANCE instance) {
  WNDCLASSEXW windowClass = {};
  windowClass.cbSize = sizeof(windowClass);
  windowClass.lpfnWndProc = WindowProc;
  windowClass.hInstance = instance;
  windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  windowClass.lpszClassName = kWindowClass;
  if (RegisterClassExW(&windowClass) == 0) return nullptr;
  HWND window = CreateWindowExW(0, kWindowClass, kWindowTitle, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT, 320,
                                200, nullptr, nullptr, instance, nullptr);
  if (window != nullptr) ShowWindow(window, SW_SHOWNOACTIVATE);
  return window;
}

int Run(HINSTANCE instance, const Options& options) {
  // Held until the process ends (then released as abandoned).
  zr::CKernelHandle turn(options.mutexName.empty() ? nullptr : CreateMutexW(nullptr, FALSE, options.mutexName.c_str()));
  if (!options.mutexName.empty()) {
    const DWORD waited = turn ? WaitForSingleObject(turn.get(), 300000) : WAIT_FAILED;
    if (waited != WAIT_OBJECT_0 && waited != WAIT_ABANDONED) return 2;
  }

  // Read and write sharing only (or none): a move or delete of the held file fails while we live.
  // A program killed a moment ago may still hold it: its handles go a little after it.
  const DWORD sharing = options.exclusive ? 0 : FILE_SHARE_READ | FILE_SHARE_WRITE;
  zr::CKernelHandle held;
  for (int tries = 0; !options.holdPath.empty() && !held && tries < 100; ++tries) {
    if (tries > 0) Sleep(100);
    held.Reset(CreateFileW(options.holdPath.c_str(), GENERIC_READ, sharing, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!held && GetLastError() != ERROR_SHARING_VIOLATION) break;
  }
  if (!options.holdPath.empty() && !held) return 2;

  HWND window = options.window ? CreateProductWindow(instance) : nullptr;
  if (options.window && window == nullptr) return 2;
  // Thread timers, so that they also work without a window.
  const UINT_PTR lifetimeTimer = SetTimer(nullptr, 0, options.lifetimeMs, nullptr);
  if (!options.untilPath.empty()) SetTimer(nullptr, 0, kStopCheckMs, nullptr);
  const UINT_PTR rewriteTimer = options.rewritePath.empty() ? 0 : SetTimer(nullptr, 0, kRewriteMs, nullptr);
  int changed = 0, found = 0;

  if (!options.readyPath.empty() && !WriteMarker(options.readyPath, std::to_string(GetCurrentProcessId()))) return 2;

  MSG message;
  for (;;) {
    BOOL got = GetMessageW(&message, nullptr, 0, 0);
    if (got == -1) return 2;
    if (got == 0) {
      if (options.ignoreQuit) continue;
      return 0;
    }
    if (message.message == WM_TIMER && message.hwnd == nullptr) {
      if (message.wParam == lifetimeTimer) return 3;
      if (rewriteTimer != 0 && message.wParam == rewriteTimer) {
        if (options.afterPath.empty() || GetFileAttributesW(options.afterPath.c_str()) != INVALID_FILE_ATTRIBUTES) {
          bool there = false;
          changed += TryToRewrite(options.rewritePath, there) ? 1 : 0;
          found += there ? 1 : 0;
          if (!options.readyPath.empty()) {
            WriteMarker(options.readyPath + L".rewrites", std::to_string(changed) + "/" + std::to_string(found));
          }
        }
        continue;
      }
      if (GetFileAttributesW(options.untilPath.c_str()) != INVALID_FILE_ATTRIBUTES) return 4;
      continue;
    }
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
}

}  // namespace

// Wine's exit status of a process ended from outside is 0 or 255, depending on which of its
// threads notices first; the mark of our own endings tells a test which way we ended.
int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, LPWSTR, int) {
  Options options;
  if (!ParseOptions(options)) return 2;
  const int code = Run(instance, options);
  if (!options.readyPath.empty()) WriteMarker(options.readyPath + L".ended", std::to_string(code));
  return code;
}
