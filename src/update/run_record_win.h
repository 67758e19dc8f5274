// The record of the runs on disk: "zrUpdater.log" beside the updater (run_record.h says what
// goes in it).
//
// UTF-8 text, CR LF line ends, one line per event: the local time to the millisecond, a blank
// and the text ("2026-12-08 10:41:03.127 the product is not running"); control characters in
// the text are written as "\x0a" and the like. Starting a run keeps the last run's record as
// "zrUpdater.log.1" (replacing the one before). Each line goes to the file as it comes, with no
// buffer in the process, so a run that is killed leaves what it recorded. A record holds at
// most its limit (1 MiB); then one line says it was cut, and nothing more is written.
//
// Any thread: the program starts it and writes the command line, the worker writes the rest
// (CWin32Platform::Record).
#pragma once

#include <cstdint>
#include <mutex>
#include <string>

#include "util/handle_win.h"

namespace zr {

class CRunRecordFile {
 public:
  static constexpr uint64_t kLimitBytes = 1 << 20;

  explicit CRunRecordFile(uint64_t limitBytes = kLimitBytes) : m_limit(limitBytes) {}

  // Starts this run's record in `directory`, the updater's own, keeping the last one as
  // "zrUpdater.log.1". Call it while holding the installation's lock.
  void Start(const std::wstring& directory);
  // Adds to the record in `directory` as it stands, without starting a new one: for an updater
  // that did not get the installation (another one's record may be going on).
  void Join(const std::wstring& directory);
  // One line; nothing before Start or Join.
  void Append(const std::string& text);

 private:
  void Open(const std::wstring& path);  // under m_mutex

  const uint64_t m_limit;
  std::mutex m_mutex;
  CKernelHandle m_file;
  uint64_t m_size = 0;
  bool m_cut = false;
};

}  // namespace zr
