#include "support/process_win.h"

#include <sddl.h>

#include <gtest/gtest.h>

#include "support/files_win.h"
#include "util/text.h"

namespace zr::test {

std::wstring BuildPath(const char* utf8Path) {
  std::wstring path = Utf8ToWide(utf8Path);
  if (!path.empty() && path[0] == L'/') {
    for (auto& c : path) c = c == L'/' ? L'\\' : c;
    path = L"Z:" + path;
  }
  return path;
}

long RunToEnd(std::wstring commandLine) {
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  if (!CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, FALSE, CREATE_NO_WINDOW,
                      nullptr, nullptr, &startup, &process)) {
    return -1;
  }
  DWORD code = static_cast<DWORD>(-1);
  if (WaitForSingleObject(process.hProcess, 60000) == WAIT_OBJECT_0) {
    GetExitCodeProcess(process.hProcess, &code);
  } else {
    TerminateProcess(process.hProcess, 1);
  }
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return static_cast<long>(code);
}

std::wstring PlaceCopy(const std::wstring& exe, const std::wstring& directory, const std::wstring& name) {
  MakeDirectories(directory);
  const std::wstring copy = directory + L"\\" + name;
  EXPECT_TRUE(CopyFileW(exe.c_str(), copy.c_str(), FALSE))
      << "cannot copy " << WideToUtf8(exe) << ", error " << GetLastError();
  return copy;
}

StandInProcess::StandInProcess(const std::wstring& exe, const std::wstring& options,
                               const wchar_t* processSddl) {
  const std::wstring ready = exe + L".ready";
  DeleteFileW(ready.c_str());
  std::wstring commandLine = Quoted(exe) + L" " + options + L" --lifetime 60000 --ready " + Quoted(ready);
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION info = {};
  SECURITY_ATTRIBUTES security = {sizeof(security), nullptr, FALSE};
  if (processSddl != nullptr &&
      !ConvertStringSecurityDescriptorToSecurityDescriptorW(processSddl, SDDL_REVISION_1,
                                                            &security.lpSecurityDescriptor, nullptr)) {
    ADD_FAILURE() << "bad SDDL, error " << GetLastError();
    return;
  }
  const BOOL started = CreateProcessW(exe.c_str(), &commandLine[0],
                                      processSddl != nullptr ? &security : nullptr, nullptr, FALSE,
                                      0, nullptr, nullptr, &startup, &info);
  LocalFree(security.lpSecurityDescriptor);
  if (!started) {
    ADD_FAILURE() << "cannot start the stand-in, error " << GetLastError();
    return;
  }
  CloseHandle(info.hThread);
  m_process = info.hProcess;
  m_id = info.dwProcessId;
  for (int waited = 0; waited < 20000; waited += 50) {
    if (GetFileAttributesW(ready.c_str()) != INVALID_FILE_ATTRIBUTES) return;
    if (WaitForSingleObject(m_process, 50) == WAIT_OBJECT_0) break;
  }
  ADD_FAILURE() << "the stand-in did not become ready";
}

StandInProcess::~StandInProcess() {
  if (m_process == nullptr) return;
  if (WaitForSingleObject(m_process, 0) == WAIT_TIMEOUT) {
    TerminateProcess(m_process, 1);
    WaitForSingleObject(m_process, 5000);
  }
  CloseHandle(m_process);
}

bool StandInProcess::WaitForExit(DWORD milliseconds, DWORD* exitCode) const {
  if (m_process == nullptr || WaitForSingleObject(m_process, milliseconds) != WAIT_OBJECT_0) return false;
  if (exitCode != nullptr) GetExitCodeProcess(m_process, exitCode);
  return true;
}

ProductWindowTurn::ProductWindowTurn() {
  m_mutex = CreateMutexW(nullptr, FALSE, L"Local\\zrUpdater-tests-product-window");
  if (m_mutex == nullptr) return;
  const DWORD waited = WaitForSingleObject(m_mutex, 300000);
  m_held = waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED;
}

ProductWindowTurn::~ProductWindowTurn() {
  if (m_held) ReleaseMutex(m_mutex);
  if (m_mutex != nullptr) CloseHandle(m_mutex);
}

}  // namespace zr::test
