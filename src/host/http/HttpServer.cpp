#include "host/http/HttpServer.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <linux/filter.h>
#include <microhttpd.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <condition_variable>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <limits>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "host/http/HeaderDeadlines.h"
#include "host/http/MessageThrottle.h"
#include "host/http/PageFailures.h"
#include "host/http/ServerMetrics.h"
#include "host/pages/SiteFiles.h"
#include "host/http/WorkerPool.h"

namespace kelvane::host {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

// Longest request line and header line, without CRLF; more headers than
// kMaxHeaders, or a longer header line, get 431.
constexpr std::size_t kMaxLine = 8 * 1024;
constexpr int kMaxHeaders = 100;
// Each connection's memory pool holds its read buffer and parsed header block.
constexpr std::size_t kConnectionMemory = 64 * 1024;
// The time for a header block while more than half of the connections
// allowed wait for theirs.
constexpr auto kCrowdedHeaderTime = std::chrono::seconds(2);

// How long past the engine's time limit a page may take before its client is
// answered 500 and its worker given up: room for the engine to stop the page
// itself and clean up after it.
constexpr auto kPageGrace = std::chrono::seconds(1);

constexpr std::string_view kAllowed = "GET, HEAD, POST";
constexpr std::string_view kAllowedForFiles = "GET, HEAD";

constexpr std::array<std::pair<std::string_view, std::string_view>, 13> kContentTypes{{
    {".html", "text/html; charset=utf-8"},
    {".htm", "text/html; charset=utf-8"},
    {".css", "text/css; charset=utf-8"},
    {".js", "text/javascript; charset=utf-8"},
    {".json", "application/json"},
    {".png", "image/png"},
    {".jpg", "image/jpeg"},
    {".jpeg", "image/jpeg"},
    {".gif", "image/gif"},
    {".bmp", "image/bmp"},
    {".svg", "image/svg+xml"},
    {".ico", "image/vnd.microsoft.icon"},
    {".txt", "text/plain; charset=utf-8"},
}};

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  return std::ranges::equal(a, b, [](char x, char y) { return Lower(x) == Lower(y); });
}

std::string_view Trimmed(std::string_view text) {
  const auto first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool IsToken(std::string_view name) {
  constexpr std::string_view kSymbols = "!#$%&'*+-.^_`|~";
  return !name.empty() && std::ranges::all_of(name, [&](char c) {
    return (c >= '0' && c <= '9') || (Lower(c) >= 'a' && Lower(c) <= 'z') ||
           kSymbols.find(c) != std::string_view::npos;
  });
}

// Header names and values a page may add to its reply: a token, and a value
// without CR, LF or NUL. The body's framing is the server's.
bool IsPageHeader(std::string_view name, std::string_view value) {
  return IsToken(name) &&
         value.find_first_of(std::string_view("\r\n\0", 3)) == std::string_view::npos &&
         !EqualsIgnoringCase(name, "Content-Length") &&
         !EqualsIgnoringCase(name, "Transfer-Encoding");
}

// True for a request target that a lenient parser took in with a space or a
// control byte.
bool HasSpaceOrControl(std::string_view target) {
  return std::ranges::any_of(target, [](char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte <= 0x20 || byte == 0x7f;
  });
}

int SocketOf(MHD_Connection* connection) {
  const auto* info = MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CONNECTION_FD);
  return info != nullptr ? info->connect_fd : -1;
}

// The port of an IPv4 or IPv6 address, and its text in `*text` when that
// is not null; 0 and nothing for another kind.
std::uint16_t PortAndText(const sockaddr* address, std::string* text) {
  std::array<char, INET6_ADDRSTRLEN> buffer{};
  const void* bytes = nullptr;
  std::uint16_t port = 0;
  if (address->sa_family == AF_INET) {
    const auto* v4 = reinterpret_cast<const sockaddr_in*>(address);
    bytes = &v4->sin_addr;
    port = ntohs(v4->sin_port);
  } else if (address->sa_family == AF_INET6) {
    const auto* v6 = reinterpret_cast<const sockaddr_in6*>(address);
    bytes = &v6->sin6_addr;
    port = ntohs(v6->sin6_port);
  }
  if (bytes != nullptr && text != nullptr && inet_ntop(address->sa_family, bytes, buffer.data(), buffer.size()))
    *text = buffer.data();
  return port;
}

std::string RemoteAddress(MHD_Connection* connection) {
  const auto* info = MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CLIENT_ADDRESS);
  std::string text;
  if (info != nullptr && info->client_addr != nullptr) PortAndText(info->client_addr, &text);
  return text;
}

// Every value of the header `name`, joined by commas as one value.
std::string JoinedHeader(MHD_Connection* connection, std::string_view name) {
  struct Search {
    std::string_view name;
    std::string values;
  } search{name, {}};
  MHD_get_connection_values_n(
      connection, MHD_HEADER_KIND,
      [](void* cls, MHD_ValueKind, const char* key, std::size_t keySize, const char* value,
         std::size_t valueSize) {
        auto& s = *static_cast<Search*>(cls);
        if (value != nullptr && EqualsIgnoringCase(std::string_view(key, keySize), s.name))
          (s.values.empty() ? s.values : s.values += ',').append(value, valueSize);
        return MHD_YES;
      },
      &search);
  return std::move(search.values);
}

// True when the last value of X-Forwarded-Proto, that of the proxy nearest
// the server, is https.
bool SaysHttps(std::string_view forwardedProto) {
  return EqualsIgnoringCase(Trimmed(forwardedProto.substr(forwardedProto.rfind(',') + 1)), "https");
}

// The port the visitor asked a trusted proxy for: the last value of
// X-Forwarded-Port, else the port of the Host it named, else that of its
// scheme.
std::uint16_t ForwardedPort(std::string_view forwardedPort, std::string_view host, bool secure) {
  std::uint16_t port = 0;
  const auto parse = [&port](std::string_view digits) {
    digits = Trimmed(digits);
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), port);
    return !digits.empty() && error == std::errc() && end == digits.data() + digits.size();
  };
  if (!forwardedPort.empty() && parse(forwardedPort.substr(forwardedPort.rfind(',') + 1))) return port;
  const std::size_t colon = host.rfind(':');
  if (colon != std::string_view::npos && host.find(']', colon) == std::string_view::npos &&
      parse(host.substr(colon + 1)))
    return port;
  return secure ? 443 : 80;
}

// The two ends of a connection: the server's address and port, and the
// client's port; empty and 0 when the system does not tell.
struct Endpoints {
  std::string localAddress;
  std::uint16_t localPort = 0;
  std::uint16_t remotePort = 0;

  static Endpoints Of(int socket) {
    Endpoints endpoints;
    sockaddr_storage address{};
    auto* any = reinterpret_cast<sockaddr*>(&address);
    socklen_t size = sizeof address;
    if (::getsockname(socket, any, &size) == 0) endpoints.localPort = PortAndText(any, &endpoints.localAddress);
    size = sizeof address;
    if (::getpeername(socket, any, &size) == 0) endpoints.remotePort = PortAndText(any, nullptr);
    return endpoints;
  }
};

Fields RequestHeaders(MHD_Connection* connection) {
  Fields headers;
  MHD_get_connection_values_n(
      connection, MHD_HEADER_KIND,
      [](void* cls, MHD_ValueKind, const char* key, std::size_t keySize, const char* value,
         std::size_t valueSize) {
        static_cast<Fields*>(cls)->emplace_back(std::string(key, keySize),
                                                value ? std::string(value, valueSize) : "");
        return MHD_YES;
      },
      &headers);
  return headers;
}

// What the request's header block says about its framing and size.
struct HeaderScan {
  int count = 0;
  bool longLine = false;
  bool badName = false;  // not a token, as "Transfer-Encoding : chunked" has
  bool bareCR = false;   // in a value (the library cuts a value at a NUL, and
                         // refuses a name with one)
  int hosts = 0;
  int contentLengths = 0;
  std::uint64_t contentLength = 0;  // the largest value when it overflows
  int transferEncodings = 0;
  bool chunked = false;

  static HeaderScan Of(MHD_Connection* connection) {
    HeaderScan scan;
    MHD_get_connection_values_n(
        connection, MHD_HEADER_KIND,
        [](void* cls, MHD_ValueKind, const char* key, std::size_t keySize, const char* value,
           std::size_t valueSize) {
          auto& s = *static_cast<HeaderScan*>(cls);
          const std::string_view name(key, keySize);
          const std::string_view text = value ? std::string_view(value, valueSize) : "";
          ++s.count;
          s.longLine = s.longLine || keySize + 2 + valueSize > kMaxLine;
          s.badName = s.badName || !IsToken(name);
          s.bareCR = s.bareCR || text.find('\r') != std::string_view::npos;
          if (EqualsIgnoringCase(name, "Host")) {
            ++s.hosts;
          } else if (EqualsIgnoringCase(name, "Content-Length")) {
            // The library has refused a value that is not a number.
            ++s.contentLengths;
            const auto digits = Trimmed(text);
            if (std::from_chars(digits.data(), digits.data() + digits.size(), s.contentLength).ec ==
                std::errc::result_out_of_range)
              s.contentLength = std::numeric_limits<std::uint64_t>::max();
          } else if (EqualsIgnoringCase(name, "Transfer-Encoding")) {
            ++s.transferEncodings;
            s.chunked = EqualsIgnoringCase(Trimmed(text), "chunked");
          }
          return MHD_YES;
        },
        &scan);
    return scan;
  }
};

struct UniqueFd {
  explicit UniqueFd(int descriptor) : fd(descriptor) {}
  ~UniqueFd() {
    if (fd >= 0) ::close(fd);
  }
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;
  int release() { return std::exchange(fd, -1); }
  int fd;
};

struct ResponseDestroy {
  void operator()(MHD_Response* response) const { MHD_destroy_response(response); }
};
using UniqueResponse = std::unique_ptr<MHD_Response, ResponseDestroy>;

// A response whose body is `body`, owned by the response and freed with it.
UniqueResponse ResponseFrom(std::string body) {
  auto owned = std::make_unique<std::string>(std::move(body));
  UniqueResponse response(MHD_create_response_from_buffer_with_free_callback_cls(
      owned->size(), owned->data(),
      [](void* cls) { const std::unique_ptr<std::string> freed(static_cast<std::string*>(cls)); },
      owned.get()));
  if (response) owned.release();
  return response;
}

// The listening address in the form the library binds.
struct ListenAddress {
  sockaddr_storage storage{};
  bool v6 = false;

  static std::optional<ListenAddress> Parse(std::string_view text, std::uint16_t port) {
    ListenAddress address;
    const std::string literal(text);
    auto& v4 = reinterpret_cast<sockaddr_in&>(address.storage);
    if (inet_pton(AF_INET, literal.c_str(), &v4.sin_addr) == 1) {
      v4.sin_family = AF_INET;
      v4.sin_port = htons(port);
      return address;
    }
    const std::string bare = text.size() > 2 && text.front() == '[' && text.back() == ']'
                                 ? literal.substr(1, literal.size() - 2)
                                 : literal;
    auto& v6 = reinterpret_cast<sockaddr_in6&>(address.storage);
    if (inet_pton(AF_INET6, bare.c_str(), &v6.sin6_addr) == 1) {
      v6.sin6_family = AF_INET6;
      v6.sin6_port = htons(port);
      address.v6 = true;
      return address;
    }
    return std::nullopt;
  }
};

}  // namespace

std::optional<std::string> SitePath(std::string_view raw) {
  if (raw.empty() || raw.front() != '/') return std::nullopt;
  std::string decoded;
  decoded.reserve(raw.size());
  for (std::size_t i = 0; i < raw.size(); ++i) {
    char c = raw[i];
    if (c == '%') {
      const int high = i + 2 < raw.size() ? HexDigit(raw[i + 1]) : -1;
      const int low = high >= 0 ? HexDigit(raw[i + 2]) : -1;
      if (low < 0) return std::nullopt;
      c = static_cast<char>(high * 16 + low);
      i += 2;
    }
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7f || c == '\\') return std::nullopt;
    decoded += c;
  }
  std::vector<std::string_view> segments;
  for (std::size_t start = 0; start <= decoded.size();) {
    const auto end = std::min(decoded.find('/', start), decoded.size());
    const std::string_view segment(decoded.data() + start, end - start);
    if (segment == "..") {
      if (segments.empty()) return std::nullopt;
      segments.pop_back();
    } else if (!segment.empty() && segment != ".") {
      segments.push_back(segment);
    }
    start = end + 1;
  }
  std::string path;
  for (const auto segment : segments) (path += '/') += segment;
  return path.empty() ? "/" : path;
}

std::string_view ContentTypeFor(const fs::path& file) {
  const std::string extension = file.extension().string();
  for (const auto& [known, type] : kContentTypes)
    if (EqualsIgnoringCase(extension, known)) return type;
  return "application/octet-stream";
}

void LogToStderr(std::string_view line) {
  std::string text(line);
  text += '\n';
  std::fwrite(text.data(), 1, text.size(), stderr);
}

namespace {

// The state of the request on one connection, made when the connection opens
// and reset for each request. The connection's I/O thread touches it, and a
// page worker while the connection is suspended for it.
struct Exchange {
  bool inFlight = false;
  Clock::time_point start;
  std::chrono::system_clock::time_point received;
  std::string target;  // the request target as sent: path and query
  // Where the target the library handed over ends in the library's copy of
  // the request line. The library cuts the target at a NUL byte; the whole
  // target ends just before the version.
  const char* targetEnd = nullptr;
  std::string method;
  std::string version;                     // "HTTP/1.1"
  std::string client, referer, userAgent;  // for the combined log format
  bool screened = false;
  std::string sitePath;
  fs::path file;
  std::string body;
  bool handedOver = false;  // to a page worker, which answers for it
  unsigned status = 0;      // 0 until a response is queued
  std::uint64_t bytes = 0;
};

// Queues `response`, whose body has `size` bytes; a reply to HEAD sends none.
MHD_Result Queue(MHD_Connection* connection, Exchange& exchange, unsigned status,
                 MHD_Response* response, std::uint64_t size) {
  const MHD_Result queued = MHD_queue_response(connection, status, response);
  if (queued == MHD_YES) {
    exchange.status = status;
    exchange.bytes = exchange.method == MHD_HTTP_METHOD_HEAD ? 0 : size;
  }
  return queued;
}

using Header = std::pair<std::string_view, std::string_view>;

// What a page that finds no worker free in time is told.
constexpr Header kRetryAfter{MHD_HTTP_HEADER_RETRY_AFTER, "1"};

// Answers with `status` and its reason phrase as a line of text, with
// `header` when it has a name.
MHD_Result Refuse(MHD_Connection* connection, Exchange& exchange, unsigned status,
                  Header header = {}) {
  std::string text = std::to_string(status) + ' ' + MHD_get_reason_phrase_for(status) + '\n';
  const std::size_t size = text.size();
  UniqueResponse response = ResponseFrom(std::move(text));
  if (!response) return MHD_NO;
  MHD_add_response_header(response.get(), MHD_HTTP_HEADER_CONTENT_TYPE,
                          "text/plain; charset=utf-8");
  if (!header.first.empty())
    MHD_add_response_header(response.get(), std::string(header.first).c_str(),
                            std::string(header.second).c_str());
  return Queue(connection, exchange, status, response.get(), size);
}

// Answers with a page's reply: its status, its content type and headers
// where they are sound, and its body.
MHD_Result Reply(MHD_Connection* connection, Exchange& exchange, PageReply& reply) {
  // A 1xx is no final reply: the client would wait on, or read 102s forever.
  if (reply.status < 200 || reply.status > 599)
    return Refuse(connection, exchange, MHD_HTTP_INTERNAL_SERVER_ERROR);
  const std::size_t size = reply.body.size();
  UniqueResponse response = ResponseFrom(std::move(reply.body));
  if (!response) return Refuse(connection, exchange, MHD_HTTP_INTERNAL_SERVER_ERROR);
  if (!reply.contentType.empty() && IsPageHeader("Content-Type", reply.contentType))
    MHD_add_response_header(response.get(), MHD_HTTP_HEADER_CONTENT_TYPE,
                            reply.contentType.c_str());
  for (const auto& [name, value] : reply.headers)
    if (IsPageHeader(name, value))
      MHD_add_response_header(response.get(), name.c_str(), value.c_str());
  return Queue(connection, exchange, static_cast<unsigned>(reply.status), response.get(), size);
}

// Queues what `answer` makes of a suspended connection's reply, and hands
// the connection back to the library, which sends the reply or, when none
// could be made, closes the connection.
template <typename Answer>
MHD_Result AnswerAndResume(MHD_Connection* connection, Answer answer) noexcept {
  MHD_Result answered = MHD_NO;
  try {
    answered = answer();
  } catch (const std::exception&) {
    // Out of memory, most likely: no reply.
  }
  MHD_resume_connection(connection);
  return answered;
}

// A page run on a worker for a suspended connection, which it resumes with
// the answer: the page's reply, or what its client is told of its failure,
// or 500 when the page ran past its time, or 503 when it could not start in
// time.
class PageTask final : public WorkerPool::Task {
 public:
  PageTask(const PageEngine& engine, const PageFailures& failures, MHD_Connection* connection,
           Exchange& exchange, PageRequest request)
      : engine_(engine),
        failures_(failures),
        connection_(connection),
        exchange_(exchange),
        page_(exchange.file),
        request_(std::move(request)) {}

  // On copies of its own: an abandoned run goes on after its connection is gone.
  void Run() noexcept override {
    reply_ = engine_.Run(page_, request_);
    if (!reply_.failure) return;
    try {
      failures_.Answer(request_, reply_);
    } catch (const std::exception&) {
      // Out of memory, most likely: a 500 that tells nothing.
      reply_.body.clear();
      reply_.headers.clear();
    }
  }

  void Finish() noexcept override {
    AnswerAndResume(connection_, [&] { return Reply(connection_, exchange_, reply_); });
  }

  void Abandon(bool started) noexcept override {
    AnswerAndResume(connection_, [&] {
      return started ? Refuse(connection_, exchange_, MHD_HTTP_INTERNAL_SERVER_ERROR)
                     : Refuse(connection_, exchange_, MHD_HTTP_SERVICE_UNAVAILABLE, kRetryAfter);
    });
  }

  std::string Name() const override { return request_.path; }

 private:
  const PageEngine& engine_;
  const PageFailures& failures_;
  MHD_Connection* const connection_;
  Exchange& exchange_;
  const fs::path page_;
  const PageRequest request_;
  PageReply reply_;
};

unsigned OnePerCoreUnless(unsigned count) {
  return count != 0 ? count : std::max(1u, std::thread::hardware_concurrency());
}

// Connections the system has completed on `listening` but the library has
// not yet accepted: a client may have sent its request on one already.
int ListenQueueLength(int listening) {
  tcp_info info{};
  socklen_t size = sizeof info;
  if (::getsockopt(listening, IPPROTO_TCP, TCP_INFO, &info, &size) != 0) return 0;
  return static_cast<int>(info.tcpi_unacked);  // a listening socket's accept queue
}

// Lets the library accept, until `deadline`, every connection the system has
// already completed for the server, while turning new ones away: a segment
// that opens a connection is dropped unanswered, so its client sends it again
// a second later and by then finds the port closed. Closing the port at
// once would reset the completed connections, and a request sent on one
// would be lost. The library counts a connection in flight a moment after
// taking it from the queue, so the queue must stay empty for a while before
// the server goes on to wait for what is in flight.
void DrainListenQueue(int listening, Clock::time_point deadline) {
  constexpr auto kSettle = std::chrono::milliseconds(50);
  static constexpr sock_filter kDropOpenings[] = {
      BPF_STMT(BPF_LD | BPF_B | BPF_ABS, 13),  // the TCP header's flags
      BPF_STMT(BPF_ALU | BPF_AND | BPF_K, TH_SYN | TH_ACK),
      BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, TH_SYN, 0, 1),
      BPF_STMT(BPF_RET | BPF_K, 0),
      BPF_STMT(BPF_RET | BPF_K, 0xFFFFFFFF),
  };
  const sock_fprog program{std::size(kDropOpenings), const_cast<sock_filter*>(kDropOpenings)};
  if (::setsockopt(listening, SOL_SOCKET, SO_ATTACH_FILTER, &program, sizeof program) != 0) return;
  for (Clock::time_point now = Clock::now(), emptySince = now; now < deadline; now = Clock::now()) {
    if (ListenQueueLength(listening) > 0) {
      emptySince = now;
    } else if (now - emptySince >= kSettle) {
      return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}

}  // namespace

// Answers requests: everything the library calls back into.
class HttpServer::Responder {
 public:
  Responder(const PageEngine& engine, ServerOptions options, RequestLog log)
      : engine_(engine), options_(std::move(options)), log_(std::move(log)) {}

  const ServerOptions& Options() const { return options_; }

  // While on, /-/health answers 200; else 503.
  void Accepting(bool on) { accepting_ = on; }

  // Finds the site's folder, and its error page if there is one.
  bool OpenRoot(std::string* error) {
    std::error_code ec;
    root_ = fs::canonical(engine_.Root(), ec);
    if (ec || !fs::is_directory(root_, ec)) {
      if (error) *error = "the site folder " + engine_.Root().string() + " is not a folder";
      return false;
    }
    if (options_.errorPage.empty()) return true;
    errorPage_ = fs::weakly_canonical(root_ / fs::path(options_.errorPage).relative_path(), ec);
    if (ec || !IsInside(root_, *errorPage_)) {
      if (error) *error = "the error page " + options_.errorPage + " lies outside the site";
      return false;
    }
    return true;
  }

  // Starts and stops what works beside the library's threads. Stopping
  // waits for each worker until its page's time and grace are up; false,
  // with the page logged and the pool kept, while a worker is still inside
  // a page then.
  void StartHelpers() {
    deadlines_ =
        std::make_unique<HeaderDeadlines>(std::chrono::seconds(options_.headerTimeoutSeconds),
                                          options_.maxConnections / 2, kCrowdedHeaderTime);
    failures_ = std::make_unique<PageFailures>(engine_, options_, errorPage_, log_);
    pool_ = std::make_unique<WorkerPool>(OnePerCoreUnless(options_.workers), options_.queueDepth,
                                         PageTime(), options_.maxStuckWorkers);
  }
  bool StopHelpers() {
    deadlines_.reset();
    pool_->Close();
    bool stopped = true;
    for (const auto& task : pool_->JoinInTime()) {
      stopped = false;
      try {
        log_("http: stopping without the worker still running " + task->Name() +
             " past its time limit");
      } catch (const std::exception&) {
        // A lost line; the stop goes on.
      }
    }
    if (stopped) {
      // A task still running reads the failures' settings: they go with the
      // pool or not at all.
      pool_.reset();
      failures_.reset();
    }
    try {
      for (const std::string& line : throttle_.Flush()) log_(line);
    } catch (const std::exception&) {
      // Lost lines.
    }
    return stopped;
  }

  // Answers every page still waiting or running: 503 and 500.
  void ClosePool() { pool_->Close(); }

  // How long requests in flight are given to finish when the server stops:
  // the idle timeout or a page's time, whichever is longer.
  Clock::duration StopGrace() const {
    return std::max<Clock::duration>({std::chrono::seconds(1),
                                      std::chrono::seconds(options_.connectionTimeoutSeconds),
                                      PageTime()});
  }

  // Waits until no request is in flight, or until `deadline`.
  void AwaitIdle(Clock::time_point deadline) {
    std::unique_lock lock(flightMutex_);
    flightDone_.wait_until(lock, deadline, [&] { return inFlight_ == 0; });
  }

  static void OnConnection(void* cls, MHD_Connection* connection, void** socketContext,
                           MHD_ConnectionNotificationCode code) noexcept {
    auto& self = *static_cast<Responder*>(cls);
    if (code == MHD_CONNECTION_NOTIFY_STARTED) {
      self.deadlines_->Await(SocketOf(connection));
      // A new connection is in flight before its request line arrives: it
      // was accepted to be served, so a stopping server waits for its
      // request too. A kept-alive connection between requests is not.
      try {
        auto exchange = std::make_unique<Exchange>();
        exchange->inFlight = true;
        self.TakeOff();
        *socketContext = exchange.release();
      } catch (const std::bad_alloc&) {
        *socketContext = nullptr;
      }
      return;
    }
    // The library closes the socket after this returns.
    self.deadlines_->Forget(SocketOf(connection));
    std::unique_ptr<Exchange> exchange(static_cast<Exchange*>(*socketContext));
    *socketContext = nullptr;
    if (exchange && exchange->inFlight) {
      self.Record(*exchange);
      self.Land();
    }
  }

  // Called once the request line has arrived; what it returns is the
  // request's context in the calls that follow.
  static void* OnRequestLine(void* cls, const char* uri, MHD_Connection* connection) noexcept {
    auto& self = *static_cast<Responder*>(cls);
    const auto* info = MHD_get_connection_info(connection, MHD_CONNECTION_INFO_SOCKET_CONTEXT);
    auto* exchange = info ? static_cast<Exchange*>(info->socket_context) : nullptr;
    if (exchange == nullptr) return nullptr;
    if (!exchange->inFlight) self.TakeOff();
    *exchange = Exchange{};
    exchange->inFlight = true;
    exchange->start = Clock::now();
    exchange->received = std::chrono::system_clock::now();
    try {
      exchange->target = uri;
      exchange->targetEnd = uri + exchange->target.size();
    } catch (const std::bad_alloc&) {
      return nullptr;
    }
    return exchange;
  }

  static MHD_Result OnRequest(void* cls, MHD_Connection* connection, const char*,
                              const char* method, const char* version, const char* upload,
                              std::size_t* uploadSize, void** context) noexcept {
    auto& self = *static_cast<Responder*>(cls);
    auto* exchange = static_cast<Exchange*>(*context);
    // A worker that could make no reply resumed the connection without one.
    if (exchange == nullptr || exchange->handedOver) return MHD_NO;
    try {
      if (!exchange->screened) {
        exchange->screened = true;
        self.deadlines_->Met(SocketOf(connection));
        return self.Screen(connection, *exchange, method, version);
      }
      if (*uploadSize != 0) {
        // A reply cannot be queued while the body streams in: a chunked body
        // that outgrows the limit ends the connection, logged as 413.
        if (*uploadSize > self.options_.maxBody - exchange->body.size()) {
          exchange->status = MHD_HTTP_CONTENT_TOO_LARGE;
          return MHD_NO;
        }
        exchange->body.append(upload, *uploadSize);
        *uploadSize = 0;
        return MHD_YES;
      }
      return IsPageFile(exchange->file) ? self.RunPage(connection, *exchange)
                                        : ServeFile(connection, *exchange);
    } catch (const std::exception&) {
      // Out of memory, most likely: a short reply if one can still be made.
      if (*uploadSize != 0) return MHD_NO;
      try {
        return Refuse(connection, *exchange, MHD_HTTP_INTERNAL_SERVER_ERROR);
      } catch (const std::exception&) {
        return MHD_NO;
      }
    }
  }

  static void OnRequestDone(void* cls, MHD_Connection* connection, void** context,
                            MHD_RequestTerminationCode) noexcept {
    auto& self = *static_cast<Responder*>(cls);
    self.deadlines_->Await(SocketOf(connection));
    auto* exchange = static_cast<Exchange*>(*context);
    if (exchange == nullptr || !exchange->inFlight) return;
    self.Record(*exchange);
    exchange->body = std::string();
    exchange->inFlight = false;
    self.Land();
  }

  static void OnLibraryMessage(void* cls, const char* format, va_list args) noexcept {
    auto& self = *static_cast<Responder*>(cls);
    std::array<char, 512> text{};
    std::vsnprintf(text.data(), text.size(), format, args);
    std::string_view message(text.data());
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r'))
      message.remove_suffix(1);
    try {
      // A client that keeps opening connections past a limit makes the
      // library say so each time.
      if (auto line = self.throttle_.Pass(format, "http: " + std::string(message))) self.log_(*line);
    } catch (const std::exception&) {
      // As above: a lost line.
    }
  }

 private:
  // How long a page may hold its worker: its time, its error page's if it
  // fails, and a grace.
  Clock::duration PageTime() const {
    return engine_.Limits().time + (errorPage_ ? engine_.ErrorPageTime() : Clock::duration::zero()) +
           kPageGrace;
  }

  void TakeOff() {
    std::lock_guard lock(flightMutex_);
    ++inFlight_;
  }

  void Land() {
    std::lock_guard lock(flightMutex_);
    if (--inFlight_ == 0) flightDone_.notify_all();
  }

  // Counts a finished request, and when it was answered, writes its line
  // to the log.
  void Record(const Exchange& exchange) {
    const auto took =
        std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - exchange.start);
    if (exchange.handedOver) metrics_.PageDone(took);
    if (exchange.status == 0) return;
    metrics_.Answered(exchange.status);
    try {
      log_(AccessLine(options_.logFormat,
                      {exchange.method, exchange.target, exchange.version, exchange.status,
                       exchange.bytes, took, exchange.received, exchange.client,
                       exchange.referer, exchange.userAgent}));
    } catch (const std::exception&) {
      // A line that cannot be made or written is lost; the request is done.
    }
  }

  // Keeps what the combined log format tells of a request beside its
  // request line: the client, believing a trusted proxy's X-Forwarded-For,
  // and the Referer and User-Agent.
  void NoteForLog(MHD_Connection* connection, Exchange& exchange) const {
    if (options_.logFormat != LogFormat::Combined) return;
    const std::string peer = RemoteAddress(connection);
    exchange.client = ClientAddress(peer, JoinedHeader(connection, "X-Forwarded-For"),
                                    options_.trustedProxies);
    exchange.referer = JoinedHeader(connection, MHD_HTTP_HEADER_REFERER);
    exchange.userAgent = JoinedHeader(connection, MHD_HTTP_HEADER_USER_AGENT);
  }

  // Answers the server's own paths, /-/health and /-/metrics, for the
  // clients allowed them, and 404 for others; nullopt for another path.
  std::optional<MHD_Result> AnswerOwnPath(MHD_Connection* connection, Exchange& exchange) {
    const std::string_view target = exchange.target;
    const std::string_view path = target.substr(0, target.find('?'));
    const bool health = path == "/-/health";
    if (!health && path != "/-/metrics") return std::nullopt;
    if (!options_.endpointClients.Contains(RemoteAddress(connection)))
      return Refuse(connection, exchange, MHD_HTTP_NOT_FOUND);
    if (exchange.method == MHD_HTTP_METHOD_POST)
      return Refuse(connection, exchange, MHD_HTTP_METHOD_NOT_ALLOWED,
                    {MHD_HTTP_HEADER_ALLOW, kAllowedForFiles});
    if (health && !accepting_) return Refuse(connection, exchange, MHD_HTTP_SERVICE_UNAVAILABLE);
    const StoreStatus store = engine_.SessionStoreStatus();
    // A shared session store that cannot be reached fails only the pages
    // that use Session: the process still serves, and says so.
    if (health && !store.shared) return Refuse(connection, exchange, MHD_HTTP_OK);
    std::string text = health ? std::string("200 OK\nsession store: ") + (store.reachable ? "reachable\n" : "unreachable\n")
                              : metrics_.Text(fs::current_path(), store);
    const std::size_t size = text.size();
    UniqueResponse response = ResponseFrom(std::move(text));
    if (!response) return Refuse(connection, exchange, MHD_HTTP_INTERNAL_SERVER_ERROR);
    MHD_add_response_header(response.get(), MHD_HTTP_HEADER_CONTENT_TYPE,
                            health ? "text/plain; charset=utf-8" : "text/plain; version=0.0.4; charset=utf-8");
    return Queue(connection, exchange, MHD_HTTP_OK, response.get(), size);
  }

  // Checks what arrived before the body; queues the refusal, if any.
  MHD_Result Screen(MHD_Connection* connection, Exchange& exchange, const char* method,
                    const char* version) {
    exchange.method = method;
    exchange.version = version;
    NoteForLog(connection, exchange);
    const std::string_view target = exchange.target;
    if (exchange.method.size() + 1 + target.size() + 1 + std::strlen(version) > kMaxLine)
      return Refuse(connection, exchange, MHD_HTTP_URI_TOO_LONG);
    const auto scan = HeaderScan::Of(connection);
    if (scan.count > kMaxHeaders || scan.longLine)
      return Refuse(connection, exchange, MHD_HTTP_REQUEST_HEADER_FIELDS_TOO_LARGE);
    // One Host, which HTTP/1.1 requires; a whole target without spaces or
    // controls.
    const bool hostless = scan.hosts == 0 && std::string_view(version) == MHD_HTTP_VERSION_1_1;
    const bool cutAtNul = version != exchange.targetEnd + 1;
    if (scan.badName || scan.bareCR || scan.hosts > 1 || hostless || HasSpaceOrControl(target) || cutAtNul ||
        scan.contentLengths > 1 || scan.transferEncodings > 1 ||
        (scan.contentLengths > 0 && scan.transferEncodings > 0))
      return Refuse(connection, exchange, MHD_HTTP_BAD_REQUEST);
    if (scan.transferEncodings > 0 && !scan.chunked)
      return Refuse(connection, exchange, MHD_HTTP_NOT_IMPLEMENTED);
    const bool post = exchange.method == MHD_HTTP_METHOD_POST;
    if (!post && exchange.method != MHD_HTTP_METHOD_GET && exchange.method != MHD_HTTP_METHOD_HEAD)
      return Refuse(connection, exchange, MHD_HTTP_METHOD_NOT_ALLOWED,
                    {MHD_HTTP_HEADER_ALLOW, kAllowed});

    if (const auto answered = AnswerOwnPath(connection, exchange)) return *answered;
    const auto sitePath = SitePath(target.substr(0, target.find('?')));
    if (!sitePath) return Refuse(connection, exchange, MHD_HTTP_BAD_REQUEST);
    exchange.sitePath = *sitePath;
    if (const unsigned status = Resolve(exchange); status != 0)
      return Refuse(connection, exchange, status);
    if (post && !IsPageFile(exchange.file))
      return Refuse(connection, exchange, MHD_HTTP_METHOD_NOT_ALLOWED,
                    {MHD_HTTP_HEADER_ALLOW, kAllowedForFiles});

    if (scan.contentLength > options_.maxBody)
      return Refuse(connection, exchange, MHD_HTTP_CONTENT_TOO_LARGE);
    exchange.body.reserve(static_cast<std::size_t>(scan.contentLength));
    return MHD_YES;
  }

  // Maps the site path to a file under the root, in any letter case: a
  // folder to its index.html. Returns 0, with the file set, or the status to
  // refuse with. A hidden name in the path asked for, or in the path of the
  // file it leads to, is not found.
  unsigned Resolve(Exchange& exchange) const {
    if (options_.hiddenNames.HidesAnyPart(exchange.sitePath)) return MHD_HTTP_NOT_FOUND;
    auto found = FindSiteFile(root_, (root_ / fs::path(exchange.sitePath).relative_path()).lexically_normal());
    if (!found) return MHD_HTTP_NOT_FOUND;
    std::error_code ec;
    if (fs::is_directory(found->path, ec)) {
      found = FindSiteFile(root_, found->path / "index.html");
      if (!found) return MHD_HTTP_NOT_FOUND;
    }
    if (!fs::is_regular_file(found->path, ec) ||
        options_.hiddenNames.HidesAnyPart(found->path.lexically_relative(root_)))
      return MHD_HTTP_NOT_FOUND;
    exchange.file = std::move(found->path);
    return 0;
  }

  static MHD_Result ServeFile(MHD_Connection* connection, Exchange& exchange) {
    UniqueFd file(::open(exchange.file.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
    if (file.fd < 0)
      return Refuse(connection, exchange,
                    errno == EACCES ? MHD_HTTP_FORBIDDEN : MHD_HTTP_NOT_FOUND);
    struct stat info {};
    if (::fstat(file.fd, &info) != 0 || !S_ISREG(info.st_mode))
      return Refuse(connection, exchange, MHD_HTTP_NOT_FOUND);
    const auto size = static_cast<std::uint64_t>(info.st_size);
    UniqueResponse response(MHD_create_response_from_fd64(size, file.fd));
    if (!response) return Refuse(connection, exchange, MHD_HTTP_INTERNAL_SERVER_ERROR);
    file.release();
    MHD_add_response_header(response.get(), MHD_HTTP_HEADER_CONTENT_TYPE,
                            std::string(ContentTypeFor(exchange.file)).c_str());
    return Queue(connection, exchange, MHD_HTTP_OK, response.get(), size);
  }

  // Hands the page to a worker and suspends the connection until it
  // answers; 503 when the queue is full.
  MHD_Result RunPage(MHD_Connection* connection, Exchange& exchange) {
    PageRequest request;
    request.method = exchange.method;
    request.path = exchange.sitePath;
    if (const auto query = exchange.target.find('?'); query != std::string::npos)
      request.queryString = exchange.target.substr(query + 1);
    request.headers = RequestHeaders(connection);
    request.body = std::move(exchange.body);
    request.target = exchange.target;
    request.protocol = exchange.version;
    request.remoteAddress = RemoteAddress(connection);
    request.client = ClientAddress(request.remoteAddress, JoinedHeader(connection, "X-Forwarded-For"),
                                   options_.trustedProxies);
    const bool proxied = options_.trustedProxies.Contains(request.remoteAddress);
    request.secure = proxied && SaysHttps(JoinedHeader(connection, "X-Forwarded-Proto"));
    const Endpoints endpoints = Endpoints::Of(SocketOf(connection));
    request.localAddress = endpoints.localAddress;
    request.remotePort = proxied ? 0 : endpoints.remotePort;
    request.serverPort = proxied ? ForwardedPort(JoinedHeader(connection, "X-Forwarded-Port"),
                                                 JoinedHeader(connection, MHD_HTTP_HEADER_HOST), request.secure)
                                 : endpoints.localPort;
    auto task =
        std::make_shared<PageTask>(engine_, *failures_, connection, exchange, std::move(request));

    exchange.handedOver = true;
    metrics_.PageStarted();
    MHD_suspend_connection(connection);
    if (pool_->Submit(std::move(task))) return MHD_YES;
    return AnswerAndResume(connection, [&] {
      return Refuse(connection, exchange, MHD_HTTP_SERVICE_UNAVAILABLE, kRetryAfter);
    });
  }

  const PageEngine& engine_;
  const ServerOptions options_;
  const RequestLog log_;
  fs::path root_;
  std::optional<fs::path> errorPage_;
  std::unique_ptr<PageFailures> failures_;
  std::unique_ptr<HeaderDeadlines> deadlines_;
  std::unique_ptr<WorkerPool> pool_;
  std::mutex flightMutex_;
  std::condition_variable flightDone_;
  std::size_t inFlight_ = 0;
  ServerMetrics metrics_;
  MessageThrottle throttle_;
  std::atomic<bool> accepting_ = false;
};

void HttpServer::DaemonStop::operator()(MHD_Daemon* daemon) const { MHD_stop_daemon(daemon); }

HttpServer::HttpServer(const PageEngine& engine, ServerOptions options, RequestLog log)
    : responder_(std::make_unique<Responder>(engine, std::move(options), std::move(log))) {}

HttpServer::~HttpServer() { Stop(); }

bool HttpServer::Start(std::string* error) {
  const auto fail = [error](std::string reason) {
    if (error) *error = std::move(reason);
    return false;
  };
  if (daemon_) return fail("the server is running already");
  if (!responder_->OpenRoot(error)) return false;
  const ServerOptions& options = responder_->Options();
  auto address = ListenAddress::Parse(options.listen, options.port);
  if (!address) return fail("cannot listen on " + options.listen + ": not an IP address");

  try {
    responder_->StartHelpers();
  } catch (const std::system_error& e) {
    return fail(std::string("cannot start a thread: ") + e.what());
  }
  const unsigned threads = OnePerCoreUnless(options.threads);
  unsigned flags = MHD_USE_INTERNAL_POLLING_THREAD | MHD_USE_EPOLL | MHD_ALLOW_SUSPEND_RESUME |
                   MHD_USE_ERROR_LOG;
  if (address->v6) flags |= MHD_USE_IPv6;
  // Options pass through varargs: each value has exactly the type the
  // library reads for it.
  Responder* responder = responder_.get();
  const MHD_LogCallback onMessage = &Responder::OnLibraryMessage;
  const MHD_NotifyConnectionCallback onConnection = &Responder::OnConnection;
  void* (*const onRequestLine)(void*, const char*, MHD_Connection*) = &Responder::OnRequestLine;
  const MHD_RequestCompletedCallback onRequestDone = &Responder::OnRequestDone;
  // The pool's size only when there is a pool: the library warns of a size
  // it ignores.
  MHD_OptionItem pool[] = {{threads > 1 ? MHD_OPTION_THREAD_POOL_SIZE : MHD_OPTION_END, threads, nullptr},
                           {MHD_OPTION_END, 0, nullptr}};
  daemon_.reset(MHD_start_daemon(
      flags, options.port, nullptr, nullptr, &Responder::OnRequest, responder,
      MHD_OPTION_EXTERNAL_LOGGER, onMessage, responder,
      MHD_OPTION_SOCK_ADDR, reinterpret_cast<sockaddr*>(&address->storage),
      MHD_OPTION_ARRAY, pool,
      MHD_OPTION_CONNECTION_LIMIT, options.maxConnections,
      MHD_OPTION_PER_IP_CONNECTION_LIMIT, options.maxConnectionsPerAddress,
      MHD_OPTION_CONNECTION_TIMEOUT, options.connectionTimeoutSeconds,
      MHD_OPTION_CONNECTION_MEMORY_LIMIT, kConnectionMemory,
      // Lenient, so that the library lets through what the screen refuses
      // better itself: its own 400 for a missing Host repeats the header block.
      MHD_OPTION_STRICT_FOR_CLIENT, 0,
      MHD_OPTION_NOTIFY_CONNECTION, onConnection, responder,
      MHD_OPTION_URI_LOG_CALLBACK, onRequestLine, responder,
      MHD_OPTION_NOTIFY_COMPLETED, onRequestDone, responder,
      MHD_OPTION_END));
  if (!daemon_) {
    responder_->StopHelpers();
    return fail("cannot listen on " + options.listen + " port " + std::to_string(options.port) +
                " (the log tells why)");
  }
  const auto* info = MHD_get_daemon_info(daemon_.get(), MHD_DAEMON_INFO_BIND_PORT);
  port_ = info ? info->port : options.port;
  responder_->Accepting(true);
  return true;
}

bool HttpServer::Stop() {
  if (!daemon_) return true;
  responder_->Accepting(false);
  const Clock::time_point deadline = Clock::now() + responder_->StopGrace();
  if (const auto* info = MHD_get_daemon_info(daemon_.get(), MHD_DAEMON_INFO_LISTEN_FD))
    DrainListenQueue(info->listen_fd, deadline);
  const MHD_socket listening = MHD_quiesce_daemon(daemon_.get());
  // New connections are refused from now on, so that a proxy in front tries
  // another server at once. The socket stays open until the library has let
  // go of it.
  if (listening != MHD_INVALID_SOCKET) ::shutdown(listening, SHUT_RDWR);
  responder_->AwaitIdle(deadline);
  // Pages still waiting or running are answered, and the answers given
  // time to go out before the connections close.
  responder_->ClosePool();
  responder_->AwaitIdle(Clock::now() + kPageGrace);
  daemon_.reset();
  const bool stopped = responder_->StopHelpers();
  if (listening != MHD_INVALID_SOCKET) ::close(listening);
  port_ = 0;
  return stopped;
}

}  // namespace kelvane::host
