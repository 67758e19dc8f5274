// Starting the product after a successful update. Runs on the UI thread.
#pragma once

#include <string>

namespace zr {

class ITexts;
class IUpdateEvents;

// Starts the program at path with the command line "\"<path>\"", no inherited handles, the
// updater's environment and current directory, and lets it go (both handles closed at once).
// On failure reports the status line "cmd_open_failed_d" with the system error code and returns
// false.
bool LaunchProduct(const std::wstring& path, IUpdateEvents& window, const ITexts& texts);

}  // namespace zr
