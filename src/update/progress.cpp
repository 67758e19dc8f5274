#include "update/progress.h"

#include <cstdarg>
#include <cstdio>
#include <cwchar>
#include <memory>
#include <string>

#include "update/platform.h"
#include "util/text.h"

namespace zr {
namespace {

// Posts a heap text; if the post fails the payload was never handed over, so it is freed here.
bool PostText(IMessagePoster& platform, uint32_t message, std::unique_ptr<std::wstring> text) {
  const intptr_t payload = reinterpret_cast<intptr_t>(text.get());
  if (!platform.PostToMainWindow(message, payload)) return false;
  text.release();  // the window owns it now
  return true;
}

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

bool PostStatusText(IMessagePoster& platform, const wchar_t* format, ...) {
  const std::string narrowFormat = WideToUtf8(format);
  char buffer[kStatusTextBufferSize] = {};
  va_list args;
  va_start(args, format);
  const int written = std::vsnprintf(buffer, sizeof buffer, narrowFormat.c_str(), args);
  va_end(args);
  size_t length = std::char_traits<char>::length(buffer);
  if (written >= kStatusTextBufferSize) length = WholeUtf8Prefix(buffer, length);
  buffer[length] = '\0';
  std::unique_ptr<std::wstring> text(new (std::nothrow) std::wstring(Utf8ToWide(buffer)));
  if (!text) return platform.PostToMainWindow(WM_UPDATE_STATUS_TEXT, 0);
  return PostText(platform, WM_UPDATE_STATUS_TEXT, std::move(text));
}

bool PostFatalText(IMessagePoster& platform, const wchar_t* format, ...) {
  auto text = std::make_unique<std::wstring>();
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
      *text = std::move(buffer);
      break;
    }
    if (capacity > (size_t{1} << 24)) break;  // a format that cannot be expanded: post it empty
    capacity *= 2;
  }
  va_end(args);
  return PostText(platform, WM_UPDATE_FATAL_TEXT, std::move(text));
}

}  // namespace zr
