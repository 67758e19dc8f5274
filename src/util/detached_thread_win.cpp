#include "util/detached_thread.h"

#include <windows.h>
#include <process.h>

#include <new>

namespace zr {

namespace {

struct Start {
  DetachedThreadEntry entry;
  void* argument;
};

unsigned __stdcall RunStart(void* raw) {
  const Start start = *static_cast<Start*>(raw);
  delete static_cast<Start*>(raw);
  start.entry(start.argument);
  return 0;
}

}  // namespace

bool StartDetachedThread(DetachedThreadEntry entry, void* argument) {
  Start* start = new (std::nothrow) Start{entry, argument};
  if (start == nullptr) return false;
  const uintptr_t thread = _beginthreadex(nullptr, 0, RunStart, start, 0, nullptr);
  if (thread == 0) {
    delete start;
    return false;
  }
  CloseHandle(reinterpret_cast<HANDLE>(thread));
  return true;
}

}  // namespace zr
