// Owners of Windows handles: each closes its handle with the call that matches its kind (Close)
// when it goes. Move-only; "no handle" is whatever the kind's creating calls return on failure:
// null, or also INVALID_HANDLE_VALUE where kInvalidValueToo (files, snapshots and searches).
#pragma once

#include <windows.h>

#include <utility>

namespace zr {

template <typename Handle, auto Close, bool kInvalidValueToo = false>
class CUniqueHandle {
 public:
  CUniqueHandle() = default;
  explicit CUniqueHandle(Handle handle) : m_handle(handle) {}
  ~CUniqueHandle() { Reset(); }
  CUniqueHandle(CUniqueHandle&& other) noexcept : m_handle(other.Release()) {}
  CUniqueHandle& operator=(CUniqueHandle&& other) noexcept {
    if (this != &other) Reset(other.Release());
    return *this;
  }
  CUniqueHandle(const CUniqueHandle&) = delete;
  CUniqueHandle& operator=(const CUniqueHandle&) = delete;

  explicit operator bool() const { return IsValid(m_handle); }
  Handle get() const { return m_handle; }
  // For calls that hand the handle out through a pointer (RegOpenKeyExW): the old one goes.
  Handle* Receive() {
    Reset();
    return &m_handle;
  }
  Handle Release() { return std::exchange(m_handle, Handle()); }
  void Reset(Handle handle = Handle()) {
    if (IsValid(m_handle)) Close(m_handle);
    m_handle = handle;
  }

 private:
  static bool IsValid(Handle h) { return h != nullptr && !(kInvalidValueToo && h == INVALID_HANDLE_VALUE); }

  Handle m_handle = Handle();
};

// CreateFileW, OpenProcess, CreateMutexW, CreateToolhelp32Snapshot, ...
using CKernelHandle = CUniqueHandle<HANDLE, ::CloseHandle, true>;
using CFindHandle = CUniqueHandle<HANDLE, ::FindClose, true>;  // FindFirstFileW
using CRegistryKey = CUniqueHandle<HKEY, ::RegCloseKey>;       // RegOpenKeyExW
using CGdiObject = CUniqueHandle<HGDIOBJ, ::DeleteObject>;     // fonts, bitmaps, regions, brushes
using CMemoryDC = CUniqueHandle<HDC, ::DeleteDC>;              // CreateCompatibleDC

// A window's device context from GetDC, given back with ReleaseDC.
class CWindowDC {
 public:
  explicit CWindowDC(HWND hwnd) : m_hwnd(hwnd), m_dc(::GetDC(hwnd)) {}
  ~CWindowDC() {
    if (m_dc != nullptr) ::ReleaseDC(m_hwnd, m_dc);
  }
  CWindowDC(const CWindowDC&) = delete;
  CWindowDC& operator=(const CWindowDC&) = delete;
  HDC get() const { return m_dc; }

 private:
  HWND m_hwnd;
  HDC m_dc;
};

// An object selected into a device context for a scope: the one it replaced goes back in when
// the scope ends (before the object or the DC may be deleted).
class CSelectObject {
 public:
  CSelectObject(HDC dc, HGDIOBJ object)
      : m_dc(dc), m_old(dc != nullptr && object != nullptr ? ::SelectObject(dc, object) : nullptr) {}
  ~CSelectObject() {
    if (m_old != nullptr && m_old != HGDI_ERROR) ::SelectObject(m_dc, m_old);
  }
  CSelectObject(const CSelectObject&) = delete;
  CSelectObject& operator=(const CSelectObject&) = delete;

 private:
  HDC m_dc;
  HGDIOBJ m_old;
};

}  // namespace zr
