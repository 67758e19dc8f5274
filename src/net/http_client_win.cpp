// The report POST over WinINet.
#include <windows.h>
#include <wininet.h>

#include <exception>

#include "build_config.h"
#include "net/http_client.h"
#include "util/text.h"

namespace zr {

namespace {

constexpr DWORD kUrlPartUnits = 512;
constexpr DWORD kAddOrReplace = HTTP_ADDREQ_FLAG_ADD | HTTP_ADDREQ_FLAG_REPLACE;

// The shipped 32-bit updater hands WinINet the 60-byte URL components record.
static_assert(sizeof(void*) != 4 || sizeof(URL_COMPONENTSW) == 60, "URL_COMPONENTSW layout");

// Header lines added to every report request, in this order.
constexpr const wchar_t* kReportHeaders[] = {
    L"Accept-Language: zh-cn",
    L"Content-Type:application/text;charset=UTF-8",
    L"Expect:",  // an empty value removes the header
};

// Owns one WinINet handle. Close() lets the caller choose the order in which handles go.
class InetHandle {
 public:
  explicit InetHandle(HINTERNET handle) : handle_(handle) {}
  InetHandle(const InetHandle&) = delete;
  InetHandle& operator=(const InetHandle&) = delete;
  ~InetHandle() { Close(); }
  explicit operator bool() const { return handle_ != nullptr; }
  HINTERNET get() const { return handle_; }
  void Close() {
    if (handle_ != nullptr) InternetCloseHandle(handle_);
    handle_ = nullptr;
  }

 private:
  HINTERNET handle_;
};

int32_t Post(const std::wstring& url, const std::string& body) {
  wchar_t host[kUrlPartUnits] = {};
  wchar_t target[kUrlPartUnits] = {};
  URL_COMPONENTSW parts = {};
  parts.dwStructSize = sizeof parts;
  parts.lpszHostName = host;
  parts.dwHostNameLength = kUrlPartUnits;
  parts.lpszUrlPath = target;  // the query is not asked for separately, so it stays here
  parts.dwUrlPathLength = kUrlPartUnits;
  // The built-in URL always splits; a URL that does not (a host or path too long for its
  // buffer, a configuration mistake) is a failure rather than a request to nowhere.
  if (!InternetCrackUrlW(url.c_str(), static_cast<DWORD>(url.size()), 0, &parts)) return -1;

  InetHandle session(
      InternetOpenW(kReportAgent, INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
  if (!session) return -1;
  InetHandle connection(InternetConnectW(session.get(), host, parts.nPort, nullptr, nullptr,
                                         INTERNET_SERVICE_HTTP, 0, 0));
  if (!connection) return -1;  // the session closes on the way out
  InetHandle request(HttpOpenRequestW(connection.get(), L"POST", target, nullptr, nullptr,
                                      nullptr, INTERNET_FLAG_NO_CACHE_WRITE, 0));
  if (!request) return -1;  // connection, then session

  for (const wchar_t* line : kReportHeaders) {
    HttpAddRequestHeadersW(request.get(), line, static_cast<DWORD>(-1), kAddOrReplace);
  }
  DWORD timeout = kReportTimeoutMs;
  InternetSetOptionW(request.get(), INTERNET_OPTION_CONNECT_TIMEOUT, &timeout, sizeof timeout);
  InternetSetOptionW(request.get(), INTERNET_OPTION_SEND_TIMEOUT, &timeout, sizeof timeout);

  const std::string utf8 = AnsiToUtf8(body.c_str());
  if (!HttpSendRequestW(request.get(), nullptr, 0, const_cast<char*>(utf8.data()),
                        static_cast<DWORD>(utf8.size()))) {
    return -1;  // request, connection, session: the reverse of their opening
  }

  DWORD status = 0;
  DWORD statusSize = sizeof status;
  HttpQueryInfoW(request.get(), HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status,
                 &statusSize, nullptr);
  // Any status counts as sent. The handles go session first, then connection and request;
  // closing a parent handle has already invalidated its children, which is harmless.
  session.Close();
  connection.Close();
  request.Close();
  return 0;
}

}  // namespace

const wchar_t* ReportUrl() { return ZR_REPORT_URL; }

// Only memory can run out in a post; the handles close on the way out and the caller sees -1.
int32_t UploadReport(const std::string& body) {
  try {
    return Post(ReportUrl(), body);
  } catch (const std::exception&) {
    return -1;
  }
}

int32_t UploadReportTo(const std::wstring& url, const std::string& body) {
  try {
    return Post(url, body);
  } catch (const std::exception&) {
    return -1;
  }
}

}  // namespace zr
