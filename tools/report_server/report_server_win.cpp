// report_server.exe RECORD_DIR PORT_FILE STATUS [IDLE_SECONDS [MODE]]
//
// A loopback HTTP server that stands in for the report endpoint. It listens on 127.0.0.1 at a
// port the system picks and writes that port, in decimal, to PORT_FILE (complete when it
// appears). Each request, one per connection, is recorded as RECORD_DIR\NNN.body (the body
// bytes, after Content-Length) and then RECORD_DIR\NNN.head (the request line and header lines
// exactly as received, up to and including the blank line), numbered from 001; both are
// complete before the answer goes out. The answer is "HTTP/1.1 STATUS" with an empty body.
// A connection that opens with a TLS handshake record instead is recorded as RECORD_DIR\NNN.tls
// (the bytes of its first read) and closed.
//
// MODE is how the server behaves towards the report, as endpoints in trouble do:
//   answer       answers at once (the default)
//   silent       records the request and never answers; the connection stays open until the
//                client closes it (or IDLE_SECONDS pass)
//   trickle[:MS] records the request and sends the answer one byte every MS milliseconds
//                (default 1000)
//   close        resets every connection as soon as it is accepted, reading nothing, and
//                records RECORD_DIR\NNN.closed (empty)
//   header:LINE  answers at once with the header line LINE added (e.g. "Location: URL" for a
//                redirection, "Set-Cookie: ..." for a cookie)
// The server runs until it is ended, or after IDLE_SECONDS (default 120) without a connection.
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

class Socket {
 public:
  explicit Socket(SOCKET s) : m_s(s) {}
  Socket(const Socket&) = delete;
  Socket& operator=(const Socket&) = delete;
  ~Socket() {
    if (m_s != INVALID_SOCKET) closesocket(m_s);
  }
  SOCKET get() const { return m_s; }
  bool valid() const { return m_s != INVALID_SOCKET; }

 private:
  SOCKET m_s;
};

bool WriteFileAtomically(const std::wstring& path, const std::string& bytes) {
  const std::wstring part = path + L".part";
  HANDLE file = CreateFileW(part.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  const BOOL ok = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  CloseHandle(file);
  return ok && written == bytes.size() && MoveFileExW(part.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING);
}

std::string Lower(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

// The Content-Length of a header block, 0 when absent.
std::size_t ContentLength(const std::string& head) {
  const std::string lower = Lower(head);
  const std::size_t pos = lower.find("\r\ncontent-length:");
  if (pos == std::string::npos) return 0;
  return static_cast<std::size_t>(std::strtoull(lower.c_str() + pos + 17, nullptr, 10));
}

enum class Received { kNothing, kHttp, kTls };

// Reads one request: the header block and then the body it announces. A first read that
// starts a TLS handshake record (0x16, version 3.x) is returned as it came, in head.
Received ReadRequest(SOCKET s, std::string& head, std::string& body) {
  std::string data;
  char buffer[4096];
  std::size_t headEnd = std::string::npos;
  while (headEnd == std::string::npos) {
    const int n = recv(s, buffer, sizeof buffer, 0);
    if (n <= 0) return Received::kNothing;
    data.append(buffer, static_cast<std::size_t>(n));
    if (data.size() >= 2 && data[0] == '\x16' && data[1] == '\x03') {
      head = data;
      return Received::kTls;
    }
    headEnd = data.find("\r\n\r\n");
  }
  head = data.substr(0, headEnd + 4);
  body = data.substr(headEnd + 4);
  const std::size_t length = ContentLength(head);
  while (body.size() < length) {
    const int n = recv(s, buffer, sizeof buffer, 0);
    if (n <= 0) return Received::kNothing;
    body.append(buffer, static_cast<std::size_t>(n));
  }
  return Received::kHttp;
}

// Waits until the client closes the connection (or sends more), at most `seconds`.
void WaitForClientToLeave(SOCKET s, int seconds) {
  fd_set readable;
  FD_ZERO(&readable);
  FD_SET(s, &readable);
  timeval limit = {seconds, 0};
  select(0, &readable, nullptr, nullptr, &limit);
}

void SendAll(SOCKET s, const std::string& bytes) {
  std::size_t sent = 0;
  while (sent < bytes.size()) {
    const int n = send(s, bytes.data() + sent, static_cast<int>(bytes.size() - sent), 0);
    if (n <= 0) return;
    sent += static_cast<std::size_t>(n);
  }
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 4) {
    std::fputs("usage: report_server RECORD_DIR PORT_FILE STATUS [IDLE_SECONDS [MODE]]\n", stderr);
    return 2;
  }
  const std::wstring recordDir = argv[1];
  const std::wstring portFile = argv[2];
  const int status = _wtoi(argv[3]);
  const int idleSeconds = argc > 4 ? _wtoi(argv[4]) : 120;
  const std::wstring mode = argc > 5 ? argv[5] : L"answer";
  DWORD trickleMs = 0;  // 0: the answer goes out whole
  std::string extraHeader;
  if (mode == L"trickle") {
    trickleMs = 1000;
  } else if (mode.rfind(L"trickle:", 0) == 0) {
    trickleMs = static_cast<DWORD>(_wtoi(mode.c_str() + 8));
  } else if (mode.rfind(L"header:", 0) == 0) {
    for (const wchar_t c : mode.substr(7)) extraHeader += static_cast<char>(c);  // ASCII
    extraHeader += "\r\n";
  } else if (mode != L"answer" && mode != L"silent" && mode != L"close") {
    std::fputs("MODE: answer, silent, trickle[:MS], close or header:LINE\n", stderr);
    return 2;
  }

  WSADATA wsa;
  if (WSAStartup(MAKEWORD(2, 2), &wsa) != 0) return 3;
  Socket listener(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
  sockaddr_in address = {};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = 0;
  int addressSize = sizeof address;
  if (!listener.valid() || bind(listener.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      listen(listener.get(), 16) != 0 ||
      getsockname(listener.get(), reinterpret_cast<sockaddr*>(&address), &addressSize) != 0) {
    return 4;
  }
  if (!WriteFileAtomically(portFile, std::to_string(ntohs(address.sin_port)))) return 5;

  const std::string answer = "HTTP/1.1 " + std::to_string(status) + " Recorded\r\n" + extraHeader +
                             "Content-Length: 0\r\nConnection: close\r\n\r\n";
  for (int number = 1;; ++number) {
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(listener.get(), &readable);
    timeval idle = {idleSeconds, 0};
    if (select(0, &readable, nullptr, nullptr, &idle) <= 0) break;
    Socket client(accept(listener.get(), nullptr, nullptr));
    if (!client.valid()) continue;
    wchar_t name[16];
    swprintf(name, 16, L"\\%03d", number);
    if (mode == L"close") {
      WriteFileAtomically(recordDir + name + L".closed", "");
      // An abortive close (a reset), whether or not the request has arrived yet: a plain
      // close would send a reset or an orderly end depending on that race.
      const linger abort = {1, 0};
      setsockopt(client.get(), SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&abort), sizeof abort);
      continue;  // the socket closes here, nothing read
    }
    DWORD timeoutMs = 5000;
    setsockopt(client.get(), SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeoutMs), sizeof timeoutMs);
    std::string head, body;
    const Received received = ReadRequest(client.get(), head, body);
    if (received == Received::kNothing) {
      --number;  // a probe that connected and left records nothing
      continue;
    }
    if (received == Received::kTls) {
      WriteFileAtomically(recordDir + name + L".tls", head);
      continue;
    }
    WriteFileAtomically(recordDir + name + L".body", body);
    WriteFileAtomically(recordDir + name + L".head", head);
    if (mode == L"silent") {
      WaitForClientToLeave(client.get(), idleSeconds);
      continue;
    }
    if (trickleMs == 0) {
      SendAll(client.get(), answer);
    } else {
      for (const char byte : answer) {
        if (send(client.get(), &byte, 1, 0) != 1) break;
        Sleep(trickleMs);
      }
    }
    shutdown(client.get(), SD_SEND);
  }
  WSACleanup();
  return 0;
}
