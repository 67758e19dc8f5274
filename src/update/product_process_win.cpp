#include "update/product_process_win.h"

#include <windows.h>
#include <tlhelp32.h>

#include <tuple>

#include "update/file_system_win.h"
#include "update/progress.h"
#include "util/files.h"
#include "util/handle_win.h"
#include "util/paths.h"

namespace zr {
namespace {

// Room for the longest path Windows has: a buffer too small is grown up to it.
constexpr DWORD kLongestPath = 32768;

constexpr wchar_t kProductWindowClass[] = L"Qt5QWindowIcon";
constexpr wchar_t kProductWindowTitle[] = L"Zoria投屏助手";

// The whole path of the process's executable, however long; empty when it cannot be read.
std::wstring ImagePath(HANDLE process) {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    DWORD length = static_cast<DWORD>(path.size());
    if (QueryFullProcessImageNameW(process, 0, path.data(), &length)) {
      path.resize(length);
      return path;
    }
    if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || path.size() >= kLongestPath) return {};
    path.resize(path.size() * 2);
  }
}

// Which file a path leads to, whatever its spelling: the volume's serial number and the file's
// index on it (high, low).
using FileIdentity = std::tuple<DWORD, DWORD, DWORD>;

// Opened for its attributes alone, which a running executable always allows.
bool IdentityOf(const std::wstring& path, FileIdentity& identity) {
  const std::wstring extended = ExtendedPath(path);
  if (extended.empty()) return false;
  CKernelHandle file(CreateFileW(extended.c_str(), FILE_READ_ATTRIBUTES,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                 FILE_ATTRIBUTE_NORMAL, nullptr));
  BY_HANDLE_FILE_INFORMATION information = {};
  if (!file || !GetFileInformationByHandle(file.get(), &information)) return false;
  identity = {information.dwVolumeSerialNumber, information.nFileIndexHigh, information.nFileIndexLow};
  return true;
}

// Tells whether an executable path leads to the product's file, as FindProcessByPath says.
class CProductFile {
 public:
  explicit CProductFile(const std::wstring& exePath)
      : m_key(m_files.FullPath(exePath)),
        m_name(FileNameOfPath(m_key)),
        m_hasIdentity(!m_key.empty() && IdentityOf(m_key, m_identity)) {}

  bool IsReachedBy(const std::wstring& path) {
    if (m_key.empty() || path.empty()) return false;
    const std::wstring full = m_files.FullPath(path);
    if (m_files.ComparePaths(full, m_key) == 0) return true;
    if (!m_hasIdentity || m_files.ComparePaths(FileNameOfPath(full), m_name) != 0) return false;
    FileIdentity identity;
    return IdentityOf(full, identity) && identity == m_identity;
  }

 private:
  CWin32FileSystem m_files;
  const std::wstring m_key;
  const std::wstring m_name;
  FileIdentity m_identity;
  const bool m_hasIdentity;
};

// A process that refuses even the limited right (0x1000; 0x410 would be refused, see
// product_process_win.h) is not the product.
bool ProcessRunsFrom(DWORD processId, CProductFile& product) {
  CKernelHandle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId));
  return process && product.IsReachedBy(ImagePath(process.get()));
}

}  // namespace

uint32_t FindProcessByPath(const std::wstring& exePath) {
  CKernelHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (!snapshot) return 0;
  CProductFile product(exePath);
  PROCESSENTRY32W entry = {};
  entry.dwSize = sizeof(entry);
  for (BOOL more = Process32FirstW(snapshot.get(), &entry); more; more = Process32NextW(snapshot.get(), &entry)) {
    if (ProcessRunsFrom(entry.th32ProcessID, product)) return entry.th32ProcessID;
  }
  return 0;
}

void TerminateProcessById(uint32_t processId, uint32_t exitCode) {
  CKernelHandle process(OpenProcess(PROCESS_TERMINATE, FALSE, processId));
  if (process) TerminateProcess(process.get(), exitCode);
}

bool PostQuitToProductWindow() {
  HWND window = FindWindowW(kProductWindowClass, kProductWindowTitle);
  if (window == nullptr) return false;
  PostMessageW(window, WM_QUIT, 0, 0);
  return true;
}

bool LaunchProduct(const std::wstring& path, IUpdateEvents& window, const ITexts& texts) {
  std::wstring commandLine = L"\"" + path + L"\"";  // CreateProcessW may write to it

  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
    PostStatus(window, texts, kLaunchFailedText, static_cast<int32_t>(GetLastError()));
    return false;
  }
  CloseHandle(process.hProcess);
  CloseHandle(process.hThread);
  return true;
}

}  // namespace zr
