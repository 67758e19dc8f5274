// Closing the running product before its files are replaced. Runs on the worker thread.
#pragma once

#include "update/outcome.h"

namespace zr {

class IUpdatePlatform;

// Finds "zrCastrix.exe" in the updater's directory among the running processes, gives it five
// seconds to end by itself, asks the user once, asks the product window to quit, then
// terminates it. kOk once it is gone (or was never running), kUserCancelled when the user
// keeps it (the updater's window is told to quit), kCloseFailed when it
// survives every attempt (the fatal "box_exit_reboot" text has been reported).
UpdateOutcome CloseRunningProduct(IUpdatePlatform& platform);

}  // namespace zr
