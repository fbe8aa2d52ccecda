#pragma once
// The HTTP/1.1 server of the host: serves the site's folder from disk and runs
// its .ksp pages through the page engine. libmicrohttpd's I/O threads read
// requests, serve files and send replies; a slow or idle client holds no
// thread, only its connection. Pages run on workers of their own, each an
// apartment, fed by a bounded queue: a slow page holds neither an I/O thread
// nor another connection. A page still running at the engine's time limit
// and a second of grace, inside a call the engine cannot stop, is answered
// 500 and its worker replaced (up to ServerOptions::maxStuckWorkers of
// them); a page that finds the queue full, or no worker free in that time,
// 503. Writes to a closed connection never raise SIGPIPE on the server's
// threads; a program that also writes to sockets or pipes elsewhere ignores
// SIGPIPE itself (the `kelvane` command does).
//
// A page that fails is logged with a short request id; what its client is
// told depends on ServerOptions::pageErrors, and a request that a proxy not
// trusted forwarded is never a local one.
//
// Two paths are the server's own, for those who run it, and answer only
// clients in ServerOptions::endpointClients (others get 404, as for a file
// not there): /-/health, 200 while the server accepts work and 503 once it
// stops; /-/metrics, what ServerMetrics counts.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "host/http/AccessLog.h"
#include "host/http/AddressSet.h"
#include "host/http/HiddenNames.h"
#include "host/pages/PageEngine.h"

struct MHD_Daemon;

namespace kelvane::host {

// Who is shown what failed in a page: its error's source, number and
// description, and the file and line.
enum class PageErrors {
  Local,  // loopback clients and ServerOptions::endpointClients
  All,
  None,
};

struct ServerOptions {
  std::string listen = "127.0.0.1";        // an IPv4 or IPv6 literal ("::1" or "[::1]")
  std::uint16_t port = 8080;               // 0: the system chooses; see HttpServer::Port
  unsigned threads = 0;                    // I/O threads, which read requests, serve files
                                           // and send replies; 0: one per core
  unsigned workers = 0;                    // page workers; 0: one per core
  unsigned maxStuckWorkers = 16;           // workers still inside a page past its time
                                           // and grace that are replaced; beyond, the
                                           // pool shrinks until they return
  std::size_t queueDepth = 128;            // pages waiting for a worker at once; beyond: 503
  std::size_t maxBody = 1 << 20;           // bytes of request body; beyond: 413 before it is
                                           // read, or the connection closed when it is chunked
  unsigned maxConnections = 256;           // open connections at once; beyond: refused
  unsigned maxConnectionsPerAddress = 128; // open connections from one client address at
                                           // once; beyond: refused. 0: no cap
  unsigned connectionTimeoutSeconds = 10;  // idle time before a connection is closed; 0: never
  unsigned headerTimeoutSeconds = 10;      // time for the request line and headers, from the
                                           // connection's start or the previous request's
                                           // end, however they trickle in; beyond: closed.
                                           // While more than half of maxConnections wait
                                           // for theirs, 2 s, the longest waiting closed
                                           // first. 0: none
  HiddenNames hiddenNames;                 // neither served nor run: 404
  LogFormat logFormat = LogFormat::Plain;
  AddressSet trustedProxies;               // peers whose X-Forwarded-For names the client,
                                           // and whose X-Forwarded-Proto: https makes the
                                           // session cookie Secure; none by default
  AddressSet endpointClients = AddressSet::Loopback();  // who may reach /-/health and
                                                        // /-/metrics
  PageErrors pageErrors = PageErrors::Local;  // who sees what failed in a page; the others
                                              // get errorPage, or a plain 500 page with a
                                              // request id. The log always gets it, with the id
  std::string errorPage;  // the site path of the page run for those when a page fails,
                          // such as "/errors/500.asp"; empty: none
};

// Receives one line, without its newline, per request answered by the server,
// in the options' LogFormat; prefixed "http: ", the details of each page that
// failed, and the library's own messages, each kind at most once a second,
// with the number of those held back.
// Requests the library refuses by itself (a header block beyond the
// connection's memory, a Content-Length that is no number) have no line of
// their own. Called from any server thread, several at once.
using RequestLog = std::function<void(std::string_view line)>;

// Writes `line` and a newline to stderr in one write.
void LogToStderr(std::string_view line);

class HttpServer {
 public:
  // Serves `engine.Root()`. `engine` and `log` must outlive the server.
  HttpServer(const PageEngine& engine, ServerOptions options, RequestLog log = LogToStderr);
  ~HttpServer();  // Stops the server.
  HttpServer(const HttpServer&) = delete;
  HttpServer& operator=(const HttpServer&) = delete;

  // Binds the listening address and starts the threads. Returns false, with the
  // reason in `*error` when `error` is not null, when the server is running
  // already, the site's folder is not a folder, the address is not an IP
  // literal, or the library or a thread cannot start (the library's own
  // message goes to the log).
  bool Start(std::string* error);

  // Stops accepting connections, lets requests in flight finish for up to
  // connectionTimeoutSeconds or a page's time and grace, whichever is longer
  // (connections the system had already completed count as in flight: they
  // are served, not reset); then answers pages still waiting (503) or
  // running (500), closes every connection and joins every thread, giving
  // each worker until its page's time and grace are up. Returns false when
  // a worker is still inside a page then, naming the page in the log: the
  // server keeps that thread, and destroying the server waits for it, so a
  // process that must end calls std::_Exit instead. Does nothing, and
  // returns true, when the server is not running.
  bool Stop();

  // The bound port while running (the system's choice when options.port is
  // 0); 0 when stopped.
  std::uint16_t Port() const { return port_; }

 private:
  class Responder;
  struct DaemonStop {
    void operator()(MHD_Daemon* daemon) const;
  };

  std::unique_ptr<Responder> responder_;
  std::unique_ptr<MHD_Daemon, DaemonStop> daemon_;
  std::uint16_t port_ = 0;
};

// The site path named by `raw`, a request path as sent (percent-encoded,
// starting with '/', without the query): decoded, with empty and "."
// segments dropped and ".." applied, "/" for the root. Empty when `raw` is
// malformed (no leading '/', a bad escape, a NUL or other control byte, a
// backslash) or a ".." would leave the root.
std::optional<std::string> SitePath(std::string_view raw);

// The Content-Type of a file served from disk, by its extension in any case;
// "application/octet-stream" for one not known.
std::string_view ContentTypeFor(const std::filesystem::path& file);

}  // namespace kelvane::host
