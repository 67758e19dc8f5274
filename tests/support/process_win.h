// Programs of the build run by the Windows tests: paths of the build as Wine shows them,
// command lines run to their end, and copies of the stand-in product ("zrCastrix.exe" from
// tools/stand_in_product) started and ended by the test. Every helper runs on the test's
// thread and owns what it starts until its destructor.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

namespace zr::test {

// A path of the build (UTF-8, as the build wrote it) as Wine shows it: "/" is drive Z:.
std::wstring BuildPath(const char* utf8Path);

inline std::wstring Quoted(const std::wstring& text) { return L"\"" + text + L"\""; }

// Runs a command line to its end; the exit code, or -1 when it could not start or took
// longer than a minute (it is then ended).
long RunToEnd(std::wstring commandLine);

// A copy of `exe` as directory\name (the directory is made); the copy's full path. A failed
// copy fails the test.
std::wstring PlaceCopy(const std::wstring& exe, const std::wstring& directory,
                       const std::wstring& name = L"zrCastrix.exe");

// One running copy of the stand-in product, started with its options (see the stand-in's
// source) and waited for until it is ready; ended at the latest with the object. A process
// security descriptor (SDDL) limits what others may open it for, as Windows does for another
// user's process or, towards a 32-bit caller, for a 64-bit one.
class StandInProcess {
 public:
  StandInProcess(const std::wstring& exe, const std::wstring& options,
                 const wchar_t* processSddl = nullptr);
  ~StandInProcess();
  StandInProcess(const StandInProcess&) = delete;
  StandInProcess& operator=(const StandInProcess&) = delete;

  uint32_t id() const { return m_id; }  // 0 when it did not start
  // True when the process ended within the time; its exit code goes to *exitCode.
  bool WaitForExit(DWORD milliseconds, DWORD* exitCode = nullptr) const;

 private:
  HANDLE m_process = nullptr;
  uint32_t m_id = 0;
};

// The product window is found by class and title across the whole desktop, so two test
// programs of this build must not run stand-ins with windows at the same time: this named
// mutex, held from construction to destruction, serialises them (it is abandoned, and so
// released, if a test program dies). The end-to-end stand-ins take the same mutex.
class ProductWindowTurn {
 public:
  ProductWindowTurn();
  ~ProductWindowTurn();
  ProductWindowTurn(const ProductWindowTurn&) = delete;
  ProductWindowTurn& operator=(const ProductWindowTurn&) = delete;

  bool held() const { return m_held; }

 private:
  HANDLE m_mutex = nullptr;
  bool m_held = false;
};

}  // namespace zr::test
