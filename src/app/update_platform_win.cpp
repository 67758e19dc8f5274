#include "app/update_platform_win.h"

#include <windows.h>

#include "app/com_apartment_win.h"
#include "app/launch_options.h"
#include "net/http_client.h"
#include "net/usage_report.h"
#include "ui/main_window_win.h"
#include "ui/message_box_win.h"
#include "update/file_stage_win.h"
#include "update/product_process_win.h"
#include "update/run_record_win.h"
#include "update/outcome.h"
#include "update/update_context.h"
#include "update/update_worker.h"

namespace zr {
namespace {

HWND MainWindowHandle() { return GetMainWindowHandle(); }

}  // namespace

uint32_t CWin32Platform::FindProcessByPath(const std::wstring& exePath) {
  return zr::FindProcessByPath(exePath);
}

void CWin32Platform::TerminateProcessById(uint32_t processId, uint32_t exitCode) {
  zr::TerminateProcessById(processId, exitCode);
}

bool CWin32Platform::PostQuitToProductWindow() { return zr::PostQuitToProductWindow(); }

BoxAnswer CWin32Platform::ShowLinkBox(const std::wstring& title, const std::wstring& linkText,
                                const std::wstring& message, const std::wstring& firstButton,
                                const std::wstring* secondButton) {
  // An ending process asks nobody: its window is gone or going.
  if (FileStageClosed()) return BoxAnswer::kClosed;
  return zr::ShowLinkBox(title.c_str(), linkText.c_str(), MainWindowHandle(), message.c_str(),
                         firstButton.c_str(), secondButton ? secondButton->c_str() : nullptr);
}

BoxAnswer CWin32Platform::ShowQuestionBox(const std::wstring& caption, const std::wstring& message,
                                    const std::wstring& confirmButton, const std::wstring& cancelButton) {
  if (FileStageClosed()) return BoxAnswer::kClosed;
  return zr::ShowQuestionBox(caption.c_str(), MainWindowHandle(), message.c_str(),
                             confirmButton.c_str(), cancelButton.c_str());
}

void CWin32Platform::Sleep(uint32_t milliseconds) { ::Sleep(milliseconds); }

bool CWin32Platform::EnterFileStage() { return EnterFileStageOnThisThread(); }

void CWin32Platform::LeaveFileStage() { LeaveFileStageOnThisThread(); }

bool CWin32Platform::ProcessEnding() { return FileStageClosed(); }

void CWin32Platform::Record(const std::string& line) { GetRunRecord().Append(line); }

ReportDelivery CWin32Platform::SendUsageReport(const CUpdateContext& context, UpdateOutcome outcome) {
  ReportDelivery delivery;
  UploadReport(BuildUsageReport(context, ReportCode(outcome), GetLaunchOptions().version), &delivery);
  return delivery;
}

unsigned __stdcall UpdateWorkerProc(void* argument) {
  CComApartment com;  // for ShellExecuteW behind the boxes' link
  CUpdateRun& run = *static_cast<CUpdateRun*>(argument);
  CWin32Platform platform(run.events);
  try {
    return static_cast<unsigned>(ReportCode(RunUpdate(run.context, platform, GetLaunchOptions().config)));
  } catch (...) {
    // RunUpdate ends every failure of its own; this is the last resort that keeps the window
    // from waiting for good.
    try {
      run.events.Report({UpdateEvent::Kind::kFinished});
    } catch (...) {
    }
    return static_cast<unsigned>(ReportCode(UpdateOutcome::kMoveFailed));
  }
}

}  // namespace zr
