#include "update/launch.h"

#include <windows.h>

#include <vector>

#include "strings/texts.h"
#include "update/progress.h"

namespace zr {

bool LaunchProduct(const std::wstring& path, IUpdateEvents& window, const ITexts& texts) {
  const std::wstring quoted = L"\"" + path + L"\"";
  std::vector<wchar_t> commandLine(quoted.begin(), quoted.end());  // CreateProcessW may write to it
  commandLine.push_back(L'\0');

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
