// The update engine's view of the real Windows system, and the worker thread's entry.
#pragma once

#include "update/file_system_win.h"
#include "update/platform.h"
#include "update/recorded_file_system.h"

namespace zr {

class CWin32Platform : public IUpdatePlatform {
 public:
  // Events go to `events`, which the main window takes them from.
  explicit CWin32Platform(IUpdateEvents& events) : m_events(events) {}
  IFileSystem& Files() override { return m_files; }
  void Report(UpdateEvent event) override { m_events.Report(std::move(event)); }
  // To the process's record, "zrUpdater.log" (run_record_win.h).
  void Record(const std::string& line) override;
  uint32_t FindProcessByPath(const std::wstring& exePath) override;
  void TerminateProcessById(uint32_t processId, uint32_t exitCode) override;
  bool PostQuitToProductWindow() override;
  BoxAnswer ShowLinkBox(const std::wstring& title, const std::wstring& linkText,
                  const std::wstring& message, const std::wstring& firstButton,
                  const std::wstring* secondButton) override;
  BoxAnswer ShowQuestionBox(const std::wstring& caption, const std::wstring& message,
                      const std::wstring& confirmButton, const std::wstring& cancelButton) override;
  void Sleep(uint32_t milliseconds) override;
  bool EnterFileStage() override;
  void LeaveFileStage() override;
  bool ProcessEnding() override;
  ReportDelivery SendUsageReport(const CUpdateContext& context, UpdateOutcome outcome) override;

 private:
  IUpdateEvents& m_events;
  CWin32FileSystem m_disk;
  CRecordedFileSystem m_files{m_disk, *this};
};

// _beginthreadex entry of the update worker; the argument is the run's CUpdateRun. Returns the
// run's report code as the thread's exit code. The thread is a COM single-threaded apartment
// for its whole run. Whatever the run throws ends it as a failed run would end: the window is
// told that it finished.
unsigned __stdcall UpdateWorkerProc(void* context);

}  // namespace zr
