#pragma once
// A raw HTTP/1.1 client for tests of the server through a real socket on
// 127.0.0.1.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <array>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <map>
#include <sstream>
#include <string>
#include <string_view>
#include <utility>

namespace kelvane::test {

using namespace std::chrono_literals;

struct Response {
  int status = 0;  // 0: the connection closed before a whole header block came
  std::map<std::string, std::string> headers;  // names in lower case
  std::string body;

  std::string Header(const std::string& name) const {
    const auto found = headers.find(name);
    return found == headers.end() ? std::string() : found->second;
  }
};

// A client that sends raw bytes and reads raw responses. Every socket call has
// a timeout, so a test fails instead of hanging.
class Client {
 public:
  // From `source`, a loopback address other than 127.0.0.1 if need be.
  explicit Client(std::uint16_t port, std::chrono::milliseconds timeout = 3s,
                  const char* source = "127.0.0.1")
      : fd_(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
    const timeval limit{static_cast<time_t>(timeout.count() / 1000),
                        static_cast<suseconds_t>(timeout.count() % 1000 * 1000)};
    ::setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    ::setsockopt(fd_, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    ::inet_pton(AF_INET, source, &address.sin_addr);
    ::bind(fd_, reinterpret_cast<const sockaddr*>(&address), sizeof address);
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    connected_ = ::connect(fd_, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
  }
  ~Client() {
    if (fd_ >= 0) ::close(fd_);
  }
  Client(const Client&) = delete;
  Client& operator=(const Client&) = delete;

  bool Connected() const { return connected_; }

  // False when the peer stopped taking bytes.
  bool Send(std::string_view bytes) {
    while (!bytes.empty()) {
      const ssize_t sent = ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
      if (sent <= 0) return false;
      bytes.remove_prefix(static_cast<std::size_t>(sent));
    }
    return true;
  }

  // Reads one response; `head` when it answers a HEAD request (no body).
  Response Read(bool head = false) {
    Response response;
    std::size_t end;
    while ((end = buffer_.find("\r\n\r\n")) == std::string::npos)
      if (!Fill()) return response;
    std::istringstream lines(buffer_.substr(0, end + 2));
    buffer_.erase(0, end + 4);
    std::string line;
    std::getline(lines, line);
    if (line.rfind("HTTP/1.", 0) != 0 || line.size() < 12) return response;
    response.status = std::stoi(line.substr(9, 3));
    while (std::getline(lines, line) && line != "\r") {
      const auto colon = line.find(':');
      std::string name = line.substr(0, colon);
      for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
      const auto start = line.find_first_not_of(' ', colon + 1);
      response.headers[name] = line.substr(start, line.size() - 1 - start);
    }
    if (head) return response;
    if (const auto length = response.Header("content-length"); !length.empty()) {
      const std::size_t size = std::stoul(length);
      while (buffer_.size() < size)
        if (!Fill()) break;
      response.body = buffer_.substr(0, size);
      buffer_.erase(0, response.body.size());
    } else {
      // Until the server closes, within reason: no reply expected here is
      // longer, and one that never ends must not hold the test.
      while (buffer_.size() < (1 << 20) && Fill()) {
      }
      response.body = std::exchange(buffer_, {});
    }
    return response;
  }

  // True when the server closes the connection within the timeout.
  bool ClosedByServer() {
    std::array<char, 256> chunk{};
    for (;;) {
      const ssize_t got = ::recv(fd_, chunk.data(), chunk.size(), 0);
      if (got == 0 || (got < 0 && errno == ECONNRESET)) return true;
      if (got < 0) return false;
    }
  }

  // Reads what has arrived, up to `bytes`.
  std::size_t Receive(std::size_t bytes) {
    std::string chunk(bytes, '\0');
    const ssize_t got = ::recv(fd_, chunk.data(), chunk.size(), 0);
    return got > 0 ? static_cast<std::size_t>(got) : 0;
  }

 private:
  bool Fill() {
    std::array<char, 65536> chunk{};
    const ssize_t got = ::recv(fd_, chunk.data(), chunk.size(), 0);
    if (got <= 0) return false;
    buffer_.append(chunk.data(), static_cast<std::size_t>(got));
    return true;
  }

  int fd_;
  bool connected_ = false;
  std::string buffer_;
};

inline std::string Request(std::string_view method, std::string_view target,
                    std::string_view extraHeaders = "", std::string_view body = "") {
  std::string text(method);
  text += ' ';
  text += target;
  text += " HTTP/1.1\r\nHost: localhost\r\nConnection: close\r\n";
  text += extraHeaders;
  text += "\r\n";
  text += body;
  return text;
}

}  // namespace kelvane::test
