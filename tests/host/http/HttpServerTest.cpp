#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cctype>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "host/http/HttpServer.h"
#include "host/pages/PageObjects.h"
#include "support/HttpClient.h"
#include "support/PageGate.h"

namespace kelvane::host {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using namespace std::string_literals;
using Clock = std::chrono::steady_clock;
using test::Client;
using test::Request;
using test::Response;

constexpr std::string_view kSecret = "TOP-SECRET-OUTSIDE-THE-ROOT";

void Write(const fs::path& file, std::string_view bytes) {
  fs::create_directories(file.parent_path());
  std::ofstream(file, std::ios::binary)
      .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

class HttpServerTest : public testing::Test {
 protected:
  void SetUp() override {
    outer =
        fs::temp_directory_path() / ("kelvane-http-" + std::to_string(::getpid()) + "-" +
                                     testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(outer);
    site = outer / "site";
    for (const char* name : {"secret", "x", "etc/passwd"}) Write(outer / name, kSecret);
    Write(site / "index.html", "<p>home</p>\n");
    Write(site / "hello.txt", "hello\n");
    Write(site / "pic.png", picture);
    Write(site / "sub" / "page.html", "<p>sub</p>\n");
    Write(site / "docs" / "index.html", "<p>docs</p>\n");
    Write(site / "plain.ksp", "A page without script.\n");
    fs::create_symlink(outer / "secret", site / "leak.txt");
    fs::create_directory_symlink(outer, site / "out");
    fs::create_symlink(site / "hello.txt", site / "alias.txt");
  }

  void TearDown() override {
    // Stopping joins every worker, one held by a stuck page too.
    ReleaseStuckPages();
    server.reset();
    fs::remove_all(outer);
  }

  // Starts a server, in place of any before, on a port of the system's
  // choosing, with two threads and two workers unless `options` says
  // otherwise.
  std::uint16_t Serve(ServerOptions options = {}, PageLimits limits = {}, SessionLimits sessions = {}) {
    options.port = 0;
    if (options.threads == 0) options.threads = 2;
    if (options.workers == 0) options.workers = 2;
    server.reset();
    engine = std::make_unique<PageEngine>(site, limits, sessions);
    server = std::make_unique<HttpServer>(*engine, options, [this](std::string_view line) {
      std::lock_guard lock(logMutex);
      log.emplace_back(line);
    });
    std::string error;
    EXPECT_TRUE(server->Start(&error)) << error;
    return server->Port();
  }

  Response Fetch(const std::string& request, bool head = false) {
    Client client(server->Port());
    EXPECT_TRUE(client.Connected());
    client.Send(request);
    return client.Read(head);
  }

  Response Get(std::string_view target) { return Fetch(Request("GET", target)); }

  // A page held inside a call into C++ until ReleaseStuckPages: reading
  // the property Held of a Test.Stuck object waits for the release.
  void MakeStuckPage() {
    test::PageGate::Instance().Close();
    RegisterPageObject("Test.Stuck", [] { return std::make_shared<test::GateObject>(); });
    Write(site / "stuck.ksp", "<% local held = Server.CreateObject('Test.Stuck').Held %>released");
  }

  // Lets every page held by a Test.Stuck object go on.
  static void ReleaseStuckPages() { test::PageGate::Instance().Open(); }

  std::vector<std::string> Log() {
    std::lock_guard lock(logMutex);
    return log;
  }

  const std::string picture = "\x89PNG\r\n\x1a\n\0\0\0\rIHDR\xff\x00\r\n"s;
  fs::path outer;
  fs::path site;
  std::mutex logMutex;
  std::vector<std::string> log;
  std::unique_ptr<PageEngine> engine;
  std::unique_ptr<HttpServer> server;
};

TEST_F(HttpServerTest, ServesAFileWithItsContentTypeAndExactBytes) {
  Serve();
  const auto png = Get("/pic.png");
  EXPECT_EQ(png.status, 200);
  EXPECT_EQ(png.Header("content-type"), "image/png");
  EXPECT_EQ(png.body, picture);
  const auto text = Get("/hello.txt");
  EXPECT_EQ(text.status, 200);
  EXPECT_EQ(text.Header("content-type"), "text/plain; charset=utf-8");
  EXPECT_EQ(text.body, "hello\n");
}

TEST(HttpServerContentType, FollowsTheExtensionInAnyCase) {
  const std::pair<const char*, std::string_view> cases[] = {
      {"a.html", "text/html; charset=utf-8"},
      {"a.HTM", "text/html; charset=utf-8"},
      {"s.css", "text/css; charset=utf-8"},
      {"app.js", "text/javascript; charset=utf-8"},
      {"d.json", "application/json"},
      {"p.png", "image/png"},
      {"p.jpg", "image/jpeg"},
      {"p.JPEG", "image/jpeg"},
      {"p.gif", "image/gif"},
      {"p.bmp", "image/bmp"},
      {"v.svg", "image/svg+xml"},
      {"favicon.ico", "image/vnd.microsoft.icon"},
      {"t.txt", "text/plain; charset=utf-8"},
      {"archive.tar.gz", "application/octet-stream"},
      {"README", "application/octet-stream"},
      {".png", "application/octet-stream"},
      {"png", "application/octet-stream"},
  };
  for (const auto& [name, type] : cases) EXPECT_EQ(ContentTypeFor(name), type) << name;
}

TEST(HttpServerSitePath, DecodesNormalisesAndRefusesEscapes) {
  const std::pair<const char*, std::optional<std::string>> cases[] = {
      {"/", "/"},
      {"/a//b/./c/", "/a/b/c"},
      {"/a/../b", "/b"},
      {"/%41%62", "/Ab"},
      {"/a%2Fb", "/a/b"},
      {"/a+b%20c", "/a+b c"},
      {"/caf%C3%A9", "/caf\xC3\xA9"},
      {"/..", std::nullopt},
      {"/a/../..", std::nullopt},
      {"/%2e%2e/secret", std::nullopt},
      {"/a%2F..%2F..%2Fx", std::nullopt},
      {"/%", std::nullopt},
      {"/%2", std::nullopt},
      {"/%zz", std::nullopt},
      {"/a%00b", std::nullopt},
      {"/a%0Ab", std::nullopt},
      {"/a\\b", std::nullopt},
      {"/a%5Cb", std::nullopt},
      {"a", std::nullopt},
      {"", std::nullopt},
  };
  for (const auto& [raw, path] : cases) EXPECT_EQ(SitePath(raw), path) << raw;
}

TEST_F(HttpServerTest, DotfilesAndEditorLeftoversAreNeitherServedNorRun) {
  for (const char* name : {".env", ".git/config", "sub/.htpasswd", "plain.ksp~", "plain.ksp.bak",
                           ".plain.ksp.swp", "plain.ksp.swo", "plain.ksp.orig", "upload.TMP",
                           "#plain.ksp#", ".hidden.ksp", ".dir/index.html"})
    Write(site / name, std::string(kSecret) + "<%= 'ran' .. 'page' %>");
  Write(site / "notes.tmp.txt", "notes\n");
  fs::create_symlink(site / ".env", site / "env.txt");
  Serve();
  for (const char* target :
       {"/.env", "/%2eenv", "/.git/config", "/.git/", "/sub/.htpasswd", "/plain.ksp~",
        "/plain.ksp.bak", "/.plain.ksp.swp", "/plain.ksp.swo", "/plain.ksp.orig", "/upload.TMP",
        "/%23plain.ksp%23", "/.hidden.ksp", "/.dir/", "/sub/../.env", "/env.txt"}) {
    const auto response = Get(target);
    EXPECT_EQ(response.status, 404) << target;
    EXPECT_EQ(response.body.find(kSecret), std::string::npos) << target;
    EXPECT_EQ(response.body.find("ranpage"), std::string::npos) << target;
  }
  EXPECT_EQ(Get("/notes.tmp.txt").body, "notes\n");
}

TEST_F(HttpServerTest, ASitesSecretsAreNeitherServedNorRunInAnyFolderOrCase) {
  for (const char* name :
       {"global.asa", "Global.ASA", "app.asax", "config.inc", "sub/db/Config.INC", "data.mdb", "data.accdb",
        "data.ldb", "data.laccdb", "site.sqlite", "sub/site.sqlite3", "x.db", "web.config", "sub/Web.Config",
        "config.inc.", "index.asp.", "page.ksp ", "Page.Asp..", "lib.inc/index.html"})
    Write(site / name, std::string(kSecret) + "<%= 'ran' .. 'page' %>");
  Write(site / "page.asp", "<% Response.Write \"ran\" & \"page\" %>");
  Serve();
  for (const char* target :
       {"/global.asa", "/Global.ASA", "/app.asax", "/config.inc", "/config%2einc", "/sub/db/Config.INC",
        "/data.mdb", "/data.accdb", "/data.ldb", "/data.laccdb", "/site.sqlite", "/sub/site.sqlite3", "/x.db",
        "/web.config", "/sub/Web.Config", "/config.inc.", "/config.inc%2e", "/index.asp.", "/page.ksp%20",
        "/Page.Asp..", "/lib.inc/", "/lib.inc/index.html"}) {
    const auto response = Get(target);
    EXPECT_EQ(response.status, 404) << target;
    EXPECT_EQ(response.body.find(kSecret), std::string::npos) << target;
    EXPECT_EQ(response.body.find("ranpage"), std::string::npos) << target;
  }
  // A page runs by every path that reaches it; its source never comes back.
  for (const char* target : {"/page.asp", "/page%2easp", "/page.asp/", "/sub/../page.asp", "/./page.asp"}) {
    const auto response = Get(target);
    EXPECT_EQ(response.status, 200) << target;
    EXPECT_EQ(response.body, "ranpage") << target;
  }

  ServerOptions options;
  options.hiddenNames = *HiddenNames::Parse("*.secret");
  Write(site / "keys.Secret", kSecret);
  Write(site / ".env", kSecret);
  Serve(options);
  EXPECT_EQ(Get("/keys.Secret").status, 404);
  EXPECT_EQ(Get("/config.inc").status, 200) << "a list of the site's own replaces the default";
  EXPECT_EQ(Get("/.env").status, 404) << "dotfiles stay hidden";
}

TEST_F(HttpServerTest, HeadGivesTheHeadersWithoutABody) {
  Serve();
  Client client(server->Port());
  client.Send("HEAD /hello.txt HTTP/1.1\r\nHost: localhost\r\n\r\n");
  const auto head = client.Read(/*head=*/true);
  EXPECT_EQ(head.status, 200);
  EXPECT_EQ(head.Header("content-length"), "6");
  EXPECT_EQ(head.Header("content-type"), "text/plain; charset=utf-8");
  // Body bytes after the HEAD reply would be read as the next status line.
  client.Send(Request("GET", "/index.html"));
  const auto next = client.Read();
  EXPECT_EQ(next.status, 200);
  EXPECT_EQ(next.body, "<p>home</p>\n");
}

TEST_F(HttpServerTest, RootAndFoldersServeTheirIndex) {
  Serve();
  const auto root = Get("/");
  EXPECT_EQ(root.status, 200);
  EXPECT_EQ(root.Header("content-type"), "text/html; charset=utf-8");
  EXPECT_EQ(root.body, "<p>home</p>\n");
  EXPECT_EQ(Get("/docs/").body, "<p>docs</p>\n");
  EXPECT_EQ(Get("/docs").body, "<p>docs</p>\n");
  EXPECT_EQ(Get("/sub/").status, 404);  // a folder without index.html
  EXPECT_EQ(Get("/sub/page.html").status, 200);
}

TEST_F(HttpServerTest, FilesAndPagesAreFoundInAnyLetterCaseInsideTheRootOnly) {
  Serve();
  const std::pair<const char*, const char*> found[] = {
      {"/HELLO.TXT", "hello\n"}, {"/Sub/Page.HTML", "<p>sub</p>\n"}, {"/DOCS/", "<p>docs</p>\n"},
      {"/Plain.KSP", "A page without script.\n"}, {"/Alias.txt", "hello\n"}};
  for (const auto& [target, body] : found) EXPECT_EQ(Get(target).body, body) << target;
  for (const char* target : {"/Leak.txt", "/OUT/secret", "/Missing.html"}) EXPECT_EQ(Get(target).status, 404) << target;
}

TEST_F(HttpServerTest, MissingFileIs404) {
  Serve();
  EXPECT_EQ(Get("/missing.html").status, 404);
  EXPECT_EQ(Get("/sub/missing/deeper.txt").status, 404);
  EXPECT_EQ(Get("/hello.txt/more").status, 404);
}

TEST_F(HttpServerTest, PathsThatLeaveTheRootAreRefused) {
  Serve();
  for (const char* target :
       {"/../etc/passwd", "/%2e%2e/secret", "/sub/../../x", "/%2E%2E%2Fsecret", "/..%2fsecret",
        "/sub/..%5C..%5Csecret", "/hello.txt%00.png", "/./../x", "//../x"}) {
    const auto response = Get(target);
    EXPECT_TRUE(response.status == 400 || response.status == 404)
        << target << ": " << response.status;
    EXPECT_EQ(response.body.find(kSecret), std::string::npos) << target;
  }
  EXPECT_EQ(Get("/sub/../hello.txt").body, "hello\n");  // stays inside: served
}

TEST_F(HttpServerTest, SymlinksOutOfTheRootAreRefused) {
  Serve();
  for (const char* target : {"/leak.txt", "/out/secret", "/out/site/../secret"}) {
    const auto response = Get(target);
    EXPECT_EQ(response.status, 404) << target;
    EXPECT_EQ(response.body.find(kSecret), std::string::npos) << target;
  }
  EXPECT_EQ(Get("/alias.txt").body, "hello\n");  // a link that stays inside is followed
}

TEST_F(HttpServerTest, BodyBeyondTheLimitIs413WithoutBeingRead) {
  Serve();
  // Only the header block is sent: the reply must not wait for the 2 MiB.
  const auto declared = Fetch(Request("POST", "/plain.ksp", "Content-Length: 2097152\r\n"));
  EXPECT_EQ(declared.status, 413);
  EXPECT_EQ(
      Fetch(Request("POST", "/plain.ksp", "Content-Length: 99999999999999999999999\r\n")).status,
      413);

  // A chunked body announces no size: the connection ends once it outgrows
  // the limit.
  Client client(server->Port());
  client.Send(Request("POST", "/plain.ksp", "Transfer-Encoding: chunked\r\n"));
  const std::string chunk = "10000\r\n" + std::string(0x10000, 'b') + "\r\n";
  for (int i = 0; i < 32 && client.Send(chunk); ++i) {
  }
  client.Send("0\r\n\r\n");
  EXPECT_EQ(client.Read().status, 0);
  server->Stop();
  EXPECT_EQ(std::ranges::count_if(
                Log(),
                [](const std::string& line) { return line.starts_with("POST /plain.ksp 413 0 "); }),
            1);
}

TEST_F(HttpServerTest, BodyLimitIsExact) {
  ServerOptions options;
  options.maxBody = 1000;
  Serve(options);
  EXPECT_EQ(Fetch(Request("GET", "/hello.txt", "Content-Length: 1000\r\n", std::string(1000, 'a')))
                .status,
            200);
  EXPECT_EQ(Fetch(Request("GET", "/hello.txt", "Content-Length: 1001\r\n", std::string(1001, 'a')))
                .status,
            413);
  EXPECT_EQ(Fetch(Request("GET", "/hello.txt", "Transfer-Encoding: chunked\r\n",
                          "3e8\r\n" + std::string(1000, 'a') + "\r\n0\r\n\r\n"))
                .status,
            200);
  EXPECT_EQ(Fetch(Request("GET", "/hello.txt", "Transfer-Encoding: chunked\r\n",
                          "3e8\r\n" + std::string(1000, 'a') + "\r\n1\r\na\r\n0\r\n\r\n"))
                .status,
            0);
}

TEST_F(HttpServerTest, AmbiguousFramingIs400) {
  Serve();
  const std::pair<const char*, int> cases[] = {
      {"Content-Length: 5\r\nTransfer-Encoding: chunked\r\n", 400},
      {"Transfer-Encoding: chunked\r\nContent-Length: 5\r\n", 400},
      {"Content-Length: 5\r\nContent-Length: 5\r\n", 400},
      {"Content-Length: 5, 5\r\n", 400},
      {"Content-Length: -5\r\n", 400},
      {"Transfer-Encoding: chunked\r\nTransfer-Encoding: chunked\r\n", 400},
      {"Transfer-Encoding : chunked\r\n", 400},
      {"Content-Length\t: 5\r\n", 400},
      {"Transfer-Encoding: gzip\r\n", 501},
  };
  for (const auto& [headers, status] : cases)
    EXPECT_EQ(Fetch(Request("POST", "/plain.ksp", headers, "hello")).status, status) << headers;
}

TEST_F(HttpServerTest, AmbiguousRequestHeadsGetOne400) {
  Serve();
  const std::pair<std::string, int> cases[] = {
      {"GET /hello.txt HTTP/1.1\r\nHost: a\r\nHost: a\r\n\r\n", 400},
      {"GET /hello.txt HTTP/1.0\r\nHost: a\r\nhost: b\r\n\r\n", 400},
      {"GET /hello.txt HTTP/1.1\r\n\r\n", 400},
      {"GET /hello.txt HTTP/1.1\r\nHost: a\r\nX-A: b\rc\r\n\r\n", 400},
      {"GET /hello.txt HTTP/1.1\r\nHost: a\r\n\rX-A: b\r\n\r\n", 400},
      {"GET /hello.txt HTTP/1.1\r\nHost: a\r\nX\0A: b\r\n\r\n"s, 400},
      {"GET /hello world.txt HTTP/1.1\r\nHost: a\r\n\r\n", 400},
      {"GET /hello.txt?a b HTTP/1.1\r\nHost: a\r\n\r\n", 400},
      {"GET /hello.txt\0.ksp HTTP/1.1\r\nHost: a\r\n\r\n"s, 400},
      {"GET /hello.txt\0 HTTP/1.1\r\nHost: a\r\n\r\n"s, 400},
      {"GET /hello.txt?a\0b HTTP/1.1\r\nHost: a\r\n\r\n"s, 400},
      {"GET /hello.txt%00.ksp HTTP/1.1\r\nHost: a\r\n\r\n", 400},
      {"GET /hello.txt HTTP/1.0\r\n\r\n", 200},
      {"GET /hello.txt HTTP/1.1\r\nHost: a\r\nX-A: b\tc\r\n\r\n", 200},
  };
  for (const auto& [request, status] : cases) {
    const auto response = Fetch(request);
    EXPECT_EQ(response.status, status) << testing::PrintToString(request);
    EXPECT_EQ(response.body.find("HTTP/1."), std::string::npos)
        << "a second header block: " << testing::PrintToString(request);
  }
}

TEST_F(HttpServerTest, OversizedHeadersGet431) {
  Serve();
  const std::string longLine = "X-Big: " + std::string(9 * 1024, 'a') + "\r\n";
  EXPECT_EQ(Fetch(Request("GET", "/hello.txt", longLine)).status, 431);

  // Host and Connection are two of the 100.
  std::string headers;
  for (int i = 0; i < 98; ++i) headers += "X-H" + std::to_string(i) + ": v\r\n";
  EXPECT_EQ(Fetch(Request("GET", "/hello.txt", headers)).status, 200);
  headers += "X-Last: v\r\n";
  EXPECT_EQ(Fetch(Request("GET", "/hello.txt", headers)).status, 431);

  // Near the connection's memory, as the library grows its buffer.
  std::string large;
  for (int i = 0; i < 6; ++i) large += "X-L" + std::to_string(i) + ": " + std::string(7 * 1024, 'a') + "\r\n";
  EXPECT_EQ(Fetch(Request("GET", "/hello.txt", large)).status, 200);

  // Beyond the connection's memory: the library refuses it, or closes.
  const auto huge =
      Fetch(Request("GET", "/hello.txt", "X-Huge: " + std::string(100 * 1024, 'a') + "\r\n"));
  EXPECT_TRUE(huge.status == 0 || (huge.status >= 400 && huge.status < 500)) << huge.status;
  EXPECT_EQ(Get("/hello.txt").status, 200);
}

TEST_F(HttpServerTest, MalformedRequestLineGets400OrAClose) {
  Serve();
  for (const char* request : {"GARBAGE\r\n\r\n", "GET\r\n\r\n", "GET /hello.txt HTTP/1.1 x\r\n\r\n",
                              "\x01\x02\x03\r\n\r\n", "GET hello.txt HTTP/1.1\r\nHost: a\r\n\r\n",
                              "GET /hello.txt HTTP/1.1\r\n\r\n" /* no Host */}) {
    const auto response = Fetch(request);
    EXPECT_TRUE(response.status == 400 || response.status == 0)
        << testing::PrintToString(std::string(request)) << ": " << response.status;
  }
  EXPECT_EQ(Get("/hello.txt").status, 200);
}

TEST_F(HttpServerTest, OnlyGetHeadAndPostAreAllowed) {
  Serve();
  for (const char* method : {"PUT", "DELETE", "OPTIONS", "PATCH", "BREW"}) {
    const auto response = Fetch(Request(method, "/hello.txt"));
    EXPECT_EQ(response.status, 405) << method;
    EXPECT_EQ(response.Header("allow"), "GET, HEAD, POST") << method;
  }
  const auto post = Fetch(Request("POST", "/hello.txt", "Content-Length: 2\r\n", "ab"));
  EXPECT_EQ(post.status, 405);  // only pages take a POST
  EXPECT_EQ(post.Header("allow"), "GET, HEAD");
}

TEST_F(HttpServerTest, IdleClientIsDroppedWhileOthersAreServed) {
  ServerOptions options;
  options.threads = 1;
  options.connectionTimeoutSeconds = 1;
  Serve(options);
  const auto start = Clock::now();
  Client idle(server->Port(), 4s);
  Client half(server->Port(), 4s);
  half.Send("GET /hello.txt HTTP/1.1\r\nHost: loc");
  const auto served = Get("/hello.txt");
  EXPECT_EQ(served.status, 200);
  EXPECT_LT(Clock::now() - start, 800ms);  // the only thread was not held
  EXPECT_TRUE(idle.ClosedByServer());
  EXPECT_TRUE(half.ClosedByServer());
  EXPECT_GE(Clock::now() - start, 900ms);
}

TEST_F(HttpServerTest, OneAddressCannotTakeEveryConnection) {
  const std::string keepAlive = "GET /hello.txt HTTP/1.1\r\nHost: localhost\r\n\r\n";
  Serve();  // the default lets a load test of 64 connections through
  std::vector<std::unique_ptr<Client>> clients;
  for (int i = 0; i < 64; ++i) clients.push_back(std::make_unique<Client>(server->Port()));
  for (auto& client : clients) client->Send(keepAlive);
  for (auto& client : clients) EXPECT_EQ(client->Read().status, 200);
  clients.clear();

  ServerOptions options;
  options.maxConnectionsPerAddress = 3;
  Serve(options);
  for (int i = 0; i < 3; ++i) {
    clients.push_back(std::make_unique<Client>(server->Port()));
    clients.back()->Send(keepAlive);
    EXPECT_EQ(clients.back()->Read().status, 200);
  }
  Client refused(server->Port());
  EXPECT_TRUE(refused.ClosedByServer());
  Client elsewhere(server->Port(), 3s, "127.0.0.2");
  elsewhere.Send(Request("GET", "/hello.txt"));
  EXPECT_EQ(elsewhere.Read().status, 200);
}

TEST_F(HttpServerTest, AClientReconnectingPastItsCapDoesNotFloodTheLog) {
  ServerOptions options;
  options.maxConnectionsPerAddress = 2;
  Serve(options);
  {
    Client first(server->Port()), second(server->Port());
    first.Send("GET /hello.txt HTTP/1.1\r\n");
    second.Send("GET /hello.txt HTTP/1.1\r\n");
    std::this_thread::sleep_for(100ms);
    for (int i = 0; i < 300; ++i) EXPECT_TRUE(Client(server->Port()).ClosedByServer()) << i;
  }
  server->Stop();
  std::vector<std::string> limits;
  std::ranges::copy_if(Log(), std::back_inserter(limits),
                       [](const std::string& line) { return line.find("connection limit") != std::string::npos; });
  ASSERT_GE(limits.size(), 1u);
  EXPECT_LE(limits.size(), 3u) << "one a second, and the count at the stop";
  EXPECT_NE(limits.back().find("more like this not logged]"), std::string::npos) << limits.back();
}

TEST_F(HttpServerTest, RequestHeadsHaveADeadlineThatTricklingDoesNotMove) {
  ServerOptions options;
  options.headerTimeoutSeconds = 1;
  Serve(options);
  const auto start = Clock::now();
  Client garbage(server->Port(), 5s);
  garbage.Send("\0\x01garbage\r\n\r\n"s);  // the library skips it as an empty line, and waits
  Client idle(server->Port(), 5s);
  idle.Send("GET /hello.txt HTTP/1.1\r\nHost: localhost\r\n\r\n");
  EXPECT_EQ(idle.Read().status, 200);
  // One byte every 100 ms: each would restart an idle timeout.
  Client dripping(server->Port(), 5s);
  const std::string head = Request("GET", "/hello.txt", "X-Slow: " + std::string(30, 's') + "\r\n");
  // Within the deadline of each: a new request every 500 ms is served.
  Client steady(server->Port(), 5s);
  std::size_t sent = 0;
  for (; sent < head.size() && dripping.Send(head.substr(sent, 1)); ++sent) {
    if (sent % 5 == 0) {
      steady.Send("GET /hello.txt HTTP/1.1\r\nHost: localhost\r\n\r\n");
      EXPECT_EQ(steady.Read().status, 200) << sent;
    }
    std::this_thread::sleep_for(100ms);
  }
  EXPECT_LT(sent, head.size()) << "the whole head came through, a byte at a time";
  EXPECT_TRUE(garbage.ClosedByServer());
  EXPECT_TRUE(idle.ClosedByServer());
  EXPECT_LT(Clock::now() - start, 4s);
}

TEST_F(HttpServerTest, SlowHeadsFromManyAddressesDoNotHoldANormalClientOut) {
  // Every connection allowed is taken, a few from each address, by clients
  // that send their request line and nothing more.
  ServerOptions options;
  options.maxConnections = 20;
  Serve(options);
  std::vector<std::unique_ptr<Client>> slow;
  for (int i = 0; i < 20; ++i) {
    const std::string source = "127.0.0." + std::to_string(2 + i % 5);
    slow.push_back(std::make_unique<Client>(server->Port(), 15s, source.c_str()));
    slow.back()->Send("GET /hello.txt HTTP/1.1\r\n");
  }
  std::this_thread::sleep_for(100ms);
  const auto start = Clock::now();
  Client normal(server->Port(), 8s);
  normal.Send(Request("GET", "/hello.txt"));
  EXPECT_EQ(normal.Read().status, 200);
  EXPECT_LT(Clock::now() - start, 3s) << "not the whole header time of 10 s";
}

TEST_F(HttpServerTest, ClientLeavingMidResponseDoesNotHarmTheServer) {
  Write(site / "big.bin", std::string(std::size_t{16} << 20, 'z'));
  ServerOptions options;
  options.threads = 1;
  Serve(options);
  for (int i = 0; i < 3; ++i) {
    Client leaving(server->Port());
    leaving.Send(Request("GET", "/big.bin"));
    EXPECT_GT(leaving.Receive(4096), 0u);
  }
  const auto next = Get("/hello.txt");
  EXPECT_EQ(next.status, 200);
  EXPECT_EQ(next.body, "hello\n");
}

TEST_F(HttpServerTest, LogsOneLinePerRequest) {
  Serve();
  Get("/hello.txt");
  Get("/missing?user=x");
  Fetch(Request("HEAD", "/"), /*head=*/true);
  Fetch(Request("PUT", "/a%20b"));
  server->Stop();
  const auto lines = Log();
  ASSERT_EQ(lines.size(), 4u);
  std::vector<std::string> sorted = lines;
  std::ranges::sort(sorted);
  const std::regex expected[] = {
      std::regex(R"(GET /hello\.txt 200 6 \d+us)"),
      std::regex(R"(GET /missing 404 14 \d+us)"),
      std::regex(R"(HEAD / 200 0 \d+us)"),
      std::regex(R"(PUT /a%20b 405 23 \d+us)"),
  };
  for (std::size_t i = 0; i < sorted.size(); ++i)
    EXPECT_TRUE(std::regex_match(sorted[i], expected[i])) << sorted[i];
}

TEST_F(HttpServerTest, PagesOfBothLanguagesRunAndTheirSessionCookieReachesTheClient) {
  Write(site / "Visit.ASP", "<%@ Language=\"VBScript\" %>\n<% Session(\"seen\") = True %>VBScript <%= 6 * 7 %>");
  Serve();
  const auto page = Get("/plain.ksp");
  EXPECT_EQ(page.status, 200);
  EXPECT_EQ(page.body, "A page without script.\n");
  const auto asp = Get("/Visit.ASP");
  EXPECT_EQ(asp.status, 200);
  EXPECT_EQ(asp.body, "VBScript 42");
  EXPECT_EQ(asp.Header("set-cookie").rfind("KELVANESESSION=", 0), 0u) << asp.Header("set-cookie");
}

// The Cookie header that carries the session a response made.
std::string SessionCookie(const Response& response) {
  const std::string cookie = response.Header("set-cookie");
  return "Cookie: " + cookie.substr(0, cookie.find(';')) + "\r\n";
}

TEST_F(HttpServerTest, GlobalAsaStartsTheApplicationOnceAndEachSessionBeforeItsPageGoesOn) {
  Write(site / "Global.ASA", R"(<SCRIPT LANGUAGE="VBScript" RUNAT="Server">
Sub Application_OnStart
  Application("starts") = Application("starts") + 1
End Sub
Sub Session_OnStart
  Session("greeting") = "hello " & Request.QueryString("who")
  Application.Lock
  Application("sessions") = Application("sessions") + 1
  Application.Unlock
End Sub
</SCRIPT>
<script>Application_OnStart()</script>)");
  Write(site / "show.asp", R"(<%= Application("starts") %>|<%= Session("greeting") %>|<%= Application("sessions") %>)");
  Write(site / "starts.ksp", R"(<%= Application("starts") %>)");
  ServerOptions options;
  options.workers = 4;
  Serve(options);
  std::vector<std::string> starts(4);
  std::vector<std::thread> requests;
  for (auto& seen : starts) requests.emplace_back([&] { seen = Get("/starts.ksp").body; });
  for (auto& request : requests) request.join();
  EXPECT_EQ(starts, std::vector<std::string>(4, "1")) << "once, before the first page of any language";
  const auto first = Get("/show.asp?who=ann");
  EXPECT_EQ(first.body, "1|hello ann|1");
  EXPECT_EQ(Fetch(Request("GET", "/show.asp?who=bob", SessionCookie(first))).body, "1|hello ann|1")
      << "once per session";
  EXPECT_EQ(Get("/show.asp?who=cy").body, "1|hello cy|2");
  EXPECT_EQ(Get("/global.asa").status, 404);
}

TEST_F(HttpServerTest, GlobalAsaEndsAnAbandonedSessionWithItsValues) {
  Write(site / "global.asa", R"(<script language="VBScript" runat="Server">
Sub Session_OnEnd
  Application("ended") = Application("ended") & Session("name") & ";"
End Sub
</script>)");
  Write(site / "in.asp", R"(<% Session("name") = Request("n") %>)");
  Write(site / "out.asp", R"(<% Session.Abandon %>)");
  Write(site / "ended.asp", R"(<%= Application("ended") %>)");
  Serve();
  const std::string ann = SessionCookie(Get("/in.asp?n=ann"));
  const std::string bob = SessionCookie(Get("/in.asp?n=bob"));
  EXPECT_EQ(Get("/ended.asp").body, "");
  Fetch(Request("GET", "/out.asp", bob));
  EXPECT_EQ(Get("/ended.asp").body, "bob;");
  Fetch(Request("GET", "/out.asp", ann));
  EXPECT_EQ(Get("/ended.asp").body, "bob;ann;");
}

TEST_F(HttpServerTest, AGlobalAsaThatFailsFailsEveryAspPageUntilItIsMended) {
  Write(site / "global.asa", "<script language=\"vbscript\" runat=\"server\">\nSub Application_OnStart\n  If Then\nEnd Sub\n</script>\n");
  Write(site / "page.asp", "<% Session(\"a\") = 1 %>done");
  Serve();
  for (int i = 0; i < 2; ++i) {
    const auto failed = Get("/page.asp");
    EXPECT_EQ(failed.status, 500);
    EXPECT_NE(failed.body.find("at: global.asa:3"), std::string::npos) << failed.body;
  }
  EXPECT_EQ(Get("/plain.ksp").status, 200);

  std::this_thread::sleep_for(20ms);
  Write(site / "global.asa", "<script language=\"vbscript\" runat=\"server\">\nSub Session_OnStart\n  Response.Write \"[\"\n  x = 1 / 0\nEnd Sub\n</script>\n");
  const auto stopped = Get("/page.asp");
  EXPECT_EQ(stopped.status, 500);
  EXPECT_NE(stopped.body.find("at: global.asa:4"), std::string::npos) << stopped.body;
  EXPECT_EQ(stopped.body.find("done"), std::string::npos) << "the page goes no further";

  std::this_thread::sleep_for(20ms);
  Write(site / "global.asa", "<script language=\"vbscript\" runat=\"server\">\nSub Session_OnStart\n  Response.Write \"[\"\nEnd Sub\n</script>\n");
  EXPECT_EQ(Get("/page.asp").body, "[done");
}

TEST_F(HttpServerTest, TheRequestsOfOneSessionRunOneAtATime) {
  Write(site / "count.asp",
        R"(<% n = Session("n") : t = Timer : Do While Timer - t < 0.2 : Loop : Session("n") = n + 1 %><%= Session("n") %>)");
  ServerOptions options;
  options.workers = 4;
  Serve(options, {5s});
  const std::string cookie = SessionCookie(Get("/count.asp"));
  std::vector<std::string> seen(4);
  std::vector<std::thread> requests;
  for (std::size_t i = 0; i < seen.size(); ++i)
    requests.emplace_back([&, i] { seen[i] = Fetch(Request("GET", "/count.asp", cookie)).body; });
  for (auto& request : requests) request.join();
  std::sort(seen.begin(), seen.end());
  EXPECT_EQ(seen, (std::vector<std::string>{"2", "3", "4", "5"})) << "no write lost";
}

TEST_F(HttpServerTest, SessionsAreCountedByTheClientThatATrustedProxyNames) {
  Write(site / "in.asp", R"(<% Session("user") = Request("u") %>)");
  Write(site / "who.asp", R"(<%= Session("user") %>)");
  ServerOptions options;
  options.trustedProxies = *AddressSet::Parse("127.0.0.1");
  Serve(options, {}, {.perAddress = 2});
  const auto login = [&](const char* user, const char* client) {
    return Fetch(Request("GET", "/in.asp?u="s + user, "X-Forwarded-For: "s + client + "\r\n"));
  };
  const std::string alice = SessionCookie(login("alice", "10.0.0.1"));
  for (int i = 0; i < 3; ++i) login("mallory", "10.0.0.2");
  EXPECT_EQ(Fetch(Request("GET", "/who.asp", alice)).body, "alice") << "another client makes room from its own";
  for (int i = 0; i < 2; ++i) login("alice", "10.0.0.1");
  EXPECT_EQ(Fetch(Request("GET", "/who.asp", alice)).body, "") << "the client's own least recently used went";
}

// The request id at the end of a failure's reply; empty when there is none.
std::string RequestId(const std::string& body) {
  std::smatch id;
  return std::regex_search(body, id, std::regex("request:? ([0-9a-f]{8})\n$")) ? id[1].str() : "";
}

TEST_F(HttpServerTest, AFailingPagesDetailsGoToTheLogAndOnlyToTheClientsAllowedThem) {
  Write(site / "fail.asp", "<% Set img = Server.CreateObject(\"Kelvane.Image\")\nimg.PlotCircle 10, 10, -1 %>");
  const std::string visitor = "X-Forwarded-For: 203.0.113.9\r\n";
  struct Case {
    PageErrors shown;
    const char* proxies;
    const char* insiders;  // endpoints-from
    std::string headers;
    bool details;
  };
  const Case cases[] = {
      {PageErrors::Local, "", "192.0.2.1", "", true},                       // loopback
      {PageErrors::Local, "127.0.0.1", "127.0.0.1", visitor, false},        // behind a trusted proxy
      {PageErrors::Local, "", "127.0.0.1", visitor, false},                 // forwarded, not trusted
      {PageErrors::Local, "127.0.0.1", "203.0.113.0/24", visitor, true},    // one of endpoints-from
      {PageErrors::All, "127.0.0.1", "127.0.0.1", visitor, true},
      {PageErrors::None, "", "127.0.0.1", "", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.proxies) + " " + c.insiders + " " + c.headers);
    ServerOptions options;
    options.pageErrors = c.shown;
    options.trustedProxies = *AddressSet::Parse(c.proxies);
    options.endpointClients = *AddressSet::Parse(c.insiders);
    Serve(options);
    const auto response = Fetch(Request("GET", "/fail.asp", c.headers));
    EXPECT_EQ(response.status, 500);
    const std::string id = RequestId(response.body);
    ASSERT_EQ(id.size(), 8u) << response.body;
    if (c.details) {
      EXPECT_NE(response.body.find("description: Invalid procedure call or argument\nat: fail.asp:2\n"),
                std::string::npos)
          << response.body;
    } else {
      EXPECT_EQ(response.body, "500 Internal Server Error\nrequest " + id + "\n");
    }
    EXPECT_EQ(std::ranges::count_if(Log(), [&](const std::string& line) {
                return line.starts_with("http: request " + id + " failed: GET /fail.asp: source: Kelvane | number: 5 |") &&
                       line.ends_with("| at: fail.asp:2 | page: fail.asp");
              }),
              1)
        << testing::PrintToString(Log());
  }
}

TEST_F(HttpServerTest, TheSitesErrorPageTellsTheOthersWhatFailedAndNeverLoops) {
  Write(site / "fail.asp", "<%\nx = Server.MapPath(\"../out\") %>");
  Write(site / "errors" / "500.asp",
        "<% Set e = Server.GetLastError() %>sorry: <%= e.Description %> at <%= e.File %>:<%= e.Line %>");
  Write(site / "errors" / "broken.ksp", "<% local e = Server.GetLastError(); error('again') %>");
  const std::string visitor = "X-Forwarded-For: 203.0.113.9\r\n";
  ServerOptions options;
  options.trustedProxies = *AddressSet::Parse("127.0.0.1");
  options.errorPage = "/errors/500.asp";
  Serve(options);
  const auto shown = Fetch(Request("GET", "/fail.asp", visitor));
  EXPECT_EQ(shown.status, 500);
  EXPECT_EQ(shown.Header("content-type"), "text/html");
  EXPECT_EQ(shown.body, "sorry: Server.MapPath: '../out' leaves the site at /fail.asp:2");
  EXPECT_NE(Get("/fail.asp").body.find("at: fail.asp:2\n"), std::string::npos) << "a local client sees the details";
  EXPECT_EQ(Get("/errors/500.asp").body, "sorry:  at :0") << "asked for itself, nothing failed";

  // An error page that fails in turn, or is missing, or is the failing page:
  // the plain page, once.
  for (const char* page : {"/errors/broken.ksp", "/errors/missing.asp", "/fail.asp"}) {
    options.errorPage = page;
    Serve(options);
    const auto plain = Fetch(Request("GET", "/fail.asp", visitor));
    const std::string id = RequestId(plain.body);
    EXPECT_EQ(plain.body, "500 Internal Server Error\nrequest " + id + "\n") << page;
    EXPECT_EQ(std::ranges::count_if(Log(), [&](const std::string& line) { return line.find(id) != std::string::npos; }),
              2)
        << page << ": the page's failure and its error page's";
  }
  options.errorPage = "/../outside.asp";
  HttpServer outside(*engine, options);
  std::string error;
  EXPECT_FALSE(outside.Start(&error));
}

TEST_F(HttpServerTest, TheSessionCookieIsSecureWhenATrustedProxySaysTheRequestCameOverTls) {
  Write(site / "visit.asp", "<% Session(\"seen\") = True %>");
  const std::tuple<const char*, const char*, bool> cases[] = {
      {"127.0.0.1", "X-Forwarded-Proto: https\r\n", true},
      {"127.0.0.1", "X-Forwarded-Proto: HTTPS\r\n", true},
      {"127.0.0.1", "X-Forwarded-Proto: https\r\nX-Forwarded-Proto: http\r\n", false},  // the nearest says http
      {"127.0.0.1", "X-Forwarded-Proto: http\r\n", false},
      {"127.0.0.1", "", false},
      {"", "X-Forwarded-Proto: https\r\n", false},  // from a client, not a trusted proxy
  };
  for (const auto& [proxies, headers, secure] : cases) {
    ServerOptions options;
    options.trustedProxies = *AddressSet::Parse(proxies);
    Serve(options);
    const std::string cookie = Fetch(Request("GET", "/visit.asp", headers)).Header("set-cookie");
    EXPECT_TRUE(cookie.starts_with("KELVANESESSION=")) << cookie;
    EXPECT_EQ(cookie.ends_with("; Secure"), secure) << proxies << " " << headers << ": " << cookie;
  }
}

// Each server variable of a page's request, "NAME=value" a line, line
// breaks in values shown as \r and \n.
std::map<std::string, std::string> ServerVariablesOf(const std::string& body, std::vector<std::string>* names) {
  std::map<std::string, std::string> variables;
  std::istringstream lines(body);
  for (std::string line; std::getline(lines, line);) {
    const auto equals = line.find('=');
    variables[line.substr(0, equals)] = line.substr(equals + 1);
    if (names) names->push_back(line.substr(0, equals));
  }
  return variables;
}

TEST_F(HttpServerTest, APageReadsEveryServerVariableOfItsRequest) {
  Write(site / "vars.asp", R"(<% For Each v In Request.ServerVariables
Response.Write v & "=" & Replace(Replace(Request.ServerVariables(v), vbCr, "\r"), vbLf, "\n") & vbLf
Next %>)");
  const std::uint16_t port = Serve();
  const std::string root = fs::weakly_canonical(site).string();
  const auto direct = Fetch(Request("POST", "/vars.asp?a=%20b&c",
                                    "Content-Type: application/x-www-form-urlencoded\r\nContent-Length: 3\r\n"
                                    "Cookie: c=1\r\n",
                                    "x=1"));
  ASSERT_EQ(direct.status, 200) << direct.body;
  std::vector<std::string> names;
  const auto variables = ServerVariablesOf(direct.body, &names);
  const std::map<std::string, std::string> expected = {
      {"ALL_HTTP", "HTTP_HOST:localhost\\nHTTP_CONNECTION:close\\nHTTP_CONTENT_TYPE:application/x-www-form-urlencoded\\n"
                   "HTTP_CONTENT_LENGTH:3\\nHTTP_COOKIE:c=1\\n"},
      {"ALL_RAW", "Host: localhost\\r\\nConnection: close\\r\\nContent-Type: application/x-www-form-urlencoded\\r\\n"
                  "Content-Length: 3\\r\\nCookie: c=1\\r\\n"},
      {"APPL_MD_PATH", "/LM/W3SVC/1/ROOT"}, {"APPL_PHYSICAL_PATH", root + "/"},
      {"AUTH_TYPE", ""}, {"AUTH_USER", ""}, {"CERT_SUBJECT", ""},
      {"CONTENT_LENGTH", "3"}, {"CONTENT_TYPE", "application/x-www-form-urlencoded"},
      {"GATEWAY_INTERFACE", "CGI/1.1"}, {"HTTPS", "off"}, {"INSTANCE_ID", "1"},
      {"LOCAL_ADDR", "127.0.0.1"}, {"LOGON_USER", ""}, {"PATH_INFO", "/vars.asp"},
      {"PATH_TRANSLATED", root + "/vars.asp"}, {"QUERY_STRING", "a=%20b&c"}, {"REMOTE_ADDR", "127.0.0.1"},
      {"REMOTE_HOST", "127.0.0.1"}, {"REMOTE_USER", ""}, {"REQUEST_METHOD", "POST"}, {"SCRIPT_NAME", "/vars.asp"},
      {"SERVER_NAME", "localhost"}, {"SERVER_PORT", std::to_string(port)}, {"SERVER_PORT_SECURE", "0"},
      {"SERVER_PROTOCOL", "HTTP/1.1"}, {"SERVER_SOFTWARE", "Kelvane"}, {"UNENCODED_URL", "/vars.asp?a=%20b&c"},
      {"URL", "/vars.asp"}, {"HTTP_HOST", "localhost"}, {"HTTP_COOKIE", "c=1"}, {"HTTP_CONTENT_LENGTH", "3"},
  };
  for (const auto& [name, value] : expected) {
    ASSERT_TRUE(variables.contains(name)) << name;
    EXPECT_EQ(variables.at(name), value) << name;
  }
  const std::string& remotePort = variables.at("REMOTE_PORT");
  EXPECT_TRUE(!remotePort.empty() && std::ranges::all_of(remotePort, ::isdigit) && remotePort != std::to_string(port))
      << remotePort;
  EXPECT_EQ(names.front(), "ALL_HTTP");
  EXPECT_LT(std::ranges::find(names, "URL"), std::ranges::find(names, "HTTP_HOST")) << "the headers come last";

  // Behind a trusted proxy, the visitor is the one it forwards, on the
  // scheme and port it says.
  ServerOptions options;
  options.trustedProxies = *AddressSet::Parse("127.0.0.1");
  Serve(options);
  const std::tuple<const char*, const char*, const char*, const char*> proxied[] = {
      {"X-Forwarded-For: 203.0.113.9\r\nX-Forwarded-Proto: https\r\n", "on", "1", "443"},
      {"X-Forwarded-For: 203.0.113.9\r\n", "off", "0", "80"},
      {"X-Forwarded-For: 203.0.113.9\r\nX-Forwarded-Proto: https\r\nX-Forwarded-Port: 8443\r\n", "on", "1", "8443"},
      {"X-Forwarded-For: 203.0.113.9\r\nX-Forwarded-Port: 70000\r\n", "off", "0", "80"},
  };
  for (const auto& [headers, https, secure, serverPort] : proxied) {
    const auto forwarded = ServerVariablesOf(Fetch(Request("GET", "/vars.asp", headers)).body, nullptr);
    EXPECT_EQ(forwarded.at("REMOTE_ADDR"), "203.0.113.9") << headers;
    EXPECT_EQ(forwarded.at("REMOTE_HOST"), "203.0.113.9") << headers;
    EXPECT_EQ(forwarded.at("REMOTE_PORT"), "") << headers << "the proxy's port is not the visitor's";
    EXPECT_EQ(forwarded.at("HTTPS"), https) << headers;
    EXPECT_EQ(forwarded.at("SERVER_PORT_SECURE"), secure) << headers;
    EXPECT_EQ(forwarded.at("SERVER_PORT"), serverPort) << headers;
  }
}

TEST_F(HttpServerTest, PageStatusOutside200To599Gives500) {
  // 1xx would leave the client waiting for the reply proper, or stream 102s.
  const std::pair<int, int> cases[] = {{100, 500}, {101, 500}, {102, 500}, {103, 500},
                                       {199, 500}, {200, 200}, {404, 404}, {599, 599}};
  for (const auto& [status, _] : cases)
    Write(site / (std::to_string(status) + ".ksp"),
          "<% Response.Status = " + std::to_string(status) + " %>body");
  Serve();
  for (const auto& [status, expected] : cases)
    EXPECT_EQ(Get("/" + std::to_string(status) + ".ksp").status, expected) << status;
}

TEST_F(HttpServerTest, APageStuckInACallGets500InTimeAndHoldsNothingElse) {
  MakeStuckPage();
  ServerOptions options;
  options.threads = 1;
  options.workers = 1;
  Serve(options, {300ms});
  const auto start = Clock::now();
  Client stuck(server->Port(), 5s);
  stuck.Send(Request("GET", "/stuck.ksp"));
  EXPECT_EQ(Get("/hello.txt").status, 200) << "the only I/O thread is free";
  EXPECT_EQ(stuck.Read().status, 500);
  const auto waited = Clock::now() - start;
  EXPECT_GE(waited, 300ms);
  EXPECT_LT(waited, 3s) << "the time limit and a small grace";
  EXPECT_EQ(Get("/plain.ksp").status, 200) << "a new worker took the stuck one's place";
}

TEST_F(HttpServerTest, StuckWorkersAreReplacedUpToTheCapThenAFullQueueGets503) {
  MakeStuckPage();
  ServerOptions options;
  options.workers = 1;
  options.queueDepth = 1;
  options.maxStuckWorkers = 1;
  Serve(options, {300ms});
  // One stuck worker is replaced: the second is not.
  for (int i = 0; i < 2; ++i) EXPECT_EQ(Fetch(Request("GET", "/stuck.ksp")).status, 500) << i;
  Client waiting(server->Port(), 5s);
  waiting.Send(Request("GET", "/plain.ksp"));
  std::this_thread::sleep_for(100ms);  // it waits in the queue
  const auto full = Get("/plain.ksp");
  EXPECT_EQ(full.status, 503);
  EXPECT_EQ(full.Header("retry-after"), "1");
  EXPECT_EQ(Get("/hello.txt").status, 200);
  ReleaseStuckPages();
  EXPECT_EQ(waiting.Read().body, "A page without script.\n") << "a held worker came back";
}

TEST_F(HttpServerTest, MoreStuckPagesThanWorkersLeaveThePoolServingWithinTheCap) {
  MakeStuckPage();
  Serve({}, {300ms});  // two workers, and the default cap
  // Two at a time, so that each finds a worker and holds it.
  for (int round = 0; round < 2; ++round) {
    Client first(server->Port(), 5s), second(server->Port(), 5s);
    first.Send(Request("GET", "/stuck.ksp"));
    second.Send(Request("GET", "/stuck.ksp"));
    EXPECT_EQ(first.Read().status, 500) << round;
    EXPECT_EQ(second.Read().status, 500) << round;
  }
  for (int i = 0; i < 4; ++i) EXPECT_EQ(Get("/plain.ksp").status, 200) << i;
}

TEST_F(HttpServerTest, StopGivesUpOnAWorkerStuckPastItsTimeAndNamesItsPage) {
  MakeStuckPage();
  Serve({}, {300ms});
  EXPECT_EQ(Get("/stuck.ksp").status, 500);
  const auto start = Clock::now();
  EXPECT_FALSE(server->Stop());
  EXPECT_LT(Clock::now() - start, 1s) << "the stuck page's time and grace are long over";
  const auto log = Log();
  EXPECT_EQ(std::count(log.begin(), log.end(),
                       "http: stopping without the worker still running /stuck.ksp past its time limit"),
            1);
}

TEST_F(HttpServerTest, StopFinishesARequestInFlightAndIsIdempotent) {
  MakeStuckPage();
  Serve();
  Client page(server->Port(), 5s);
  page.Send(Request("GET", "/stuck.ksp"));
  Client client(server->Port());
  client.Send("GET /hello.txt HTTP/1.1\r\nHost: localhost\r\n");
  std::this_thread::sleep_for(100ms);  // the request line has reached the server
  std::atomic<bool> stopped = false;
  std::thread stopper([&] {
    server->Stop();
    stopped = true;
  });
  std::this_thread::sleep_for(200ms);
  EXPECT_FALSE(stopped);
  client.Send("\r\n");
  const auto response = client.Read();
  ReleaseStuckPages();
  EXPECT_EQ(page.Read().body, "released");
  stopper.join();
  EXPECT_EQ(response.status, 200);
  EXPECT_EQ(response.body, "hello\n");
  EXPECT_EQ(server->Port(), 0);
  server->Stop();
}

TEST_F(HttpServerTest, AConnectionAcceptedBeforeAStopIsServedAfterIt) {
  // A proxy connects, then sends: the stop must not drop what it accepted.
  Serve();
  Client early(server->Port(), 5s);
  std::this_thread::sleep_for(100ms);  // accepted, its request not yet sent
  std::thread stopper([&] { server->Stop(); });
  std::this_thread::sleep_for(200ms);
  early.Send(Request("GET", "/plain.ksp"));
  const auto response = early.Read();
  stopper.join();
  EXPECT_EQ(response.status, 200);
  EXPECT_EQ(response.body, "A page without script.\n");
}

TEST_F(HttpServerTest, AConnectionStillInTheListenQueueWhenAStopBeginsIsServed) {
  // The only connection the server may hold is a page's; the system
  // completes the next connection and keeps its request until the server
  // has room. A proxy that sent a request there must get the answer, not a
  // reset, however the stop falls; one that connects once the stop has
  // begun is refused.
  MakeStuckPage();
  ServerOptions options;
  options.threads = 1;
  options.maxConnections = 1;
  Serve(options);
  Client page(server->Port(), 5s);
  page.Send(Request("GET", "/stuck.ksp"));
  std::this_thread::sleep_for(100ms);
  Client queued(server->Port(), 5s);
  ASSERT_TRUE(queued.Connected());
  queued.Send(Request("GET", "/hello.txt"));
  std::this_thread::sleep_for(100ms);
  const std::uint16_t port = server->Port();
  std::thread stopper([&] { server->Stop(); });
  std::this_thread::sleep_for(100ms);
  std::atomic<bool> lateConnected = true;
  std::thread latecomer([&] { lateConnected = Client(port, 5s).Connected(); });
  std::this_thread::sleep_for(100ms);
  ReleaseStuckPages();
  EXPECT_EQ(page.Read().body, "released");
  const auto response = queued.Read();
  stopper.join();
  latecomer.join();
  EXPECT_FALSE(lateConnected);
  EXPECT_EQ(response.status, 200);
  EXPECT_EQ(response.body, "hello\n");
}

TEST_F(HttpServerTest, StartReportsWhyItCannotListen) {
  const std::uint16_t taken = Serve();
  ServerOptions options;
  options.port = taken;
  std::vector<std::string> reasons;
  HttpServer second(*engine, options, [&](std::string_view line) { reasons.emplace_back(line); });
  std::string error;
  EXPECT_FALSE(second.Start(&error));
  EXPECT_NE(error.find(std::to_string(taken)), std::string::npos) << error;
  EXPECT_TRUE(std::ranges::any_of(reasons, [](const std::string& line) {
    return line.starts_with("http: ") && line.find("in use") != std::string::npos;
  })) << testing::PrintToString(reasons);

  options.listen = "localhost";
  HttpServer named(*engine, options, [](std::string_view) {});
  EXPECT_FALSE(named.Start(&error));
  EXPECT_NE(error.find("not an IP address"), std::string::npos) << error;

  std::string again;
  EXPECT_FALSE(server->Start(&again));
  EXPECT_EQ(Get("/hello.txt").status, 200);
}

TEST_F(HttpServerTest, ListensOnIpv6Literals) {
  const int probe = ::socket(AF_INET6, SOCK_STREAM, 0);
  sockaddr_in6 loopback{};
  loopback.sin6_family = AF_INET6;
  loopback.sin6_addr = in6addr_loopback;
  const bool available = probe >= 0 && ::bind(probe, reinterpret_cast<const sockaddr*>(&loopback),
                                              sizeof loopback) == 0;
  if (probe >= 0) ::close(probe);
  if (!available) GTEST_SKIP() << "no IPv6 loopback here";

  ServerOptions options;
  options.listen = "[::1]";
  Serve(options);
  const int fd = ::socket(AF_INET6, SOCK_STREAM | SOCK_CLOEXEC, 0);
  const timeval limit{3, 0};
  ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
  loopback.sin6_port = htons(server->Port());
  ASSERT_EQ(::connect(fd, reinterpret_cast<const sockaddr*>(&loopback), sizeof loopback), 0);
  const std::string request = Request("GET", "/hello.txt");
  ::send(fd, request.data(), request.size(), MSG_NOSIGNAL);
  std::array<char, 32> reply{};
  const ssize_t got = ::recv(fd, reply.data(), reply.size(), 0);
  ::close(fd);
  EXPECT_EQ(std::string(reply.data(), got > 0 ? static_cast<std::size_t>(got) : 0).substr(0, 12),
            "HTTP/1.1 200");
}

}  // namespace
}  // namespace kelvane::host
