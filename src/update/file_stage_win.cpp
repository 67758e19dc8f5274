#include "update/file_stage_win.h"

#include <windows.h>

#include <atomic>

#include "update/file_stage.h"
#include "update/platform.h"

namespace zr {
namespace {

constexpr DWORD kPollMs = 50;

std::atomic<DWORD> g_stageThread{0};

BOOL CALLBACK CloseBox(HWND window, LPARAM) {
  ::PostMessageW(window, WM_CLOSE, static_cast<WPARAM>(BoxAnswer::kClosed), 0);
  return TRUE;
}

}  // namespace

bool EnterFileStageOnThisThread() {
  if (!GetFileStageGate().Enter()) return false;
  g_stageThread.store(::GetCurrentThreadId());
  return true;
}

void LeaveFileStageOnThisThread() { GetFileStageGate().Leave(); }

void FinishFileStage() {
  CFileStageGate& gate = GetFileStageGate();
  gate.Close();
  // A box may open just after a look: look again until the stage is over.
  while (!gate.WaitIdle(kPollMs)) {
    const DWORD worker = g_stageThread.load();
    if (worker != 0) ::EnumThreadWindows(worker, &CloseBox, 0);
    MSG msg;
    ::PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
  }
}

bool FileStageRunning() { return GetFileStageGate().IsRunning(); }

bool FileStageClosed() { return GetFileStageGate().IsClosed(); }

}  // namespace zr
