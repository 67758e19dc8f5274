// A thread that nobody joins: it runs entry(argument) and ends on its own.
//
// Windows builds start it with _beginthreadex. std::thread's detached threads (winpthreads in
// this toolchain) are not used there: under load, about one in a thousand started while an
// earlier detached thread was ending never ran, and its caller waited for nothing.
#pragma once

namespace zr {

using DetachedThreadEntry = void (*)(void* argument);

// False when no thread could be started; entry is then never called, and the argument stays
// the caller's to free.
bool StartDetachedThread(DetachedThreadEntry entry, void* argument);

}  // namespace zr
