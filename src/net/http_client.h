// The system's only network code: one HTTP POST of a prepared body to the report endpoint over
// WinINet (http_client_win.cpp; the Windows build only). Synchronous, on the calling thread
// (the update worker); no retry, no state between calls, the response body is never read.
#pragma once

#include <cstdint>
#include <string>

namespace zr {

// The session's agent name, sent verbatim as the User-Agent header's value (its own
// "User-Agent: " prefix and the blanks around the slashes included).
inline constexpr wchar_t kReportAgent[] =
    L"User-Agent: Mozilla / 5.0 (Windows NT 10.0; WOW64; Trident / 7.0; rv:11.0) like Gecko";

// Connect and send time-outs set on the request, in milliseconds.
inline constexpr uint32_t kReportTimeoutMs = 1000;

// The built-in report URL (build configuration ZR_REPORT_URL).
const wchar_t* ReportUrl();

// POSTs body (ANSI code page text, sent as UTF-8) to ReportUrl(). body is borrowed for the
// call. 0 once the request was sent and a status line came back, whatever the status;
// -1 when any step before or during sending failed. Every handle is closed before return.
int32_t UploadReport(const std::string& body);

// The same POST to an absolute http URL (host, optional port, path with query). The
// connection goes through the system's preconfigured proxy settings like every report.
int32_t UploadReportTo(const std::wstring& url, const std::string& body);

}  // namespace zr
