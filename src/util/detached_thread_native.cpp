#include "util/detached_thread.h"

#include <exception>
#include <thread>

namespace zr {

bool StartDetachedThread(std::unique_ptr<IDetachedRun> run) {
  try {
    std::thread([](std::unique_ptr<IDetachedRun> owned) { owned->Run(); }, std::move(run)).detach();
    return true;
  } catch (const std::exception&) {  // no thread, or no memory for its start
    return false;
  }
}

}  // namespace zr
