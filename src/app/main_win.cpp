// Process entry: prepares COM, then runs the program (program_win.h) with the command line.
// Exit code 0 on every path but one: 1 when the window's skin cannot be built.
#include <windows.h>
#include <shellapi.h>

#include <new>
#include <string>
#include <vector>

#include "app/com_apartment_win.h"
#include "app/program_win.h"

namespace {

std::vector<std::wstring> CommandLineArguments() {
  int count = 0;
  LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &count);
  if (argv == nullptr) return {};
  std::vector<std::wstring> arguments(argv, argv + count);
  LocalFree(argv);
  return arguments;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  const zr::CComApartment com;
  if (!com.entered()) return 0;

  // On the heap: when Run says something still refers to the program, it goes with the process.
  auto* program = new (std::nothrow) zr::CProgram(CommandLineArguments());
  if (program == nullptr) return 0;
  const bool ended = program->Run();
  const int exitCode = program->ExitCode();
  if (ended) delete program;
  return exitCode;
}
