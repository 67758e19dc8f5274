#include <windows.h>
#include <wininet.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <exception>
#include <memory>
#include <mutex>
#include <utility>

#include "build_config.h"
#include "net/bounded_call.h"
#include "net/http_client.h"
#include "util/text.h"

namespace zr {

namespace {

constexpr DWORD kUrlPartUnits = 512;
constexpr DWORD kAddOrReplace = HTTP_ADDREQ_FLAG_ADD | HTTP_ADDREQ_FLAG_REPLACE;

// No redirection followed, no cookie sent or kept, no dialog of WinINet's, no answer cached.
constexpr DWORD kRequestFlags =
    INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_NO_AUTO_REDIRECT | INTERNET_FLAG_NO_COOKIES | INTERNET_FLAG_NO_UI;

// The shipped 32-bit updater hands WinINet the 60-byte URL components record.
static_assert(sizeof(void*) != 4 || sizeof(URL_COMPONENTSW) == 60, "URL_COMPONENTSW layout");

// Header lines added to every report request, in this order.
constexpr const wchar_t* kReportHeaders[] = {
    L"Accept-Language: zh-cn", L"Content-Type:application/text;charset=UTF-8",
    L"Expect:",  // an empty value removes the header
};

// One POST, shared by the waiting worker and the thread that carries it out (bounded_call.h).
// Run() publishes each handle as it opens it; Cancel() closes whatever is open, which makes a
// blocked WinINet call return with an error. Every handle is closed exactly once, by whichever
// of the two takes it out of its slot first.
class CReportPost : public IBoundedJob {
 public:
  CReportPost(ReportTarget target, std::string body) : m_target(std::move(target)), m_body(std::move(body)) {}

  void Run() override {
    const bool sent = Send();
    CloseAll(TakeHandles(false), sent);
    std::lock_guard<std::mutex> lock(m_mutex);
    m_delivery = m_sending;
  }

  void Cancel() override { CloseAll(TakeHandles(true), false); }

  // What became of the POST, once Run() has returned.
  ReportDelivery Delivery() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_delivery;
  }

 private:
  // In the order they are opened.
  enum Slot { kSession, kConnection, kRequest };
  using Handles = std::array<HINTERNET, 3>;

  // The reverse of their opening, or (after a POST that was sent) the session first, then
  // connection and request: closing a parent handle has already invalidated its children,
  // which is harmless.
  static void CloseAll(Handles handles, bool sessionFirst) {
    if (!sessionFirst) std::reverse(handles.begin(), handles.end());
    for (HINTERNET handle : handles) {
      if (handle != nullptr) InternetCloseHandle(handle);
    }
  }

  // Takes the open handles out of their slots; a cancelling caller also keeps Publish from
  // filling them again.
  Handles TakeHandles(bool cancelling) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_cancelled = m_cancelled || cancelling;
    return std::exchange(m_open, Handles());
  }

  // Keeps a new handle where Cancel() finds it. False when there is none, or when the POST
  // was cancelled meanwhile (the handle is then closed at once).
  bool Publish(Slot slot, HINTERNET handle) {
    if (handle == nullptr) return false;
    std::unique_lock<std::mutex> lock(m_mutex);
    if (!m_cancelled) {
      m_open[slot] = handle;
      return true;
    }
    lock.unlock();
    InternetCloseHandle(handle);
    return false;
  }

  // A step failed: its error, for the record. One that gave up after the time-outs set on the
  // request did not get an answer in time, whatever code WinINet gives for it (12002 on
  // Windows, 12030 under Wine for a server that stays silent).
  bool Failed(ULONGLONG startedAt = 0) {
    m_sending.error = GetLastError();
    const bool late = startedAt != 0 && GetTickCount64() - startedAt >= kReportTimeoutMs;
    m_sending.outcome = m_sending.error == ERROR_INTERNET_TIMEOUT || late ? ReportDelivery::Outcome::kTimedOut
                                                                          : ReportDelivery::Outcome::kFailed;
    return false;
  }

  // The exchange up to the status line. The handles are used through local copies: one that
  // Cancel() has closed makes the call fail, nothing more.
  bool Send() {
    HINTERNET session = InternetOpenW(kReportAgent, INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
    if (!Publish(kSession, session)) return Failed();
    HINTERNET connection =
        InternetConnectW(session, m_target.host.c_str(), m_target.port, nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, 0);
    if (!Publish(kConnection, connection)) return Failed();
    const DWORD flags = kRequestFlags | (m_target.secure ? INTERNET_FLAG_SECURE : 0);
    HINTERNET request =
        HttpOpenRequestW(connection, L"POST", m_target.target.c_str(), nullptr, nullptr, nullptr, flags, 0);
    if (!Publish(kRequest, request)) return Failed();

    for (const wchar_t* line : kReportHeaders) {
      HttpAddRequestHeadersW(request, line, static_cast<DWORD>(-1), kAddOrReplace);
    }
    DWORD timeout = kReportTimeoutMs;
    InternetSetOptionW(request, INTERNET_OPTION_CONNECT_TIMEOUT, &timeout, sizeof timeout);
    InternetSetOptionW(request, INTERNET_OPTION_SEND_TIMEOUT, &timeout, sizeof timeout);
    // The wait for the answer is bounded as well: a server that accepts and stays silent
    // would otherwise hold the POST for the library's default of many seconds.
    InternetSetOptionW(request, INTERNET_OPTION_RECEIVE_TIMEOUT, &timeout, sizeof timeout);

    const ULONGLONG sendingAt = GetTickCount64();
    if (!HttpSendRequestW(request, nullptr, 0, const_cast<char*>(m_body.data()), static_cast<DWORD>(m_body.size()))) {
      return Failed(sendingAt);
    }
    DWORD status = 0;
    DWORD statusSize = sizeof status;
    // No status line came back (under Wine a connection reset at once can still let the send
    // succeed): the report did not arrive.
    if (!HttpQueryInfoW(request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &statusSize, nullptr) ||
        status == 0) {
      SetLastError(ERROR_HTTP_INVALID_SERVER_RESPONSE);
      return Failed();
    }
    // Any status but a redirection's, errors included, counts as sent.
    const bool redirected = status >= 300 && status <= 399;
    m_sending.outcome = redirected ? ReportDelivery::Outcome::kRedirected : ReportDelivery::Outcome::kAnswered;
    m_sending.status = status;
    return !redirected;
  }

  const ReportTarget m_target;
  const std::string m_body;  // UTF-8, owned: the thread may outlive the caller's string
  std::mutex m_mutex;
  Handles m_open{};
  bool m_cancelled = false;
  ReportDelivery m_sending;   // the run's own thread only, until Run() publishes it
  ReportDelivery m_delivery;  // under m_mutex
};

// What became of the POST: kAnswered only when the report was sent.
ReportDelivery Post(const std::wstring& url, const std::string& body) {
  ReportTarget target;
  // The built-in URL always splits; one that does not is a failure, not a request to nowhere.
  if (!SplitReportUrl(url, target)) return {ReportDelivery::Outcome::kFailed, 0, ERROR_INTERNET_INVALID_URL};
  auto post = std::make_shared<CReportPost>(std::move(target), AnsiToUtf8(body.c_str()));
  const BoundedRunResult run = RunWithDeadline(post, std::chrono::milliseconds(kReportDeadlineMs),
                                               std::chrono::milliseconds(kReportCancelGraceMs));
  const ReportDelivery delivery = post->Delivery();
  // An answer that came in the grace time still counts; any other outcome of a late POST is
  // its lateness.
  const bool sent = run != BoundedRunResult::kAbandoned && delivery.outcome == ReportDelivery::Outcome::kAnswered;
  return run == BoundedRunResult::kFinished || sent ? delivery
                                                    : ReportDelivery{ReportDelivery::Outcome::kTimedOut, 0, 0};
}

}  // namespace

bool SplitReportUrl(const std::wstring& url, ReportTarget& parts) {
  wchar_t host[kUrlPartUnits] = {};
  wchar_t target[kUrlPartUnits] = {};
  URL_COMPONENTSW cracked = {};
  cracked.dwStructSize = sizeof cracked;
  cracked.lpszHostName = host;
  cracked.dwHostNameLength = kUrlPartUnits;
  cracked.lpszUrlPath = target;  // the query is not asked for separately, so it stays here
  cracked.dwUrlPathLength = kUrlPartUnits;
  if (!InternetCrackUrlW(url.c_str(), static_cast<DWORD>(url.size()), 0, &cracked)) return false;
  const bool web = cracked.nScheme == INTERNET_SCHEME_HTTP || cracked.nScheme == INTERNET_SCHEME_HTTPS;
  if (!web || host[0] == L'\0') return false;
  // The port is the scheme's default when the URL names none.
  parts = {host, cracked.nPort, target, cracked.nScheme == INTERNET_SCHEME_HTTPS};
  return true;
}

const wchar_t* ReportUrl() { return ZR_REPORT_URL; }

int32_t UploadReport(const std::string& body, ReportDelivery* delivery) {
  return UploadReportTo(ReportUrl(), body, delivery);
}

// Only memory can run out in a post; the handles close on the way out and the caller sees -1.
int32_t UploadReportTo(const std::wstring& url, const std::string& body, ReportDelivery* asked) {
  ReportDelivery delivery;
  try {
    delivery = Post(url, body);
  } catch (const std::exception&) {
    delivery = {ReportDelivery::Outcome::kFailed, 0, ERROR_NOT_ENOUGH_MEMORY};
  }
  if (asked != nullptr) *asked = delivery;
  return delivery.outcome == ReportDelivery::Outcome::kAnswered ? 0 : -1;
}

}  // namespace zr
