// The product's process seen from Win32: what the closing stage needs (used by the Win32
// platform, on the worker thread), and starting it after a successful update (the UI thread).
#pragma once

#include <cstdint>
#include <string>

namespace zr {

class ITexts;
class IUpdateEvents;

// Id of the first process (snapshot order) whose executable is the file at exePath; 0 when none
// or when the list cannot be read. Its path, read whole however long, counts when it names the
// same file as the file code tells paths apart (CWin32FileSystem: full paths, letter case
// ignored in every alphabet) or, with the same file name, when it leads to the same file
// (volume serial and file index): another drive letter, a network path or a junction.
// The path is read with PROCESS_QUERY_LIMITED_INFORMATION, which a 32-bit updater is granted on
// a 64-bit product and on another user's; processes that refuse even that are skipped.
uint32_t FindProcessByPath(const std::wstring& exePath);

// Opens the process for termination and ends it with exitCode; failures are not reported.
void TerminateProcessById(uint32_t processId, uint32_t exitCode);

// Posts WM_QUIT to the product's main window (class "Qt5QWindowIcon", title "Zoria投屏助手");
// false when no such window exists.
bool PostQuitToProductWindow();

// Starts the program at path with the command line "\"<path>\"", no inherited handles, the
// updater's environment and current directory, and lets it go (both handles closed at once).
// On failure reports the status line "cmd_open_failed_d" with the system error code and returns
// false.
bool LaunchProduct(const std::wstring& path, IUpdateEvents& window, const ITexts& texts);

}  // namespace zr
