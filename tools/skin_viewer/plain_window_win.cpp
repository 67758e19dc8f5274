// plain_window --log PATH: a minimal Win32 program that opens a plain 580 x 400 window (at
// 96 DPI; as large as the updater's at the display's scale, whose DPI it is aware of),
// paints it once with a solid colour and closes; it logs "frame-ms N" (process start to the
// first painted frame) and, once the window has settled (no message left), "peak-kb N" (peak
// working set), as skin_viewer --bench does, for the start-up benchmark's baseline.
#include <windows.h>
#include <psapi.h>
#include <shellapi.h>

#include <cstdio>
#include <string>

namespace {

constexpr UINT kFirstFrameDone = WM_APP + 100;
std::wstring g_log;
bool g_painted = false;

double MillisecondsSinceProcessStart() {
  FILETIME created, exited, kernel, user, now;
  GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
  GetSystemTimeAsFileTime(&now);
  ULARGE_INTEGER a{{created.dwLowDateTime, created.dwHighDateTime}};
  ULARGE_INTEGER b{{now.dwLowDateTime, now.dwHighDateTime}};
  return static_cast<double>(b.QuadPart - a.QuadPart) / 10000.0;
}

void Log(const char* line) {
  HANDLE f = CreateFileW(g_log.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                         nullptr);
  if (f == INVALID_HANDLE_VALUE) return;
  std::string text = std::string(line) + "\n";
  DWORD written = 0;
  WriteFile(f, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
  CloseHandle(f);
}

LRESULT CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) {
  switch (msg) {
    case WM_PAINT: {
      PAINTSTRUCT ps;
      HDC dc = BeginPaint(hwnd, &ps);
      HBRUSH brush = CreateSolidBrush(RGB(0x23, 0x6E, 0xE7));
      FillRect(dc, &ps.rcPaint, brush);
      DeleteObject(brush);
      EndPaint(hwnd, &ps);
      if (!g_painted) {
        g_painted = true;
        PostMessageW(hwnd, kFirstFrameDone, 0, 0);
      }
      return 0;
    }
    case kFirstFrameDone: {
      char line[64];
      std::snprintf(line, sizeof line, "frame-ms %.1f", MillisecondsSinceProcessStart());
      Log(line);
      // Settle as the skinned window does before its figure: whatever the system still does
      // for a new window counts for both.
      MSG msg;
      for (int idle = 0; idle < 3;) {
        if (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
          idle = 0;
          DispatchMessageW(&msg);
        } else {
          ++idle;
          Sleep(5);
        }
      }
      PROCESS_MEMORY_COUNTERS pmc = {};
      pmc.cb = sizeof(pmc);
      GetProcessMemoryInfo(GetCurrentProcess(), &pmc, sizeof(pmc));
      std::snprintf(line, sizeof line, "peak-kb %zu", static_cast<size_t>(pmc.PeakWorkingSetSize / 1024));
      Log(line);
      DestroyWindow(hwnd);
      return 0;
    }
    case WM_DESTROY: PostQuitMessage(0); return 0;
  }
  return DefWindowProcW(hwnd, msg, wparam, lparam);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  int argc = 0;
  LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  for (int i = 1; i + 1 < argc; ++i) {
    if (std::wstring(argv[i]) == L"--log") g_log = argv[i + 1];
  }
  LocalFree(argv);
  WNDCLASSEXW wc = {};
  wc.cbSize = sizeof(wc);
  wc.lpfnWndProc = Proc;
  wc.hInstance = instance;
  wc.lpszClassName = L"zrPlainWindow";
  RegisterClassExW(&wc);
  HDC screen = GetDC(nullptr);
  const int dpi = screen ? GetDeviceCaps(screen, LOGPIXELSX) : 96;
  if (screen) ReleaseDC(nullptr, screen);
  HWND hwnd = CreateWindowExW(0, wc.lpszClassName, L"plain_window", WS_POPUP, 100, 100, MulDiv(580, dpi, 96),
                              MulDiv(400, dpi, 96), nullptr, nullptr, instance, nullptr);
  ShowWindow(hwnd, SW_SHOWNORMAL);
  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  return 0;
}
