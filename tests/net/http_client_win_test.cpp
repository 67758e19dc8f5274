// The report POST for real: WinINet under Wine against the project's loopback server
// (tools/report_server), which records every request it receives.
#include "net/http_client.h"

#include <windows.h>
#include <wininet.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "support/files_win.h"
#include "support/process_win.h"
#include "util/text.h"

namespace zr {
namespace {

using namespace test;  // the Windows test helpers of tests/support


// One report server process answering `status` in the given mode (see report_server_win.cpp),
// ended when the object goes.
class ReportServer {
 public:
  explicit ReportServer(int status, const std::wstring& mode = L"answer") {
    const std::wstring exe = BuildPath(ZR_REPORT_SERVER_EXE);
    std::wstring commandLine = Quoted(exe) + L" " + Quoted(m_records.path()) + L" " +
                               Quoted(m_records / L"port") + L" " + std::to_wstring(status) +
                               L" 60 " + Quoted(mode);
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    if (!CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, FALSE, CREATE_NO_WINDOW,
                        nullptr, nullptr, &startup, &m_process)) {
      return;
    }
    for (int i = 0; i < 200 && m_port == 0; ++i) {
      bool exists = false;
      const std::string text = ReadFileBytes(m_records / L"port", &exists);
      if (exists && !text.empty()) m_port = std::stoi(text);
      else Sleep(50);
    }
  }
  ~ReportServer() {
    if (m_process.hProcess != nullptr) {
      TerminateProcess(m_process.hProcess, 0);
      WaitForSingleObject(m_process.hProcess, 10000);
      CloseHandle(m_process.hThread);
      CloseHandle(m_process.hProcess);
    }
  }
  ReportServer(const ReportServer&) = delete;
  ReportServer& operator=(const ReportServer&) = delete;

  int port() const { return m_port; }
  std::wstring Url(const std::wstring& target) const {
    return L"http://127.0.0.1:" + std::to_wstring(m_port) + target;
  }
  // The n-th recorded request (from 1): header block and body; exists false if none.
  std::string Head(int n, bool* exists = nullptr) const { return ReadFileBytes(Name(n, L".head"), exists); }
  std::string Body(int n) const { return ReadFileBytes(Name(n, L".body")); }
  // Any other record of the n-th connection (".tls", ".closed"); exists false if none.
  std::string Record(int n, const wchar_t* suffix, bool* exists = nullptr) const {
    return ReadFileBytes(Name(n, suffix), exists);
  }

 private:
  std::wstring Name(int n, const wchar_t* suffix) const {
    wchar_t name[16];
    swprintf(name, 16, L"%03d", n);
    return m_records / (name + std::wstring(suffix));
  }

  TempDir m_records;
  PROCESS_INFORMATION m_process = {};
  int m_port = 0;
};

struct Request {
  std::string line;
  std::vector<std::pair<std::string, std::string>> headers;  // in the order received

  // Values of every header of that name (case-insensitive), in order.
  std::vector<std::string> Values(const std::string& name) const {
    std::vector<std::string> values;
    for (const auto& [n, v] : headers) {
      if (_stricmp(n.c_str(), name.c_str()) == 0) values.push_back(v);
    }
    return values;
  }
  int IndexOf(const std::string& name) const {
    for (std::size_t i = 0; i < headers.size(); ++i) {
      if (_stricmp(headers[i].first.c_str(), name.c_str()) == 0) return static_cast<int>(i);
    }
    return -1;
  }
};

Request ParseHead(const std::string& head) {
  Request request;
  std::size_t start = 0;
  bool first = true;
  while (start < head.size()) {
    const std::size_t end = head.find("\r\n", start);
    if (end == std::string::npos || end == start) break;
    const std::string line = head.substr(start, end - start);
    start = end + 2;
    if (first) {
      request.line = line;
      first = false;
      continue;
    }
    const std::size_t colon = line.find(':');
    std::string value = colon == std::string::npos ? "" : line.substr(colon + 1);
    while (!value.empty() && value.front() == ' ') value.erase(0, 1);
    request.headers.emplace_back(line.substr(0, colon), value);
  }
  return request;
}

const wchar_t kTarget[] = L"/log/info/uploadLog.go?type=2";

TEST(UploadReportTo, SendsTheReportRequest) {
  ReportServer server(200);
  ASSERT_NE(0, server.port());
  const std::string body = "U2FsdGVk%2BX1%2F%3D%0D%0AAbc";
  ASSERT_EQ(0, UploadReportTo(server.Url(kTarget), body));

  bool exists = false;
  const Request request = ParseHead(server.Head(1, &exists));
  ASSERT_TRUE(exists);
  EXPECT_EQ("POST /log/info/uploadLog.go?type=2 HTTP/1.1", request.line);
  EXPECT_EQ(std::vector<std::string>{"zh-cn"}, request.Values("Accept-Language"));
  EXPECT_EQ(std::vector<std::string>{"application/text;charset=UTF-8"},
            request.Values("Content-Type"));
  EXPECT_LT(request.IndexOf("Accept-Language"), request.IndexOf("Content-Type"));
  EXPECT_EQ(std::vector<std::string>{"127.0.0.1:" + std::to_string(server.port())},
            request.Values("Host"));
  EXPECT_EQ(std::vector<std::string>{WideToUtf8(kReportAgent)}, request.Values("User-Agent"));
  EXPECT_EQ(std::vector<std::string>{
                "User-Agent: Mozilla / 5.0 (Windows NT 10.0; WOW64; Trident / 7.0; rv:11.0) "
                "like Gecko"},
            request.Values("User-Agent"));
  EXPECT_EQ(std::vector<std::string>{std::to_string(body.size())},
            request.Values("Content-Length"));
  // "Expect:" removes the header. Wine still writes the name with an empty value, which is how
  // the line shows here that it was added (without it, no Expect line comes at all).
  EXPECT_EQ(std::vector<std::string>{""}, request.Values("Expect"));
  // Nothing else: no Referer, no Accept. Wine adds "Cache-Control: no-cache" of its own.
  std::vector<std::string> names;
  for (const auto& [name, value] : request.headers) {
    if (_stricmp(name.c_str(), "Expect") == 0) continue;
    if (_stricmp(name.c_str(), "Cache-Control") == 0 && value == "no-cache") continue;
    names.push_back(name);
  }
  std::sort(names.begin(), names.end());
  EXPECT_EQ((std::vector<std::string>{"Accept-Language", "Content-Length", "Content-Type", "Host",
                                      "User-Agent"}),
            names);
  EXPECT_EQ(body, server.Body(1));
  bool second = true;
  server.Head(2, &second);
  EXPECT_FALSE(second) << "exactly one request";
}

TEST(UploadReportTo, AnyStatusButARedirectionCountsAsSent) {
  for (const int status : {500, 404, 200}) {
    ReportServer server(status);
    ASSERT_NE(0, server.port());
    ReportDelivery delivery;
    EXPECT_EQ(0, UploadReportTo(server.Url(kTarget), "x", &delivery)) << status;
    EXPECT_EQ("x", server.Body(1)) << status;
    EXPECT_EQ(delivery.outcome, ReportDelivery::Outcome::kAnswered);
    EXPECT_EQ(delivery.status, static_cast<uint32_t>(status));
  }
}

// An endpoint that sends the report on to another server (on another port here) is not
// followed: nothing arrives there, and the report counts as not delivered.
TEST(UploadReportTo, DoesNotFollowARedirection) {
  for (const int status : {307, 301, 302, 303}) {
    ReportServer elsewhere(200);
    ASSERT_NE(0, elsewhere.port());
    ReportServer server(status, L"header:Location: " + elsewhere.Url(kTarget));
    ASSERT_NE(0, server.port());
    ReportDelivery delivery;
    EXPECT_EQ(-1, UploadReportTo(server.Url(kTarget), "x", &delivery)) << status;
    EXPECT_EQ(delivery.outcome, ReportDelivery::Outcome::kRedirected);
    EXPECT_EQ(delivery.status, static_cast<uint32_t>(status));
    EXPECT_EQ("x", server.Body(1)) << status;
    bool arrived = true;
    elsewhere.Head(1, &arrived);
    EXPECT_FALSE(arrived) << status << ": the report followed the redirection";
  }
}

// A cookie the endpoint sets is not kept: the next report goes out without it.
TEST(UploadReportTo, KeepsNoCookie) {
  ReportServer server(200, L"header:Set-Cookie: zr=1; Path=/");
  ASSERT_NE(0, server.port());
  ASSERT_EQ(0, UploadReportTo(server.Url(kTarget), "x"));
  ASSERT_EQ(0, UploadReportTo(server.Url(kTarget), "y"));
  EXPECT_EQ("y", server.Body(2));
  EXPECT_TRUE(ParseHead(server.Head(2)).Values("Cookie").empty());
}

TEST(UploadReportTo, EmptyBodyIsSentWithContentLengthZero) {
  ReportServer server(200);
  ASSERT_NE(0, server.port());
  ASSERT_EQ(0, UploadReportTo(server.Url(kTarget), ""));
  const Request request = ParseHead(server.Head(1));
  EXPECT_EQ("POST /log/info/uploadLog.go?type=2 HTTP/1.1", request.line);
  EXPECT_EQ(std::vector<std::string>{"0"}, request.Values("Content-Length"));
  EXPECT_EQ("", server.Body(1));
}

TEST(UploadReportTo, AnsiBodyGoesOutAsUtf8) {
  ASSERT_EQ(1252u, GetACP()) << "Wine's code page under LANG=C";
  ReportServer server(200);
  ASSERT_NE(0, server.port());
  ASSERT_EQ(0, UploadReportTo(server.Url(kTarget), "caf\xE9 \x80"));
  EXPECT_EQ("caf\xC3\xA9 \xE2\x82\xAC", server.Body(1));
  EXPECT_EQ(std::vector<std::string>{"9"}, ParseHead(server.Head(1)).Values("Content-Length"));
}

TEST(UploadReportTo, FailsWithoutAServer) {
  int port = 0;
  {
    // A port that was free a moment ago and has nobody listening now.
    ReportServer server(200);
    port = server.port();
  }
  ASSERT_NE(0, port);
  ReportDelivery delivery;
  EXPECT_EQ(-1, UploadReportTo(L"http://127.0.0.1:" + std::to_wstring(port) + kTarget, "x", &delivery));
  EXPECT_EQ(delivery.outcome, ReportDelivery::Outcome::kFailed);
  EXPECT_EQ(delivery.error, static_cast<uint32_t>(ERROR_INTERNET_CANNOT_CONNECT));
}

TEST(UploadReportTo, FailsForAUrlThatDoesNotSplit) {
  EXPECT_EQ(-1, UploadReportTo(L"not a url", "x"));
  EXPECT_EQ(-1, UploadReportTo(L"ftp://127.0.0.1/log/info/uploadLog.go?type=2", "x"));
  EXPECT_EQ(-1, UploadReportTo(L"http://" + std::wstring(600, L'h') + L".example/x", "x"));
}

// An endpoint in trouble costs the POST its deadline at most, and the report is dropped: the
// request went out each time (or the connection was made), and the call failed. A trickle of
// one byte every 300 ms would deliver the status line after about 20 s, and each byte comes
// well within the receive time-out: only the overall deadline ends that POST.
TEST(UploadReportTo, DropsTheReportWhenTheEndpointIsInTrouble) {
  struct Case {
    const wchar_t* mode;
    const wchar_t* record;  // what the server keeps of the connection
    ReportDelivery::Outcome outcome;
  };
  const Case cases[] = {
      {L"silent", L".head", ReportDelivery::Outcome::kTimedOut},
      {L"trickle:300", L".head", ReportDelivery::Outcome::kTimedOut},
      {L"close", L".closed", ReportDelivery::Outcome::kFailed},
  };
  for (const Case& c : cases) {
    ReportServer server(200, c.mode);
    ASSERT_NE(0, server.port());
    ReportDelivery delivery;
    EXPECT_EQ(-1, UploadReportTo(server.Url(kTarget), "x", &delivery)) << WideToUtf8(c.mode);
    EXPECT_EQ(delivery.outcome, c.outcome) << WideToUtf8(c.mode) << ", error " << delivery.error << ", status " << delivery.status;
    bool exists = false;
    server.Record(1, c.record, &exists);
    EXPECT_TRUE(exists) << WideToUtf8(c.mode);
  }
}

TEST(SplitReportUrl, TakesHttpAndHttpsOnly) {
  struct Case {
    const wchar_t* url;
    bool splits;
    const wchar_t* host;
    uint16_t port;
    const wchar_t* target;
    bool secure;
  };
  const Case cases[] = {
      {L"http://stats.example.com/log/info/uploadLog.go?type=2", true, L"stats.example.com", 80,
       L"/log/info/uploadLog.go?type=2", false},
      {L"https://stats.example.com/log/info/uploadLog.go?type=2", true, L"stats.example.com",
       443, L"/log/info/uploadLog.go?type=2", true},
      {L"https://127.0.0.1:8443/x?y=1", true, L"127.0.0.1", 8443, L"/x?y=1", true},
      {L"HTTPS://Stats.Example.com/x", true, L"Stats.Example.com", 443, L"/x", true},
      {L"http://h:8080/", true, L"h", 8080, L"/", false},
      {L"ftp://stats.example.com/log", false, L"", 0, L"", false},
      {L"file:///C:/log.txt", false, L"", 0, L"", false},
      {L"not a url", false, L"", 0, L"", false},
  };
  for (const Case& c : cases) {
    ReportTarget parts;
    ASSERT_EQ(c.splits, SplitReportUrl(c.url, parts)) << WideToUtf8(c.url);
    if (!c.splits) continue;
    EXPECT_EQ(c.host, parts.host) << WideToUtf8(c.url);
    EXPECT_EQ(c.port, parts.port) << WideToUtf8(c.url);
    EXPECT_EQ(c.target, parts.target) << WideToUtf8(c.url);
    EXPECT_EQ(c.secure, parts.secure) << WideToUtf8(c.url);
  }
}

// An https URL goes over TLS: the loopback server, which speaks plain HTTP, sees a TLS
// handshake instead of a request line, and the POST fails.
TEST(UploadReportTo, HttpsStartsATlsHandshake) {
  ReportServer server(200);
  ASSERT_NE(0, server.port());
  const std::wstring url = L"https://127.0.0.1:" + std::to_wstring(server.port()) + kTarget;
  EXPECT_EQ(-1, UploadReportTo(url, "x"));
  bool tls = false, plain = true;
  const std::string hello = server.Record(1, L".tls", &tls);
  server.Head(1, &plain);
  ASSERT_TRUE(tls);
  EXPECT_FALSE(plain);
  ASSERT_GE(hello.size(), 6u);
  EXPECT_EQ('\x16', hello[0]);  // handshake record
  EXPECT_EQ('\x03', hello[1]);
  EXPECT_EQ('\x01', hello[5]);  // ClientHello
}

// UploadReport takes the built-in URL and the system's proxy settings. A probe process started
// with http_proxy naming the loopback server (Wine reads it when a program starts) posts
// through it, and the server sees the request for the built-in URL.
TEST(UploadReport, PostsTheBuiltInUrlThroughThePreconfiguredProxy) {
  ReportServer server(200);
  ASSERT_NE(0, server.port());
  TempDir work;
  ASSERT_TRUE(WriteFileBytes(work / L"body", "payload%3D"));
  const std::wstring proxy = L"http://127.0.0.1:" + std::to_wstring(server.port());
  ASSERT_TRUE(SetEnvironmentVariableW(L"http_proxy", proxy.c_str()));
  const long exitCode = RunToEnd(Quoted(BuildPath(ZR_REPORT_PROBE_EXE)) +
                                          L" upload " + Quoted(work / L"body") + L" " +
                                          Quoted(work / L"result"));
  SetEnvironmentVariableW(L"http_proxy", nullptr);
  ASSERT_EQ(0, exitCode);
  EXPECT_EQ("0", ReadFileBytes(work / L"result"));

  const std::string url = WideToUtf8(ReportUrl());
  const std::size_t hostStart = url.find("://") + 3;
  const std::string host = url.substr(hostStart, url.find('/', hostStart) - hostStart);
  const Request request = ParseHead(server.Head(1));
  EXPECT_EQ(0u, request.line.find("POST http://" + host)) << request.line;
  const std::string tail = "/log/info/uploadLog.go?type=2 HTTP/1.1";
  EXPECT_EQ(request.line.size() - tail.size(), request.line.rfind(tail)) << request.line;
  EXPECT_EQ(std::vector<std::string>{host}, request.Values("Host"));
  EXPECT_EQ(std::vector<std::string>{WideToUtf8(kReportAgent)}, request.Values("User-Agent"));
  EXPECT_EQ("payload%3D", server.Body(1));
}

}  // namespace
}  // namespace zr
