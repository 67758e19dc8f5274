// report_probe.exe source-id OUT_FILE
//   writes the bytes ReadSourceId() returns to OUT_FILE, so a test can copy the probe next to
//   a source.dat of its own and see what the reader takes from it.
// report_probe.exe upload BODY_FILE OUT_FILE
//   posts BODY_FILE's bytes with UploadReport() to the built-in report URL and writes the
//   result ("0" or "-1") to OUT_FILE; with the process's proxy settings (http_proxy) this
//   reaches a loopback server.
#include <windows.h>

#include <string>

#include "net/http_client.h"
#include "net/identity.h"

namespace {

bool WriteBytes(const wchar_t* path, const std::string& bytes) {
  HANDLE out = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (out == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  const BOOL ok = WriteFile(out, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  CloseHandle(out);
  return ok && written == bytes.size();
}

bool ReadBytes(const wchar_t* path, std::string& bytes) {
  HANDLE in = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (in == INVALID_HANDLE_VALUE) return false;
  char buffer[4096];
  DWORD read = 0;
  while (ReadFile(in, buffer, sizeof buffer, &read, nullptr) && read > 0) bytes.append(buffer, read);
  CloseHandle(in);
  return true;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  const std::wstring command = argc > 1 ? argv[1] : L"";
  if (command == L"source-id" && argc == 3) {
    return WriteBytes(argv[2], zr::ReadSourceId()) ? 0 : 3;
  }
  if (command == L"upload" && argc == 4) {
    std::string body;
    if (!ReadBytes(argv[2], body)) return 3;
    return WriteBytes(argv[3], std::to_string(zr::UploadReport(body))) ? 0 : 3;
  }
  return 2;
}
