// The program: one run of the updater, put together in one place. It owns the command line's
// options, the texts, the skin context, the record, the moving section, the run the worker fills
// and the worker thread itself, and hands each to whoever needs it; nothing of a run lives in
// a process-wide variable.
//
// One run: one updater per installation (an earlier one is told to quit and waited for), the
// record, the main window, the message loop. The worker starts once the window is built and
// shown, and is joined before the program goes: when the loop has ended, a replacement or
// rollback under way is finished, the worker's open boxes are closed, and the engine, which
// sees the process ending, stops at its next step.
//
// Every object's lifetime, in one place (who makes it, who deletes it, when):
// - The program: made by wWinMain on the first thread, deleted by it after Run, unless Run
//   says something still refers to it (the worker would not end, or a WM_QUIT left the
//   window): then it goes with the process.
// - The program's members: made with it in the order below, deleted with it in reverse.
// - The skin context (m_skin): the package (the program's own resource, mapped for the
//   process's life), the pictures (each decoded when first drawn, kept until the context
//   goes), the shared fonts (from the first document that declares them) and the modal-box
//   counts. Every window is made with it and has ended before it goes.
// - The main window object: made by Run with new; it deletes itself (main_window_win.h), but a
//   loop ended by WM_QUIT leaves it (and the program) to go with the process.
// - A message box: made on the stack of the thread that shows it (ShowBox), gone when ShowBox
//   returns.
// - A window's paint manager and control tree: made with the window object and when its window
//   is created; deleted with the window object. Its host (back buffer, fonts, shadow, tooltip):
//   made at WM_CREATE, deleted with the window object.
// - The worker thread: started once the window is shown, joined before Run returns
//   (or given up after its bound, see above).
// - The window classes: registered once per class name on first use, for the process's life.
#pragma once

#include <windows.h>

#include <atomic>
#include <optional>
#include <string>
#include <vector>

#include "app/launch_options.h"
#include "skin/skin_context.h"
#include "strings/string_table.h"
#include "ui/main_window_win.h"
#include "update/moving_gate_win.h"
#include "update/run_record_win.h"
#include "update/update_context.h"
#include "util/handle_win.h"

namespace zr {

class CProgram final : private IMainWindowOwner {
 public:
  // `arguments` as the command line gives them, the program's path first.
  explicit CProgram(const std::vector<std::wstring>& arguments);
  CProgram(const CProgram&) = delete;
  CProgram& operator=(const CProgram&) = delete;

  // The whole run. True when nothing refers to the program any more: the worker has ended (or
  // never started) and the window is gone. False when the worker would not end within its bound
  // after the loop, or a WM_QUIT ended the loop while the window was still there: the program
  // must then be left alone until the process ends, since they still refer to it.
  bool Run();
  // 1 when the window could not be built, else 0.
  int ExitCode() const { return m_exitCode; }

 private:
  // IMainWindowOwner
  CEventQueue* WindowBuilt(HWND window) override;
  void WindowDestroyed() override { m_window.store(nullptr); }
  bool FilesMoving() override { return m_gate.IsRunning(); }
  void SessionEnds() override { m_gate.Finish(); }
  void LaunchProduct() override;
  void Record(const std::string& line) override { m_record.Append(line); }

  void RecordStart(bool askedEarlier);
  // The main window, created (its skin built); nullptr when it could not be or went meanwhile.
  CWnd_Main* CreateMainWindow(const std::wstring& title);
  // The worker, once the window is shown: the run the window's skin set up.
  void StartWorker();
  // After the loop: the moving section finished, then the worker's boxes closed until it ends.
  bool EndWorker();
  static unsigned __stdcall WorkerEntry(void* program) { return static_cast<CProgram*>(program)->Work(); }
  unsigned Work();

  LaunchOptions m_options;
  const std::wstring m_directory;  // the updater's own: the installation
  const StringTable m_texts;
  Skin::CSkinContext m_skin;
  CRunRecordFile m_record;
  CWin32MovingGate m_gate;
  std::atomic<HWND> m_window{nullptr};
  std::optional<CUpdateRun> m_run;
  CKernelHandle m_worker;
  unsigned m_workerId = 0;  // _beginthreadex's type for a thread id
  int m_exitCode = 0;
};

}  // namespace zr
