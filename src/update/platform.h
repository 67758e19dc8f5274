// Everything the update engine asks of the operating system, in one narrow interface.
//
// The engine's decisions (attempt loop, closing stage, replacing and rollback, report) are
// portable and talk only to this; what they tell the window goes out as events
// (update_events.h). CWin32Platform (app/update_platform_win.cpp) does the real work and is
// tested under Wine; tests/support's FakePlatform drives the same decisions natively with an
// in-memory file and process table, scripted box answers, an event log and a virtual clock. All
// calls come from the update worker thread.
#pragma once

#include <cstdint>
#include <string>

#include "strings/texts.h"
#include "update/box_answer.h"
#include "update/file_system.h"
#include "update/outcome.h"
#include "update/report_delivery.h"
#include "update/run_record.h"
#include "update/update_events.h"

namespace zr {

struct CUpdateContext;

class IUpdatePlatform : public IUpdateEvents {
 public:
  // One line of the run's record (run_record.h), UTF-8 text. Never fails and never throws: a
  // record that cannot be written changes nothing the update does.
  virtual void Record(const std::string& line) = 0;

  // The files and directories of the installation, seen through a CPatientFileSystem
  // (patient_file_system.h: a moment's lock is outlasted, every failure reaches the record).
  virtual IFileSystem& Files() = 0;

  // The texts of the boxes and status lines, as the program was handed them.
  virtual const ITexts& Texts() = 0;

  // The running product.
  virtual uint32_t FindProcessByPath(const std::wstring& exePath) = 0;  // 0: not running
  virtual void TerminateProcessById(uint32_t processId, uint32_t exitCode) = 0;
  // Posts WM_QUIT to the product's main window; false when no such window exists.
  virtual bool PostQuitToProductWindow() = 0;

  // The user: modal boxes owned by the main window, run on the calling thread.
  // Link box, one-button layout, error icon. secondButton null hides the second button.
  virtual BoxAnswer ShowLinkBox(const std::wstring& title, const std::wstring& linkText, const std::wstring& message,
                                const std::wstring& firstButton, const std::wstring* secondButton) = 0;
  // Two-button question box with the warning icon.
  virtual BoxAnswer ShowQuestionBox(const std::wstring& caption, const std::wstring& message,
                                    const std::wstring& confirmButton, const std::wstring& cancelButton) = 0;
  virtual void Sleep(uint32_t milliseconds) = 0;

  // Product files are being moved: the process must not end until LeaveMovingSection. False when
  // the process is already ending; the moving section must then not start. Once the process is asked
  // to end, the moving section runs on to its end while boxes are no longer shown (they answer 8).
  virtual bool EnterMovingSection() = 0;
  virtual void LeaveMovingSection() = 0;
  // True once the process has been asked to end (window closed, WM_QUIT, session end).
  virtual bool ProcessEnding() = 0;

  // Builds the usage report for a failed run, with ReportCode(outcome), and POSTs it; what
  // became of it goes to the record, nothing else depends on it.
  virtual ReportDelivery SendUsageReport(const CUpdateContext& context, UpdateOutcome outcome) = 0;
};

}  // namespace zr
