// Closing the running product before its files are replaced. Runs on the worker thread.
#pragma once

#include <cstdint>

namespace zr {

class IUpdatePlatform;

// Finds "zrCastrix.exe" in the updater's directory among the running processes, gives it five
// seconds to end by itself, asks the user once, asks the product window to quit, then
// terminates it. RESULT_OK once it is gone (or was never running), RESULT_USER_CANCELLED when
// the user keeps it (the updater's window is told to quit), RESULT_CLOSE_FAILED when it
// survives every attempt (the fatal "box_exit_reboot" text has been reported).
int32_t CloseRunningProduct(IUpdatePlatform& platform);

}  // namespace zr
