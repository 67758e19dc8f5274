#include "util/text.h"

#include <windows.h>

namespace zr {
namespace {

std::string FromWide(UINT codePage, const wchar_t* text) {
  if (text == nullptr) return {};
  int size = WideCharToMultiByte(codePage, 0, text, -1, nullptr, 0, nullptr, nullptr);
  if (size <= 0) return {};
  std::string result(static_cast<size_t>(size - 1), '\0');
  // The buffer is the string's own storage plus its terminator, size bytes in all.
  WideCharToMultiByte(codePage, 0, text, -1, result.data(), size, nullptr, nullptr);
  return result;
}

std::wstring ToWide(UINT codePage, const char* text) {
  if (text == nullptr) return {};
  int size = MultiByteToWideChar(codePage, 0, text, -1, nullptr, 0);
  if (size <= 0) return {};
  std::wstring result(static_cast<size_t>(size - 1), L'\0');
  MultiByteToWideChar(codePage, 0, text, -1, result.data(), size);
  return result;
}

}  // namespace

std::string WideToUtf8(const wchar_t* text) { return FromWide(CP_UTF8, text); }
std::wstring Utf8ToWide(const char* text) { return ToWide(CP_UTF8, text); }
std::string WideToLocal(const wchar_t* text) { return FromWide(CP_OEMCP, text); }
std::wstring LocalToWide(const char* text) { return ToWide(CP_ACP, text); }

}  // namespace zr
