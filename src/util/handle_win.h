// Owners of Windows handles: each closes its handle with the call that matches its kind when
// it goes. Move-only; "no handle" is whatever the kind's creating calls return on failure
// (null, or INVALID_HANDLE_VALUE for files, snapshots and searches).
#pragma once

#include <windows.h>

#include <utility>

namespace zr {

template <typename Traits>
class CUniqueHandle {
 public:
  using Handle = typename Traits::Handle;

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

  explicit operator bool() const { return Traits::IsValid(m_handle); }
  Handle get() const { return m_handle; }
  // For calls that hand the handle out through a pointer (RegOpenKeyExW): the old one goes.
  Handle* Receive() {
    Reset();
    return &m_handle;
  }
  Handle Release() { return std::exchange(m_handle, Handle()); }
  void Reset(Handle handle = Handle()) {
    if (Traits::IsValid(m_handle)) Traits::Close(m_handle);
    m_handle = handle;
  }

 private:
  Handle m_handle = Handle();
};

struct KernelHandleTraits {  // CreateFileW, OpenProcess, CreateMutexW, CreateToolhelp32Snapshot, ...
  using Handle = HANDLE;
  static bool IsValid(Handle h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
  static void Close(Handle h) { ::CloseHandle(h); }
};

struct FindHandleTraits {  // FindFirstFileW
  using Handle = HANDLE;
  static bool IsValid(Handle h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
  static void Close(Handle h) { ::FindClose(h); }
};

struct RegistryKeyTraits {  // RegOpenKeyExW
  using Handle = HKEY;
  static bool IsValid(Handle h) { return h != nullptr; }
  static void Close(Handle h) { ::RegCloseKey(h); }
};

struct GdiObjectTraits {  // fonts, bitmaps, regions, brushes
  using Handle = HGDIOBJ;
  static bool IsValid(Handle h) { return h != nullptr; }
  static void Close(Handle h) { ::DeleteObject(h); }
};

struct MemoryDcTraits {  // CreateCompatibleDC
  using Handle = HDC;
  static bool IsValid(Handle h) { return h != nullptr; }
  static void Close(Handle h) { ::DeleteDC(h); }
};

using CKernelHandle = CUniqueHandle<KernelHandleTraits>;
using CFindHandle = CUniqueHandle<FindHandleTraits>;
using CRegistryKey = CUniqueHandle<RegistryKeyTraits>;
using CGdiObject = CUniqueHandle<GdiObjectTraits>;
using CMemoryDC = CUniqueHandle<MemoryDcTraits>;

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
