// Identity values of the usage report: the machine identifier from the product's registry key,
// a description of the Windows version and bitness, and the installation source identifier
// from "source.dat" beside the updater. Each reader returns a narrow string, never fails
// towards its caller, keeps no state and reads its source afresh on every call. They run on
// the update worker thread.
//
// identity_win.cpp reads the real sources. identity_native.cpp has none of them and answers
// what each reader's failure rule gives: "N/A", "0_0_0_32" and an empty string.
#pragma once

#include <cstddef>
#include <string>

namespace zr {

// Registry location of the identifier, below HKEY_LOCAL_MACHINE.
inline constexpr wchar_t kMachineGuidKeyPrefix[] = L"SOFTWARE\\WOW6432Node\\";
inline constexpr wchar_t kMachineGuidValueName[] = L"GUID";
inline constexpr std::size_t kMachineGuidBufferBytes = 2048;
inline constexpr char kMachineGuidFallback[] = "N/A";
inline constexpr std::size_t kSourceIdMaxBytes = 1024;

// The "GUID" value as ASCII, or "N/A" when the key or the value cannot be read, the value
// is larger than 2048 bytes, or it is not a string value (REG_SZ or REG_EXPAND_SZ, the latter
// taken as it is stored, unexpanded).
std::string ReadMachineGuid();

// "major_minor_server_bitness", e.g. "6_1_0_64": the version the system reports to this
// process, "1" for a server edition, and "64" when the process runs under WOW64 (a 32-bit
// process on 64-bit Windows), else "32".
std::string DescribeOs();

// The first 1024 bytes of "source.dat" beside the running executable, up to the first zero
// byte, unchanged (no trimming, no conversion). Empty when the file cannot be opened or read.
std::string ReadSourceId();

// Portable pieces of the readers, shared by both platforms and tested natively.

// Narrows a registry string value: data holds byteCount bytes of little-endian UTF-16; each
// complete unit (byteCount / 2 of them) gives its low byte, up to the first zero unit.
std::string NarrowRegistryText(const unsigned char* data, std::size_t byteCount);

// Joins the four fields with "_".
std::string FormatOsDescription(unsigned long major, unsigned long minor, bool server, bool wow64);

// The bytes of a read of at most 1024 bytes, up to the first zero byte.
std::string SourceIdFromBytes(const char* data, std::size_t byteCount);

}  // namespace zr
