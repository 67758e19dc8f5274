// The update engine's view of the real Windows system, and the worker thread's entry.
#pragma once

#include "update/file_system_win.h"
#include "update/platform.h"

namespace zr {

class CWin32Platform : public IUpdatePlatform {
 public:
  IFileSystem& Files() override { return m_files; }
  uint32_t FindProcessByPath(const std::wstring& exePath) override;
  void TerminateProcessById(uint32_t processId, uint32_t exitCode) override;
  bool PostQuitToProductWindow() override;
  bool PostToMainWindow(uint32_t message, intptr_t lParam) override;
  BoxAnswer ShowLinkBox(const std::wstring& title, const std::wstring& linkText,
                  const std::wstring& message, const std::wstring& firstButton,
                  const std::wstring* secondButton) override;
  BoxAnswer ShowQuestionBox(const std::wstring& caption, const std::wstring& message,
                      const std::wstring& confirmButton, const std::wstring& cancelButton) override;
  void Sleep(uint32_t milliseconds) override;
  bool EnterFileStage() override;
  void LeaveFileStage() override;
  bool ProcessEnding() override;
  void SendUsageReport(const CUpdateContext& context, int32_t code) override;

 private:
  CWin32FileSystem m_files;
};

// _beginthreadex entry of the update worker; the argument is the run's CUpdateContext.
// Returns the final outcome code as the thread's exit code. The thread is a COM
// single-threaded apartment for its whole run.
unsigned __stdcall UpdateWorkerProc(void* context);

}  // namespace zr
