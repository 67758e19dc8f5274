#include <windows.h>

#include "net/identity.h"
#include "util/files.h"
#include "util/handle_win.h"
#include "util/paths.h"

namespace zr {

static_assert(sizeof(OSVERSIONINFOEXW) == 284, "the extended version record is 284 bytes");

std::string ReadMachineGuid() {
  const std::wstring keyPath = std::wstring(kMachineGuidKeyPrefix) + kProductExeName;
  CRegistryKey key;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, keyPath.c_str(), 0, KEY_READ, key.Receive()) != ERROR_SUCCESS) {
    return kMachineGuidFallback;
  }
  unsigned char buffer[kMachineGuidBufferBytes] = {};
  DWORD size = sizeof buffer;
  DWORD type = REG_NONE;
  const bool read = RegQueryValueExW(key.get(), kMachineGuidValueName, nullptr, &type, buffer, &size) == ERROR_SUCCESS;
  // Only text is an identifier: a number or binary data narrowed as text would be garbage.
  if (!read || (type != REG_SZ && type != REG_EXPAND_SZ)) return kMachineGuidFallback;
  // The query tells the size in bytes; only byteCount / 2 UTF-16 units were returned.
  return NarrowRegistryText(buffer, size);
}

std::string DescribeOs() {
  OSVERSIONINFOEXW info = {};
  info.dwOSVersionInfoSize = sizeof info;
  // The result is not examined: on failure the fields stay zero.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
  GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&info));
#pragma GCC diagnostic pop

  BOOL wow64 = FALSE;
  const bool underWow64 = IsWow64Process(GetCurrentProcess(), &wow64) && wow64;
  return FormatOsDescription(info.dwMajorVersion, info.dwMinorVersion, info.wProductType == VER_NT_SERVER, underWow64);
}

std::string ReadSourceId() {
  const std::wstring path = GetModuleDirectory() + L"\\source.dat";
  CKernelHandle file(
      CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return std::string();
  char buffer[kSourceIdMaxBytes] = {};
  DWORD read = 0;
  if (!ReadFile(file.get(), buffer, sizeof buffer, &read, nullptr)) return std::string();
  return SourceIdFromBytes(buffer, read);
}

}  // namespace zr
