#include "update/run_record_win.h"

#include <windows.h>

#include <cstdio>
#include <exception>

#include "update/file_set.h"
#include "util/escape.h"
#include "util/files.h"

namespace zr {
namespace {

// "2026-12-08 10:41:03.127 ", the local time now.
std::string TimeStamp() {
  SYSTEMTIME now = {};
  GetLocalTime(&now);
  char text[32];
  std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u.%03u ", now.wYear, now.wMonth, now.wDay, now.wHour,
                now.wMinute, now.wSecond, now.wMilliseconds);
  return text;
}

// The text as one line of the record: control characters (a line break in a path, say) are
// written as "\x" and two hexadecimal digits, so nothing makes a line of its own.
std::string RecordText(const std::string& text) {
  return EscapeBytes(
      text, [](unsigned char byte) { return byte < 0x20 || byte == 0x7F; }, "\\x", kLowerHexDigits);
}

}  // namespace

void CRunRecordFile::Start(const std::wstring& directory) {
  const std::wstring path = ExtendedPath(directory + L"\\" + kRecordFileName);
  const std::wstring previous = ExtendedPath(directory + L"\\" + kPreviousRecordFileName);
  std::lock_guard<std::mutex> lock(m_mutex);
  m_file.Reset();
  // When the last record cannot be moved aside (held, no rights), this run goes on after it
  // rather than destroying it.
  MoveFileExW(path.c_str(), previous.c_str(), MOVEFILE_REPLACE_EXISTING);
  Open(path);
}

void CRunRecordFile::Join(const std::wstring& directory) {
  const std::wstring path = ExtendedPath(directory + L"\\" + kRecordFileName);
  std::lock_guard<std::mutex> lock(m_mutex);
  Open(path);
}

void CRunRecordFile::Open(const std::wstring& path) {
  // Appending only: every write lands at the end, also beside another updater's.
  m_file.Reset(CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  LARGE_INTEGER size = {};
  m_size = m_file && GetFileSizeEx(m_file.get(), &size) ? static_cast<uint64_t>(size.QuadPart) : 0;
  m_cut = false;
}

void CRunRecordFile::Append(const std::string& text) {
  try {
    std::string line = TimeStamp() + RecordText(text) + "\r\n";
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_file || m_cut) return;
    if (m_size + line.size() > m_limit) {
      m_cut = true;
      line = TimeStamp() + "the record is cut here: it reached " + std::to_string(m_limit) + " bytes\r\n";
    }
    DWORD written = 0;
    if (WriteFile(m_file.get(), line.data(), static_cast<DWORD>(line.size()), &written, nullptr)) m_size += written;
  } catch (const std::exception&) {
    // No memory for the line: the record goes without it.
  }
}

}  // namespace zr
