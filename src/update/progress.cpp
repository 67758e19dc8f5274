#include "update/progress.h"

#include <cstdarg>
#include <cstdio>
#include <cwchar>
#include <string>

#include "strings/texts.h"
#include "update/update_events.h"
#include "util/text.h"

namespace zr {
namespace {

// Length of the longest prefix of text[0, length) that does not end inside a UTF-8 sequence.
size_t WholeUtf8Prefix(const char* text, size_t length) {
  size_t start = length;
  // Step back over at most three continuation bytes to the lead byte of the last sequence.
  while (start > 0 && length - start < 4 && (static_cast<unsigned char>(text[start - 1]) & 0xC0) == 0x80) {
    --start;
  }
  if (start == 0) return length;
  const unsigned char lead = static_cast<unsigned char>(text[start - 1]);
  const size_t need = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
  const size_t have = length - (start - 1);
  return have < need ? start - 1 : length;
}

}  // namespace

void PostStatusText(IUpdateEvents& events, const wchar_t* format, ...) {
  const std::string narrowFormat = WideToUtf8(format);
  char buffer[kStatusTextBufferSize] = {};
  va_list args;
  va_start(args, format);
  const int written = std::vsnprintf(buffer, sizeof buffer, narrowFormat.c_str(), args);
  va_end(args);
  size_t length = std::char_traits<char>::length(buffer);
  if (written >= kStatusTextBufferSize) length = WholeUtf8Prefix(buffer, length);
  buffer[length] = '\0';
  events.Report({UpdateEvent::Kind::kStatusText, 0, Utf8ToWide(buffer)});
}

void PostEntryLine(IUpdateEvents& events, const ITexts& texts, const wchar_t* id, size_t index, size_t count, const std::wstring& name) {
  PostStatusText(events, texts.Get(id).c_str(), static_cast<int>(index + 1), static_cast<int>(count),
                 WideToUtf8(name).c_str());
}

void PostFatalText(IUpdateEvents& events, const wchar_t* format, ...) {
  std::wstring text;
  va_list args;
  va_start(args, format);
  // Measure first (vswprintf has no length query), then format into the exact size.
  size_t capacity = 256;
  for (;;) {
    std::wstring buffer(capacity, L'\0');
    va_list attempt;
    va_copy(attempt, args);
    const int written = std::vswprintf(buffer.data(), capacity, format, attempt);
    va_end(attempt);
    if (written >= 0 && static_cast<size_t>(written) < capacity) {
      buffer.resize(static_cast<size_t>(written));
      text = std::move(buffer);
      break;
    }
    if (capacity > (size_t{1} << 24)) break;  // a format that cannot be expanded: post it empty
    capacity *= 2;
  }
  va_end(args);
  events.Report({UpdateEvent::Kind::kFatalText, 0, std::move(text)});
}

void ReportProgress(IUpdateEvents& events, int64_t position) {
  events.Report({UpdateEvent::Kind::kProgress, position, {}});
}

void ReportSpeed(IUpdateEvents& events, int64_t bytesPerSecond) {
  events.Report({UpdateEvent::Kind::kSpeed, bytesPerSecond, {}});
}

}  // namespace zr
