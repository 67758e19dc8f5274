#include "update/progress.h"

#include <variant>
#include <vector>

#include "strings/texts.h"
#include "update/update_events.h"
#include "util/text.h"

namespace zr {
namespace {

constexpr size_t kStatusTextBufferSize = 1024;

// The status line as the window shows it: at most kStatusTextBufferSize - 1 bytes of UTF-8.
void Post(IUpdateEvents& events, const std::wstring& text) {
  std::string bytes = WideToUtf8(text);
  if (bytes.size() >= kStatusTextBufferSize) {
    size_t cut = kStatusTextBufferSize - 1;  // not inside a UTF-8 sequence
    while (cut > 0 && (static_cast<unsigned char>(bytes[cut]) & 0xC0) == 0x80) --cut;
    bytes.resize(cut);
  }
  events.Report({UpdateEvent::Kind::kStatusText, 0, Utf8ToWide(bytes)});
}

// One value put into a text: a number for "%d", a name for "%s".
using TextValue = std::variant<int64_t, std::wstring>;

// The text with its values put in, in order: "%d" takes the next value if it is a number, "%s"
// if it is a name, and "%%" is one "%". Any other "%", and a conversion whose value is missing
// or of the other kind, stays as written.
std::wstring FillText(const std::wstring& text, const std::vector<TextValue>& values) {
  std::wstring filled;
  size_t next = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    const wchar_t kind = i + 1 < text.size() && text[i] == L'%' ? text[i + 1] : L'\0';
    const bool number = kind == L'd' && next < values.size() && std::holds_alternative<int64_t>(values[next]);
    const bool name = kind == L's' && next < values.size() && std::holds_alternative<std::wstring>(values[next]);
    if (number) {
      filled += std::to_wstring(std::get<int64_t>(values[next++]));
    } else if (name) {
      filled += std::get<std::wstring>(values[next++]);
    } else if (kind == L'%') {
      filled += L'%';
    } else {
      filled += text[i];
      continue;
    }
    ++i;
  }
  return filled;
}

}  // namespace

void PostStatus(IUpdateEvents& events, const ITexts& texts, PlainText text) {
  Post(events, FillText(texts.Get(text.id), {}));
}

void PostStatus(IUpdateEvents& events, const ITexts& texts, EntryText text, size_t index, size_t count,
                const std::wstring& name) {
  Post(events, FillText(texts.Get(text.id), {static_cast<int64_t>(index + 1), static_cast<int64_t>(count), name}));
}

void PostStatus(IUpdateEvents& events, const ITexts& texts, NamedText text, const std::wstring& name) {
  Post(events, FillText(texts.Get(text.id), {name}));
}

void PostStatus(IUpdateEvents& events, const ITexts& texts, CodeText text, int64_t code) {
  Post(events, FillText(texts.Get(text.id), {code}));
}

void PostFatal(IUpdateEvents& events, const ITexts& texts, PlainText text) {
  events.Report({UpdateEvent::Kind::kFatalText, 0, FillText(texts.Get(text.id), {})});
}

void ReportProgress(IUpdateEvents& events, int64_t position) {
  events.Report({UpdateEvent::Kind::kProgress, position, {}});
}

}  // namespace zr
