#include "util/detached_thread.h"

#include <windows.h>
#include <process.h>

namespace zr {

namespace {

unsigned __stdcall RunStart(void* raw) {
  const std::unique_ptr<IDetachedRun> run(static_cast<IDetachedRun*>(raw));
  run->Run();
  return 0;
}

}  // namespace

bool StartDetachedThread(std::unique_ptr<IDetachedRun> run) {
  const uintptr_t thread = _beginthreadex(nullptr, 0, RunStart, run.get(), 0, nullptr);
  if (thread == 0) return false;
  run.release();  // the thread's now
  CloseHandle(reinterpret_cast<HANDLE>(thread));
  return true;
}

}  // namespace zr
