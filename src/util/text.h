// Text encoding conversions between the system's wide strings and narrow byte strings.
//
// Wide strings are std::wstring: UTF-16 on Windows, UTF-32 on the native build (never assume
// 16-bit units in portable code). Narrow strings carry UTF-8 or a code page of the machine.
// Every function takes a zero-terminated source (a null pointer gives an empty result),
// converts up to its first zero and keeps no state, so any thread may call it.
//
// On Windows the work is done by WideCharToMultiByte / MultiByteToWideChar with flags 0.
// The native build converts UTF-8 exactly and treats both local code pages as UTF-8.
#pragma once

#include <string>

namespace zr {

// UTF-8 (code page 65001).
std::string WideToUtf8(const wchar_t* text);
std::wstring Utf8ToWide(const char* text);

// The machine's OEM code page (1) one way, its ANSI code page (0) the other. They are not
// each other's inverse where the two code pages differ.
std::string WideToLocal(const wchar_t* text);
std::wstring LocalToWide(const char* text);

inline std::string WideToUtf8(const std::wstring& text) { return WideToUtf8(text.c_str()); }
inline std::wstring Utf8ToWide(const std::string& text) { return Utf8ToWide(text.c_str()); }

// ANSI code page to UTF-8, through a wide string.
inline std::string AnsiToUtf8(const char* text) { return WideToUtf8(LocalToWide(text)); }

}  // namespace zr
