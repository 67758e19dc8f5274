// COM for the lifetime of a scope on the calling thread, as a single-threaded apartment.
//
// The update worker holds one for its whole run: ShellExecuteW, which the message boxes' link
// to the web site calls on that thread, needs COM initialised on the calling thread (some
// browser associations otherwise fail silently). The apartment is left only if this object
// entered it: when the thread already was in a multithreaded apartment, CoInitializeEx fails
// with RPC_E_CHANGED_MODE and nothing is undone on destruction.
#pragma once

#include <objbase.h>

namespace zr {

class CComApartment {
 public:
  CComApartment() : m_entered(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {}
  ~CComApartment() {
    if (m_entered) CoUninitialize();
  }
  CComApartment(const CComApartment&) = delete;
  CComApartment& operator=(const CComApartment&) = delete;

  bool entered() const { return m_entered; }

 private:
  bool m_entered;
};

}  // namespace zr
