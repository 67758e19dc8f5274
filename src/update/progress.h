// The status and fatal texts the engine shows, formatted printf-style and reported as events
// (update_events.h).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace zr {

class ITexts;
class IUpdateEvents;

// Size of the status line's format buffer; the formatted text keeps at most one byte less.
inline constexpr int kStatusTextBufferSize = 1024;

// Formats a status line printf-style ("%d" takes int, "%s" a UTF-8 string) and reports it.
// The format and the "%s" arguments are UTF-8 so that every text survives on every machine;
// output past 1023 bytes is cut at a character boundary.
void PostStatusText(IUpdateEvents& events, const wchar_t* format, ...);

// The status line of the text `id` ("%d/%d ... %s") for entry `index` (from 0) of `count`,
// naming `name`.
void PostEntryLine(IUpdateEvents& events, const ITexts& texts, const wchar_t* id, size_t index, size_t count, const std::wstring& name);

// Formats a wide printf-style text without a length limit and reports it as the fatal text.
void PostFatalText(IUpdateEvents& events, const wchar_t* format, ...);

// The progress bar's position (0 to 100), the transfer speed (negative clears it).
void ReportProgress(IUpdateEvents& events, int64_t position);
void ReportSpeed(IUpdateEvents& events, int64_t bytesPerSecond);

}  // namespace zr
