#include "host/ServerConfig.h"

#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <string>

#include "support/TempFolder.h"

namespace kelvane::host {
namespace {

using namespace std::chrono_literals;

std::string Refusal(std::function<void()> apply) {
  try {
    apply();
  } catch (const BadSetting& e) {
    return e.what();
  }
  return "(accepted)";
}

TEST(ServerConfig, TakesEachOptionsValuesWithTheirUnits) {
  struct Case {
    const char* name;
    const char* value;
    std::function<bool(const ServerConfig&)> holds;
  };
  const Case cases[] = {
      {"listen", "0.0.0.0", [](auto& c) { return c.server.listen == "0.0.0.0"; }},
      {"listen", "[::1]", [](auto& c) { return c.server.listen == "[::1]"; }},
      {"listen", "::", [](auto& c) { return c.server.listen == "::"; }},
      {"port", "0", [](auto& c) { return c.server.port == 0; }},
      {"port", "65535", [](auto& c) { return c.server.port == 65535; }},
      {"threads", "1024", [](auto& c) { return c.server.threads == 1024; }},
      {"workers", "3", [](auto& c) { return c.server.workers == 3; }},
      {"max-stuck-workers", "0", [](auto& c) { return c.server.maxStuckWorkers == 0; }},
      {"max-stuck-workers", "64", [](auto& c) { return c.server.maxStuckWorkers == 64; }},
      {"workdir", "/var/lib/k", [](auto& c) { return c.workdir == "/var/lib/k"; }},
      {"root", "site", [](auto& c) { return c.root == "site"; }},
      {"page-time", "500ms", [](auto& c) { return c.limits.time == 500ms; }},
      {"page-time", "3s", [](auto& c) { return c.limits.time == 3s; }},
      {"page-time", "7", [](auto& c) { return c.limits.time == 7s; }},
      {"page-time", "3600s", [](auto& c) { return c.limits.time == 3600s; }},
      {"page-memory", "1M", [](auto& c) { return c.limits.memoryBytes == 1u << 20; }},
      {"page-memory", "2G", [](auto& c) { return c.limits.memoryBytes == std::size_t{2} << 30; }},
      {"data-folders", "/srv/a, /srv/b", [](auto& c) { return c.limits.dataFolders.size() == 2; }},
      {"session-memory", "8M", [](auto& c) { return c.sessions.memoryBytes == 8u << 20; }},
      {"picture-cache", "0", [](auto& c) { return c.pictureCacheBytes == 0; }},
      {"picture-cache", "16M", [](auto& c) { return c.pictureCacheBytes == 16u << 20; }},
      {"sessions-per-address", "0", [](auto& c) { return c.sessions.perAddress == 0; }},
      {"session-store", "memory", [](auto& c) { return !c.sessionStore; }},
      {"session-store", "redis://10.0.0.5",
       [](auto& c) { return c.sessionStore->Text() == "redis://10.0.0.5:6379/0"; }},
      {"session-store", "redis://cache.lan:7000/3",
       [](auto& c) { return c.sessionStore->Text() == "redis://cache.lan:7000/3"; }},
      {"session-store", "redis://[::1]:6380",
       [](auto& c) { return c.sessionStore->host == "::1" && c.sessionStore->port == 6380; }},
      {"session-store", "unix:/run/redis/redis.sock",
       [](auto& c) { return c.sessionStore->path == "/run/redis/redis.sock" && c.sessionStore->host.empty(); }},
      {"sessions-per-address", "10000", [](auto& c) { return c.sessions.perAddress == 10000; }},
      {"max-body", "0", [](auto& c) { return c.server.maxBody == 0; }},
      {"max-body", "64K", [](auto& c) { return c.server.maxBody == 65536; }},
      {"max-body", "1000", [](auto& c) { return c.server.maxBody == 1000; }},
      {"max-connections", "1", [](auto& c) { return c.server.maxConnections == 1; }},
      {"max-connections-per-address", "0",
       [](auto& c) { return c.server.maxConnectionsPerAddress == 0; }},
      {"queue-depth", "16", [](auto& c) { return c.server.queueDepth == 16; }},
      {"log-format", "combined", [](auto& c) { return c.server.logFormat == LogFormat::Combined; }},
      {"log-file", "/var/log/k.log", [](auto& c) { return c.logFile == "/var/log/k.log"; }},
      {"trusted-proxies", "10.0.0.0/8, ::1",
       [](auto& c) { return c.server.trustedProxies.Contains("10.2.3.4"); }},
      {"trusted-proxies", "", [](auto& c) { return !c.server.trustedProxies.Contains("::1"); }},
      {"endpoints-from", "192.0.2.1",
       [](auto& c) {
         return c.server.endpointClients.Contains("192.0.2.1") &&
                !c.server.endpointClients.Contains("127.0.0.1");
       }},
      {"hidden-extensions", "*.secret, passwords.txt",
       [](auto& c) {
         const auto& hidden = c.server.hiddenNames;
         return hidden.Hides("A.SECRET") && hidden.Hides("Passwords.txt") && !hidden.Hides("config.inc");
       }},
      {"hidden-extensions", "", [](auto& c) { return !c.server.hiddenNames.Hides("global.asa"); }},
      {"page-errors", "all", [](auto& c) { return c.server.pageErrors == PageErrors::All; }},
      {"page-errors", "none", [](auto& c) { return c.server.pageErrors == PageErrors::None; }},
      {"page-errors", "local", [](auto& c) { return c.server.pageErrors == PageErrors::Local; }},
      {"error-page-500", "/errors/500.asp", [](auto& c) { return c.server.errorPage == "/errors/500.asp"; }},
      {"error-page-500", "/errors/./x/../Oops.KSP", [](auto& c) { return c.server.errorPage == "/errors/Oops.KSP"; }},
  };
  for (const auto& [name, value, holds] : cases) {
    ServerConfig config;
    ApplySetting(config, name, value);
    EXPECT_TRUE(holds(config)) << name << " = " << value;
  }
}

TEST(ServerConfig, RefusesWhatItCannotTakeAndKeepsTheValueItHad) {
  const std::pair<const char*, const char*> cases[] = {
      {"port", "8x"},         {"port", "65536"},       {"port", "-1"},
      {"port", ""},           {"port", " 80"},         {"threads", "1025"},
      {"workers", "0x10"},    {"listen", "localhost"}, {"listen", "1.2.3"},
      {"listen", "[::1"},     {"workdir", ""},         {"root", ""},
      {"page-time", "0ms"},   {"page-time", "3601s"},  {"page-time", "10m"},
      {"page-time", "s"},     {"page-time", "1.5s"},   {"page-memory", "1023K"},
      {"page-memory", "65G"}, {"page-memory", "8k"},   {"page-memory", "18446744073709551615G"},
      {"max-body", "-1"},     {"max-connections", "0"}, {"queue-depth", "0"},
      {"session-memory", "1023K"}, {"sessions-per-address", "10001"}, {"sessions-per-address", "-1"},
      {"data-folders", "data"}, {"picture-cache", "-1"}, {"picture-cache", "1m"},
      {"session-store", "redis"}, {"session-store", "redis://"}, {"session-store", "redis://h:0"},
      {"session-store", "redis://h:6379/x"}, {"session-store", "redis://[::1"}, {"session-store", "unix:run.sock"},
      {"session-store", "Memory"},
      {"log-format", "Combined"}, {"log-file", ""},    {"trusted-proxies", "10.0.0.0/40"},
      {"endpoints-from", "localhost"}, {"max-stuck-workers", "1025"}, {"hidden-extensions", "*"}, {"hidden-extensions", "*.inc db/x.db"},
      {"page-errors", "Local"}, {"page-errors", "some"}, {"error-page-500", "errors/500.asp"},
      {"error-page-500", "/errors/500.html"}, {"error-page-500", "/../500.asp"}, {"error-page-500", "/"},
      {"prot", "80"},         {"", "80"},
  };
  for (const auto& [name, value] : cases) {
    ServerConfig config;
    const std::string message = Refusal([&] { ApplySetting(config, name, value); });
    EXPECT_NE(message.find(std::string(name).empty() || std::string(name) == "prot"
                               ? "is not an option"
                               : "'" + std::string(value) + "'"),
              std::string::npos)
        << name << " = " << value << ": " << message;
    const ServerConfig fresh;
    EXPECT_EQ(config.server.port, fresh.server.port) << name;
    EXPECT_EQ(config.server.listen, fresh.server.listen) << name;
    EXPECT_EQ(config.limits.time, fresh.limits.time) << name;
    EXPECT_EQ(config.limits.memoryBytes, fresh.limits.memoryBytes) << name;
  }
}

TEST(ServerConfig, FileSetsOptionsInOrderAndNamesTheLineOfAFault) {
  const TempFolder folder("config");
  const auto path = folder.Path() / "kelvane.conf";
  const auto where = path.string() + ":";
  const std::pair<std::string, std::string> cases[] = {
      {"# the demo\n\n  port = 8081  # beside another\r\nroot=/srv/site\npage-time =500ms\n", ""},
      {"port = 8081\nport = 8082\n", where + "2: port is set already on line 1"},
      {"\nlisten 127.0.0.1\n", where + "2: expected 'name = value', not 'listen 127.0.0.1'"},
      {" = 5\n", where + "1: expected 'name = value', not '= 5'"},
      {"port = 80\nprot = 80\n", where + "2: prot is not an option"},
      {"# a comment\nthreads = many\n", where + "2: threads takes a whole number from 0 to 1024, not 'many'"},
      {"port = 8080 # a comment\nport2 = 1#2\n", where + "2: port2 is not an option"},
      {"workdir = /tmp/#1\n", ""},
  };
  for (const auto& [text, error] : cases) {
    std::ofstream(path) << text;
    ServerConfig config;
    EXPECT_EQ(Refusal([&] { ApplyConfigFile(config, path); }), error.empty() ? "(accepted)" : error)
        << text;
  }

  std::ofstream(path) << cases[0].first;
  ServerConfig config;
  ApplyConfigFile(config, path);
  EXPECT_EQ(config.server.port, 8081);
  EXPECT_EQ(config.root, "/srv/site");
  EXPECT_EQ(config.limits.time, 500ms);

  const std::string missing = Refusal([&] { ApplyConfigFile(config, folder.Path() / "none.conf"); });
  EXPECT_EQ(missing, (folder.Path() / "none.conf").string() +
                         ": cannot be read: No such file or directory");
}

}  // namespace
}  // namespace kelvane::host
