#include "app/program_win.h"

#include <process.h>

#include <new>

#include "app/com_apartment_win.h"
#include "app/instance_lock_win.h"
#include "app/update_platform_win.h"
#include "skin/skin_window_win.h"
#include "ui/message_box_win.h"
#include "update/outcome.h"
#include "update/product_process_win.h"
#include "update/update_worker.h"
#include "util/files.h"
#include "util/paths.h"
#include "util/text.h"

namespace zr {
namespace {

constexpr DWORD kWindowStyle = 0x10CF0000;    // WS_VISIBLE | WS_OVERLAPPEDWINDOW
constexpr DWORD kWindowExStyle = 0x00060000;  // WS_EX_APPWINDOW | WS_EX_STATICEDGE
// Once the loop has ended and the files are whole, the worker only has to notice that the
// process is ending; a usage report under way has a shorter deadline of its own.
constexpr DWORD kWorkerEndMs = 10000;
constexpr DWORD kPollMs = 50;

// An earlier updater still running is told to quit; the installation's lock then tells when
// it has ended. True when there was one.
bool AskEarlierInstanceToQuit(const std::wstring& title) {
  HWND earlier = FindWindowW(kMainWindowClassName, title.c_str());
  return earlier != nullptr && PostMessageW(earlier, WM_QUIT, 0, 0);
}

}  // namespace

CProgram::CProgram(const std::vector<std::wstring>& arguments)
    : m_directory(GetModuleDirectory()), m_texts(StringTable::ProgramDocument()) {
  ParseCommandLine(arguments, m_options);
  // The skin package: resource "ZIPRES" 108. Without it the window's skin fails to build, fatally.
  const std::string_view package = ProgramResource(108, L"ZIPRES");
  if (!package.empty()) m_skin.OpenPackage(package.data(), package.size());
}

bool CProgram::Run() {
  CInstallationLock lock(m_directory);
  // The window's title, which an earlier updater's window has too.
  const std::wstring title = m_texts.Get(L"client_name");
  const bool askedEarlier = AskEarlierInstanceToQuit(title);
  if (!lock.Acquire(kEarlierUpdaterWaitMs)) {
    // The record belongs to whoever holds the installation: this one only adds to it.
    m_record.Join(m_directory);
    RecordStart(askedEarlier);
    m_record.Append("the installation is held (zrUpdater.lock) by another updater or program: nothing done");
    ShowBox(m_skin, nullptr, BoxKind::kWarning,
            {m_texts.Get(L"update"), m_texts.Get(L"box_updater_busy"), m_texts.Get(L"ok"), {}, {}},
            [this](const std::string& line) { m_record.Append(line); });
    return true;
  }
  m_record.Start(m_directory);
  RecordStart(askedEarlier);

  CWnd_Main* window = CreateMainWindow(title);
  if (window != nullptr) {
    ShowWindow(window->GetHWND(), SW_SHOW);
    StartWorker();  // the window is there for whatever the update shows
    Skin::MessageLoop();
  } else {
    // Its skin could not be built (the error box has been shown), or the system refused the
    // window after the skin was built (under Wine: a session without a display driver).
    m_record.Append(m_run ? "the window was refused after its skin was built: nothing done"
                          : "the window could not be built: nothing done");
    m_exitCode = 1;
  }
  if (!EndWorker()) return false;
  return m_window.load() == nullptr;
}

// The record's first lines: how the updater was started.
void CProgram::RecordStart(bool askedEarlier) {
  m_record.Append("started (process " + std::to_string(GetCurrentProcessId()) + "): " + WideToUtf8(GetCommandLineW()));
  if (askedEarlier) m_record.Append("an earlier updater's window was told to quit");
}

CWnd_Main* CProgram::CreateMainWindow(const std::wstring& title) {
  auto* window = new (std::nothrow) CWnd_Main(m_skin, *this, m_texts);
  if (window == nullptr) return nullptr;
  const Skin::SkinRect rect = ComputeInitialWindowRect(GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN));
  window->CentreWhenCreated();
  const HWND created = window->Create(nullptr, title.c_str(), kWindowStyle, kWindowExStyle, rect.left, rect.top,
                                      rect.Width(), rect.Height());
  return created != nullptr ? window : nullptr;  // a failed creation has deleted the object on the way out
}

CEventQueue* CProgram::WindowBuilt(HWND window) {
  if (m_run) return nullptr;  // one run per program
  m_window.store(window);
  m_run.emplace([window] { return ::PostMessageW(window, WM_UPDATE_EVENTS, 0, 0) != FALSE; });
  return &m_run->events;
}

void CProgram::StartWorker() {
  if (!m_run || m_worker) return;
  m_worker = CKernelHandle(reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, &WorkerEntry, this, 0, &m_workerId)));
  if (!m_worker) m_record.Append("the update could not start: no thread for it");
}

void CProgram::LaunchProduct() {
  // The launch's status line goes through the run's queue, like every other status text.
  if (m_run) zr::LaunchProduct(MakeProductPath(m_directory.c_str()), m_run->events, m_texts);
}

bool CProgram::EndWorker() {
  m_gate.Finish();
  if (!m_worker) return true;
  const DWORD start = GetTickCount();
  while (WaitForSingleObject(m_worker.get(), kPollMs) == WAIT_TIMEOUT) {
    if (GetTickCount() - start >= kWorkerEndMs) {
      m_record.Append("the update did not stop in time: the process ends without waiting for it");
      return false;
    }
    CloseBoxesOfThread(m_workerId);  // a box it opened before the process began to end
  }
  return true;
}

unsigned CProgram::Work() {
  CComApartment com;  // for ShellExecuteW behind the boxes' link
  CWin32Platform platform({m_run->events, m_texts, m_skin, m_gate, m_record, m_window, m_options.version});
  try {
    return static_cast<unsigned>(ReportCode(RunUpdate(m_run->context, platform, m_options.config)));
  } catch (...) {
    // RunUpdate ends every failure of its own; this is the last resort that keeps the window
    // from waiting for good.
    try {
      m_run->events.Report({UpdateEvent::Kind::kFinished});
    } catch (...) {}
    return static_cast<unsigned>(ReportCode(UpdateOutcome::kMoveFailed));
  }
}

}  // namespace zr
