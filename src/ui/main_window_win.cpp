#include "ui/main_window.h"

#include <commctrl.h>
#include <process.h>

#include <atomic>
#include <memory>
#include <string>

#include "ui/message_box.h"
#include "ui/string_table.h"
#include "update/progress.h"
#include "update/update_context.h"

namespace zr {
namespace {

std::atomic<CWnd_Main*> g_mainWindow{nullptr};

constexpr int kClientWidth = 580;
constexpr int kMargin = 36;

}  // namespace

CWnd_Main* GetMainWindow() { return g_mainWindow.load(); }
void SetMainWindow(CWnd_Main* window) { g_mainWindow.store(window); }

HWND CWnd_Main::Create(HWND parent, const wchar_t* title, DWORD style, DWORD exStyle, const RECT& rect) {
  HINSTANCE instance = GetModuleHandleW(nullptr);
  WNDCLASSEXW windowClass = {};
  windowClass.cbSize = sizeof windowClass;
  if (!GetClassInfoExW(instance, GetWindowClassName(), &windowClass)) {
    windowClass.style = CS_DBLCLKS;
    windowClass.lpfnWndProc = &CWnd_Main::WindowProc;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    windowClass.lpszClassName = GetWindowClassName();
    if (!RegisterClassExW(&windowClass)) return nullptr;
  }
  return CreateWindowExW(exStyle, GetWindowClassName(), title, style, rect.left, rect.top,
                         rect.right - rect.left, rect.bottom - rect.top, parent, nullptr, instance, this);
}

void CWnd_Main::CenterWindow() {
  RECT window = {};
  GetWindowRect(m_hwnd, &window);
  MONITORINFO monitor = {};
  monitor.cbSize = sizeof monitor;
  GetMonitorInfoW(MonitorFromWindow(m_hwnd, MONITOR_DEFAULTTONEAREST), &monitor);
  const RECT& area = monitor.rcWork;
  const int width = window.right - window.left;
  const int height = window.bottom - window.top;
  const int left = area.left + ((area.right - area.left) - width) / 2;
  const int top = area.top + ((area.bottom - area.top) - height) / 2;
  SetWindowPos(m_hwnd, nullptr, left, top, -1, -1, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

LRESULT CALLBACK CWnd_Main::WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  CWnd_Main* self = nullptr;
  if (message == WM_NCCREATE) {
    self = static_cast<CWnd_Main*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
    self->m_hwnd = hwnd;
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
  } else {
    self = reinterpret_cast<CWnd_Main*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  }
  if (self == nullptr) return DefWindowProcW(hwnd, message, wParam, lParam);
  const LRESULT result = self->HandleMessage(message, wParam, lParam);
  if (message == WM_NCDESTROY) {
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
    self->m_hwnd = nullptr;
    if (GetMainWindow() == self) SetMainWindow(nullptr);
    delete self;  // the object ends with its last message
  }
  return result;
}

void CWnd_Main::InitWindow() {
  SetMainWindow(this);
  HINSTANCE instance = GetModuleHandleW(nullptr);
  m_status = CreateWindowExW(0, L"STATIC", L"", WS_CHILD | WS_VISIBLE | SS_LEFT | SS_ENDELLIPSIS,
                             kMargin, 290 + 26, 408, 20, m_hwnd, nullptr, instance, nullptr);
  m_progress = CreateWindowExW(0, PROGRESS_CLASSW, L"", WS_CHILD | WS_VISIBLE, kMargin, 290 + 62,
                               kClientWidth - 2 * kMargin, 4, m_hwnd, nullptr, instance, nullptr);
  SendMessageW(m_progress, PBM_SETRANGE32, 0, 100);

  m_context = new CUpdateContext();
  HANDLE thread = reinterpret_cast<HANDLE>(
      _beginthreadex(nullptr, 0, m_workerEntry, m_context, 0, nullptr));
  (void)thread;  // never joined: the process ends with the UI thread's loop
}

void CWnd_Main::CloseAndQuit() {
  if (IsWindow(m_hwnd)) PostMessageW(m_hwnd, WM_CLOSE, 1, 0);
  PostMessageW(m_hwnd, WM_QUIT, 0, 0);
}

LRESULT CWnd_Main::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CREATE:
      InitWindow();
      return 0;
    case WM_CLOSE:
      PostQuitMessage(0);
      break;  // default processing destroys the window
    case WM_UPDATE_PROGRESS:
      if (lParam >= 0 && lParam <= 100) SendMessageW(m_progress, PBM_SETPOS, static_cast<WPARAM>(lParam), 0);
      return 0;
    case WM_UPDATE_SPEED:
      return 0;  // this window has no speed line
    case WM_UPDATE_STATUS_TEXT: {
      std::unique_ptr<std::wstring> text(reinterpret_cast<std::wstring*>(lParam));
      if (text) SetWindowTextW(m_status, text->c_str());
      return 0;
    }
    case WM_UPDATE_FATAL_TEXT: {
      std::unique_ptr<std::wstring> text(reinterpret_cast<std::wstring*>(lParam));
      ShowPlainBox(StringTable::Get(L"update").c_str(), m_hwnd, text ? text->c_str() : L"", 0x10);
      CloseAndQuit();
      return 0;
    }
    case WM_UPDATE_SUCCEEDED:
    case WM_UPDATE_FINISHED:
      CloseAndQuit();
      return 0;
    default:
      break;
  }
  (void)wParam;
  return DefWindowProcW(m_hwnd, message, wParam, lParam);
}

}  // namespace zr
