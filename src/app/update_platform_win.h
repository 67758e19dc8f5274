// The update engine's view of the real Windows system.
#pragma once

#include <windows.h>

#include <atomic>
#include <string>

#include "skin/skin_context.h"
#include "update/moving_gate_win.h"
#include "update/file_system_win.h"
#include "update/patient_file_system.h"
#include "update/platform.h"
#include "update/product_process_win.h"
#include "update/run_record_win.h"

namespace zr {

enum class BoxKind;
struct BoxTexts;

// What the program hands the platform; each lives as long as the program.
struct Win32PlatformParts {
  IUpdateEvents& events;  // the run's queue, which the main window takes them from
  const ITexts& texts;
  Skin::CSkinContext& skin;  // the boxes'
  CWin32MovingGate& gate;
  CRunRecordFile& record;             // "zrUpdater.log" (run_record_win.h)
  const std::atomic<HWND>& owner;     // the main window while it exists: the boxes' owner
  const std::string& productVersion;  // "/version", for the usage report
};

class CWin32Platform : public IUpdatePlatform {
 public:
  explicit CWin32Platform(const Win32PlatformParts& parts) : m_parts(parts) {}
  IFileSystem& Files() override { return m_files; }
  void Report(UpdateEvent event) override { m_parts.events.Report(std::move(event)); }
  void Record(const std::string& line) override { m_parts.record.Append(line); }
  const ITexts& Texts() override { return m_parts.texts; }
  uint32_t FindProcessByPath(const std::wstring& exePath) override { return zr::FindProcessByPath(exePath); }
  void TerminateProcessById(uint32_t processId, uint32_t exitCode) override {
    zr::TerminateProcessById(processId, exitCode);
  }
  bool PostQuitToProductWindow() override { return zr::PostQuitToProductWindow(); }
  BoxAnswer ShowLinkBox(const std::wstring& title, const std::wstring& linkText, const std::wstring& message,
                        const std::wstring& firstButton, const std::wstring* secondButton) override;
  BoxAnswer ShowQuestionBox(const std::wstring& caption, const std::wstring& message, const std::wstring& confirmButton,
                            const std::wstring& cancelButton) override;
  void Sleep(uint32_t milliseconds) override { ::Sleep(milliseconds); }
  bool EnterMovingSection() override { return m_parts.gate.EnterOnThisThread(); }
  void LeaveMovingSection() override { m_parts.gate.Leave(); }
  bool ProcessEnding() override { return m_parts.gate.IsClosed(); }
  ReportDelivery SendUsageReport(const CUpdateContext& context, UpdateOutcome outcome) override;

 private:
  // The box, modal over the main window while it exists; an ending process asks nobody: its
  // window is gone or going.
  BoxAnswer Ask(BoxKind kind, const BoxTexts& texts);

  const Win32PlatformParts m_parts;
  CWin32FileSystem m_disk;
  CPatientFileSystem m_files{m_disk, *this};  // a moment's lock outlasted, failures recorded
};

}  // namespace zr
