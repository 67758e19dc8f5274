#include "util/detached_thread.h"

#include <exception>
#include <thread>

namespace zr {

bool StartDetachedThread(DetachedThreadEntry entry, void* argument) {
  try {
    std::thread(entry, argument).detach();
    return true;
  } catch (const std::exception&) {  // no thread, or no memory for its start
    return false;
  }
}

}  // namespace zr
