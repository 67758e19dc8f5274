// The system's only network code: one HTTP POST of a prepared body to the report endpoint over
// WinINet (http_client_win.cpp; the Windows build only). No retry, no state between calls,
// the response body is never read.
//
// The caller (the update worker) waits for the POST no longer than kReportDeadlineMs plus
// kReportCancelGraceMs: the exchange runs on a thread of its own (bounded_call.h), so that a
// call WinINet cannot time out (name resolution, proxy discovery) never holds the updater.
// A report that cannot be sent in time is dropped, like one whose POST failed.
#pragma once

#include <cstdint>
#include <string>

#include "update/report_delivery.h"

namespace zr {

// The session's agent name, sent verbatim as the User-Agent header's value (its own
// "User-Agent: " prefix and the blanks around the slashes included).
inline constexpr wchar_t kReportAgent[] =
    L"User-Agent: Mozilla / 5.0 (Windows NT 10.0; WOW64; Trident / 7.0; rv:11.0) like Gecko";

// Connect, send and receive time-outs set on the request, in milliseconds.
inline constexpr uint32_t kReportTimeoutMs = 1000;

// The whole POST, from opening the session to the status line, gets this long; then its
// handles are closed, and the POST is abandoned if it has not given up kReportCancelGraceMs
// later.
inline constexpr uint32_t kReportDeadlineMs = 3000;
inline constexpr uint32_t kReportCancelGraceMs = 500;

// The built-in report URL (build configuration ZR_REPORT_URL).
const wchar_t* ReportUrl();

// POSTs body (ANSI code page text, sent as UTF-8) to ReportUrl(). body is borrowed for the
// call. 0 once the request was sent and a status line came back in time, whatever the status
// but a redirection (3xx), which is never followed; -1 for a redirection and when any step
// before or during sending failed or the deadline passed. No cookies, no WinINet dialogs.
// `delivery`, when given, says what became of it: the status, the error of the step that
// failed, or the deadline.
int32_t UploadReport(const std::string& body, ReportDelivery* delivery = nullptr);

// The same POST to an absolute http or https URL (host, optional port, path with query). The
// connection goes through the system's preconfigured proxy settings like every report.
int32_t UploadReportTo(const std::wstring& url, const std::string& body, ReportDelivery* delivery = nullptr);

// Where a report URL leads.
struct ReportTarget {
  std::wstring host;
  uint16_t port = 0;    // the URL's, else 80 for http and 443 for https
  std::wstring target;  // path with its query
  bool secure = false;  // https: the request goes over TLS
};

// Splits an absolute http or https URL (scheme case-insensitive). False for any other scheme,
// and for a URL whose host or target is longer than 511 units.
bool SplitReportUrl(const std::wstring& url, ReportTarget& parts);

}  // namespace zr
