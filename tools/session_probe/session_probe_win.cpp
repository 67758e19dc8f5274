// session_probe.exe query|end|flood RESULT_FILE
//
// Plays the part Windows, or another program, plays against the updater's main window (class
// "zrUpdater", title "Zoria投屏助手更新程序") and writes what it saw to RESULT_FILE (UTF-8,
// one "key value" line each):
//   query  sends WM_QUERYENDSESSION (ENDSESSION_LOGOFF): "answer 0|1", then the block reason
//          the window set, "reason <text>", or "reason unavailable" where the system has no
//          ShutdownBlockReasonQuery (Wine 8 has none).
//   end    sends WM_ENDSESSION (TRUE, ENDSESSION_LOGOFF); as soon as it returns, ends the
//          updater's process as Windows does with a program that has answered, so that its
//          files stay as they were at that moment, waits until it is gone and writes
//          "returned ended" ("returned exited" when the process had ended by itself first).
//   flood  another program on the desktop: posts every message number from WM_APP to
//          WM_APP + 15, with junk where the engine's messages once carried pointers, over and
//          over for 20 seconds or until the window is gone, then writes "posted N". (It has to
//          stop: posted messages always come before WM_TIMER, on Windows as under Wine, so a
//          flood that never ends would hold the completion page's timer back for ever.)
// Messages are sent with a 600 s bound (a hang shows as exit code 3): a session end waits for a
// rollback of thousands of files, which on a busy machine has taken over three minutes. Exit
// code 0 when done, 2 on a bad command line or when the window or its process cannot be had.
#include <windows.h>
#include <shellapi.h>

#include <string>

namespace {

constexpr wchar_t kUpdaterClass[] = L"zrUpdater";
constexpr wchar_t kUpdaterTitle[] = L"Zoria投屏助手更新程序";
constexpr UINT kSendBoundMs = 600000;
constexpr DWORD kFloodMs = 20000;

using BlockReasonQuery = BOOL(WINAPI*)(HWND, LPWSTR, DWORD*);

std::string Utf8(const std::wstring& text) {
  const int size =
      WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  std::string bytes(size > 0 ? size : 0, '\0');
  if (size > 0) {
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), &bytes[0], size, nullptr, nullptr);
  }
  return bytes;
}

bool WriteResult(const std::wstring& path, const std::string& text) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  const BOOL ok = WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
  CloseHandle(file);
  return ok && written == text.size();
}

// "reason <text>" as ShutdownBlockReasonQuery tells it, where the system has that call.
std::string BlockReason(HWND window) {
  const auto query = reinterpret_cast<BlockReasonQuery>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), "ShutdownBlockReasonQuery")));
  if (query == nullptr) return "reason unavailable\n";
  wchar_t text[512] = {};
  DWORD size = ARRAYSIZE(text);
  if (!query(window, text, &size)) return "reason none\n";
  return "reason " + Utf8(text) + "\n";
}

int Query(HWND window, const std::wstring& resultPath) {
  DWORD_PTR answer = 0;
  if (!SendMessageTimeoutW(window, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF, SMTO_NORMAL, kSendBoundMs, &answer)) {
    return 3;
  }
  const std::string result = "answer " + std::to_string(answer ? 1 : 0) + "\n" + BlockReason(window);
  return WriteResult(resultPath, result) ? 0 : 2;
}

int End(HWND window, const std::wstring& resultPath) {
  DWORD processId = 0;
  GetWindowThreadProcessId(window, &processId);
  HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, processId);
  if (process == nullptr) return 2;
  DWORD_PTR answer = 0;
  const bool returned =
      SendMessageTimeoutW(window, WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF, SMTO_NORMAL, kSendBoundMs, &answer) != 0;
  const bool ended = returned && TerminateProcess(process, 0);
  const bool gone = returned && WaitForSingleObject(process, 30000) == WAIT_OBJECT_0;
  CloseHandle(process);
  if (!returned) return 3;
  return gone && WriteResult(resultPath, ended ? "returned ended\n" : "returned exited\n") ? 0 : 2;
}

int Flood(HWND window, const std::wstring& resultPath) {
  constexpr UINT kFirst = WM_APP, kLast = WM_APP + 15;
  constexpr LPARAM kJunk[] = {0x41414141, 0, 1, 2, -1};
  const DWORD start = GetTickCount();
  unsigned long long posted = 0;
  while (IsWindow(window) && GetTickCount() - start < kFloodMs) {
    for (UINT message = kFirst; message <= kLast; ++message) {
      for (LPARAM junk : kJunk) posted += PostMessageW(window, message, 0, junk) ? 1 : 0;
    }
    Sleep(1);
  }
  return WriteResult(resultPath, "posted " + std::to_string(posted) + "\n") ? 0 : 2;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR, int) {
  int argc = 0;
  LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  if (argv == nullptr || argc != 3) return 2;
  const std::wstring mode = argv[1];
  const std::wstring resultPath = argv[2];
  LocalFree(argv);

  HWND window = FindWindowW(kUpdaterClass, kUpdaterTitle);
  if (window == nullptr) return 2;
  if (mode == L"query") return Query(window, resultPath);
  if (mode == L"end") return End(window, resultPath);
  if (mode == L"flood") return Flood(window, resultPath);
  return 2;
}
