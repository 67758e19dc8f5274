// The progress protocol: what the worker posts to the main window, which handles it on the
// UI thread. wParam is always 0.
//
// Text payloads are heap std::wstring objects. The sender allocates one per message and
// gives it up by posting it; the window deletes it after use. When a post fails the sender
// deletes it itself, so a payload is never lost.
#pragma once

#include <cstdint>

namespace zr {

class IMessagePoster;

inline constexpr uint32_t WM_UPDATE_PROGRESS = 0x8000 + 1;     // lParam: position 0..100
inline constexpr uint32_t WM_UPDATE_SPEED = 0x8000 + 2;        // lParam: bytes/s; < 0 clears
inline constexpr uint32_t WM_UPDATE_STATUS_TEXT = 0x8000 + 3;  // lParam: std::wstring* or 0
inline constexpr uint32_t WM_UPDATE_FATAL_TEXT = 0x8000 + 4;   // lParam: std::wstring*
inline constexpr uint32_t WM_UPDATE_SUCCEEDED = 0x8000 + 7;    // lParam: 2 (unused)
inline constexpr uint32_t WM_UPDATE_FINISHED = 0x8000 + 9;     // lParam: 0
// WM_QUIT, which the engine posts to the updater's own window to end its message loop.
inline constexpr uint32_t WM_UPDATE_QUIT = 0x0012;

// Size of the status line's format buffer; the formatted text keeps at most one byte less.
inline constexpr int kStatusTextBufferSize = 1024;

// Formats a status line printf-style ("%d" takes int, "%s" a UTF-8 string) and posts it.
// The format and the "%s" arguments are UTF-8 so that every text survives on every machine;
// output past 1023 bytes is cut at a character boundary. Returns the result of the post.
bool PostStatusText(IMessagePoster& window, const wchar_t* format, ...);

// Formats a wide printf-style text without a length limit and posts it as the fatal text.
bool PostFatalText(IMessagePoster& window, const wchar_t* format, ...);

}  // namespace zr
