// The record of a run: short lines of what happened, for whoever finds out later why an update
// failed on a user's machine (the manifest, the check's verdict, how the product was closed,
// every failed file operation with its Windows error, the journal, a rollback or recovery, the
// outcome and the report's delivery).
//
// The engine writes through IUpdatePlatform::Record: on Windows to the file "zrUpdater.log"
// beside the updater (run_record_win.h), in the tests to a list of lines.
#pragma once

#include <cstdint>
#include <string>

namespace zr {

// A path, quoted, as the record writes it.
std::string RecordPath(const std::wstring& path);

// A value from the manifest, quoted: its first 40 bytes at most.
std::string RecordValue(const std::string& value);

// "error 32 (held by another program)": a Windows error code with what it says, in words for
// the codes a file operation usually meets.
std::string RecordError(uint32_t error);

}  // namespace zr
