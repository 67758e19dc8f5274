// The updater's one top-level window, CWnd_Main, and the process-wide pointer to it.
//
// This is the plain Win32 window that carries the update until the skinned window replaces
// it: class "zrUpdater", a status line and a progress bar. It starts the update worker when it
// is created and reacts only to the worker's progress messages. UI thread only, except
// GetMainWindow, which the worker uses to address its posts.
#pragma once

#include <windows.h>

namespace zr {

struct CUpdateContext;

// The update worker's thread entry (_beginthreadex style), given the context. Start-up
// supplies UpdateWorkerProc, which knows the real platform.
using UpdateThreadEntry = unsigned(__stdcall*)(void* context);

class CWnd_Main {
 public:
  explicit CWnd_Main(UpdateThreadEntry workerEntry) : m_workerEntry(workerEntry) {}
  CWnd_Main(const CWnd_Main&) = delete;
  CWnd_Main& operator=(const CWnd_Main&) = delete;

  static const wchar_t* GetWindowClassName() { return L"zrUpdater"; }

  // Registers the class if needed and creates the window; nullptr on failure.
  HWND Create(HWND parent, const wchar_t* title, DWORD style, DWORD exStyle, const RECT& rect);
  // Centres the window on its monitor's work area.
  void CenterWindow();
  HWND GetHWND() const { return m_hwnd; }

 private:
  static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
  void InitWindow();
  void CloseAndQuit();  // WM_CLOSE (wParam 1), then WM_QUIT

  UpdateThreadEntry m_workerEntry;
  HWND m_hwnd = nullptr;
  HWND m_status = nullptr;
  HWND m_progress = nullptr;
  CUpdateContext* m_context = nullptr;  // lives until the process ends
};

// The process-wide main window pointer: set by start-up and by the window's initialisation,
// read by the worker thread.
CWnd_Main* GetMainWindow();
void SetMainWindow(CWnd_Main* window);

}  // namespace zr
