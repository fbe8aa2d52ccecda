// The server's own paths, /-/health and /-/metrics, and the access log's
// client address, through a real socket.
#include "host/http/ServerMetrics.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "host/http/HttpServer.h"
#include "support/HttpClient.h"
#include "support/TempFolder.h"

namespace kelvane::host {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using test::Client;
using test::Request;
using test::Response;

class ServerEndpoints : public testing::Test {
 protected:
  ServerEndpoints() : folder("endpoints"), previous(fs::current_path()) {
    fs::create_directories(folder.Path() / "site" / "-");
    fs::create_directories(folder.Path() / "work");
    std::ofstream(folder.Path() / "site" / "hello.txt") << "hello\n";
    std::ofstream(folder.Path() / "site" / "plain.ksp") << "A page.\n";
    std::ofstream(folder.Path() / "site" / "-" / "other") << "a file\n";
    // The working directory, where deliveries leave their files.
    fs::current_path(folder.Path() / "work");
  }
  ~ServerEndpoints() override {
    server.reset();
    fs::current_path(previous);
  }

  void Serve(ServerOptions options = {}) {
    options.port = 0;
    options.threads = 2;
    options.workers = 2;
    server.reset();
    engine = std::make_unique<PageEngine>(folder.Path() / "site", PageLimits{});
    server = std::make_unique<HttpServer>(*engine, options, [this](std::string_view line) {
      const std::lock_guard lock(logMutex);
      log.emplace_back(line);
    });
    std::string error;
    ASSERT_TRUE(server->Start(&error)) << error;
  }

  Response Fetch(std::string_view method, std::string_view target, const char* source = "127.0.0.1",
                 std::string_view headers = "") {
    Client client(server->Port(), 3s, source);
    client.Send(Request(method, target, headers));
    return client.Read(method == "HEAD");
  }

  std::vector<std::string> Log() {
    const std::lock_guard lock(logMutex);
    return log;
  }

  // Waits, for a second at most, until `lines` requests are logged: a
  // request is counted and logged once its reply has gone, which may be
  // after the client has read it.
  void AwaitLogged(std::size_t lines) {
    for (int i = 0; i < 100 && Log().size() < lines; ++i) std::this_thread::sleep_for(10ms);
    ASSERT_EQ(Log().size(), lines);
  }

  TempFolder folder;
  fs::path previous;
  std::unique_ptr<PageEngine> engine;
  std::unique_ptr<HttpServer> server;
  std::mutex logMutex;
  std::vector<std::string> log;
};

// Every sample of a Prometheus text, by name and labels; fails the test on
// a line that is neither a sample nor a comment, or a sample whose family
// has no TYPE before it.
std::map<std::string, double> Samples(const std::string& text) {
  static const std::regex kSample(R"(([a-z_]+)(\{[a-z]+="[^"]*"\})? (\d+(\.\d+)?))");
  static const std::regex kType(R"(# TYPE ([a-z_]+) (counter|gauge|histogram))");
  static const std::regex kHelp(R"(# HELP [a-z_]+ .+)");
  std::map<std::string, double> samples;
  std::vector<std::string> families;
  std::istringstream lines(text);
  std::smatch match;
  for (std::string line; std::getline(lines, line);) {
    if (std::regex_match(line, match, kType)) {
      families.push_back(match[1]);
    } else if (std::regex_match(line, match, kSample)) {
      const std::string name = match[1];
      EXPECT_TRUE(std::ranges::any_of(families, [&](const std::string& family) {
        return name == family || name == family + "_bucket" || name == family + "_sum" ||
               name == family + "_count";
      })) << line;
      samples[name + match[2].str()] = std::stod(match[3]);
    } else {
      EXPECT_TRUE(std::regex_match(line, kHelp)) << line;
    }
  }
  return samples;
}

TEST_F(ServerEndpoints, OnlyAllowedClientsReachHealthAndMetrics) {
  struct Case {
    const char* allowed;  // nullptr: the default
    const char* source;
    const char* method;
    const char* target;
    int status;
  };
  const Case cases[] = {
      {nullptr, "127.0.0.1", "GET", "/-/health", 200},
      {nullptr, "127.0.0.2", "GET", "/-/metrics", 200},
      {nullptr, "127.0.0.1", "HEAD", "/-/health?probe=1", 200},
      {nullptr, "127.0.0.1", "POST", "/-/health", 405},
      {nullptr, "127.0.0.1", "GET", "/-/other", 200},
      {"127.0.0.1", "127.0.0.1", "GET", "/-/metrics", 200},
      {"127.0.0.1", "127.0.0.2", "GET", "/-/health", 404},
      {"127.0.0.1", "127.0.0.2", "GET", "/-/metrics", 404},
      {"127.0.0.1", "127.0.0.2", "GET", "/hello.txt", 200},
      {"", "127.0.0.1", "GET", "/-/health", 404},
      {"10.0.0.0/8", "127.0.0.1", "GET", "/-/metrics", 404},
  };
  for (const auto& [allowed, source, method, target, status] : cases) {
    ServerOptions options;
    if (allowed) options.endpointClients = *AddressSet::Parse(allowed);
    Serve(options);
    const auto response = Fetch(method, target, source);
    EXPECT_EQ(response.status, status)
        << (allowed ? allowed : "(loopback)") << " " << source << " " << method << " " << target;
    if (status == 404) {
      EXPECT_EQ(response.body, "404 Not Found\n") << target;
    }
  }
}

TEST_F(ServerEndpoints, MetricsAddUpAfterAKnownNumberOfRequests) {
  for (const char* name : {"09122026030405-1.tmp", "09122026030405-17.tmp", "notes.tmp"})
    std::ofstream(name) << "x";
  Serve();
  for (int i = 0; i < 3; ++i) EXPECT_EQ(Fetch("GET", "/hello.txt").status, 200);
  for (int i = 0; i < 2; ++i) EXPECT_EQ(Fetch("GET", "/missing").status, 404);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(Fetch("GET", "/plain.ksp").status, 200);
  EXPECT_EQ(Fetch("PUT", "/hello.txt").status, 405);
  AwaitLogged(10);

  const auto scraped = Fetch("GET", "/-/metrics");
  EXPECT_EQ(scraped.Header("content-type"), "text/plain; version=0.0.4; charset=utf-8");
  auto samples = Samples(scraped.body);
  EXPECT_EQ(samples[R"(kelvane_http_requests_total{code="200"})"], 7);
  EXPECT_EQ(samples[R"(kelvane_http_requests_total{code="404"})"], 2);
  EXPECT_EQ(samples[R"(kelvane_http_requests_total{code="405"})"], 1);
  EXPECT_EQ(samples.count(R"(kelvane_http_requests_total{code="500"})"), 0u);
  EXPECT_EQ(samples["kelvane_page_duration_seconds_count"], 4);
  EXPECT_EQ(samples[R"(kelvane_page_duration_seconds_bucket{le="+Inf"})"], 4);
  EXPECT_GT(samples["kelvane_page_duration_seconds_sum"], 0);
  double below = 0;
  for (const auto& [name, value] : samples)
    if (name.starts_with("kelvane_page_duration_seconds_bucket")) {
      EXPECT_LE(value, 4) << name;
      below = std::max(below, value);
    }
  EXPECT_EQ(below, 4);
  EXPECT_EQ(samples["kelvane_pages_in_flight"], 0);
  EXPECT_EQ(samples["kelvane_workdir_temporary_files"], 2);

  // The scrape itself is counted once it is answered.
  AwaitLogged(11);
  samples = Samples(Fetch("GET", "/-/metrics").body);
  EXPECT_EQ(samples[R"(kelvane_http_requests_total{code="200"})"], 8);
}

TEST_F(ServerEndpoints, HealthSays503OnceTheServerStops) {
  Serve();
  Client waiting(server->Port(), 5s);
  waiting.Send("GET /-/health HTTP/1.1\r\nHost: localhost\r\n");
  std::this_thread::sleep_for(100ms);  // the request line has reached the server
  std::thread stopper([&] { server->Stop(); });
  std::this_thread::sleep_for(200ms);
  waiting.Send("\r\n");
  EXPECT_EQ(waiting.Read().status, 503);
  stopper.join();
}

TEST_F(ServerEndpoints, CombinedLogNamesTheForwardedClientOnlyFromATrustedProxy) {
  struct Case {
    const char* trusted;
    const char* source;
    const char* client;
  };
  const Case cases[] = {
      {"", "127.0.0.1", "127.0.0.1"},
      {"127.0.0.1", "127.0.0.1", "198.51.100.7"},
      {"127.0.0.1", "127.0.0.2", "127.0.0.2"},
      {"127.0.0.0/8", "127.0.0.2", "198.51.100.7"},
  };
  for (const auto& [trusted, source, client] : cases) {
    ServerOptions options;
    options.logFormat = LogFormat::Combined;
    options.trustedProxies = *AddressSet::Parse(trusted);
    Serve(options);
    Fetch("GET", "/hello.txt?q=1", source,
          "X-Forwarded-For: 203.0.113.1\r\nReferer: http://a.example/\r\n"
          "User-Agent: test agent\r\nX-Forwarded-For: 198.51.100.7\r\n");
    server->Stop();
    const auto lines = Log();
    ASSERT_FALSE(lines.empty());
    EXPECT_TRUE(std::regex_match(
        lines.back(),
        std::regex(std::regex_replace(client, std::regex(R"(\.)"), R"(\.)") +
                   R"( - - \[\d\d/\w{3}/\d{4}:\d\d:\d\d:\d\d [+-]\d{4}\] "GET /hello\.txt HTTP/1\.1" 200 6 "http://a\.example/" "test agent")")))
        << trusted << " " << source << ": " << lines.back();
  }
}

}  // namespace
}  // namespace kelvane::host
