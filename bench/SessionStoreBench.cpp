// What a page that reads and writes its session pays for the store: the
// same page with sessions in the process's memory, and in a Redis server
// over loopback TCP (lock and read in one round trip, write and unlock in
// another). The Redis server is started for the run in a folder of its own
// by tests/support/redis-fixture; without one installed the case skips.

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

#include "host/pages/PageEngine.h"

namespace {

namespace fs = std::filesystem;
using kelvane::host::PageEngine;
using kelvane::host::PageRequest;

void BM_SessionPage(benchmark::State& state, bool shared) {
  const fs::path folder = fs::temp_directory_path() / ("kelvane-bench-session-" + std::to_string(::getpid()));
  fs::create_directories(folder / "site");
  std::ofstream(folder / "site" / "visit.asp")
      << R"(<% Session("visits") = Session("visits") + 1 : Session("basket") = Array("apple", "pear", 3) %>)"
      << R"(<%= Session("visits") %>)";
  const fs::path redis = folder / "redis";
  const std::string port = std::to_string(20000 + ::getpid() % 20000);
  std::optional<kelvane::host::StoreAddress> store;
  if (shared) {
    if (std::system((std::string(KELVANE_REDIS_FIXTURE) + " start " + redis.string() + " " + port + " >/dev/null").c_str()) != 0) {
      state.SkipWithError("no Redis server could be started");
      fs::remove_all(folder);
      return;
    }
    store = kelvane::host::ParseStoreAddress("redis://127.0.0.1:" + port + "/0");
  }
  {
    const PageEngine engine(folder / "site", {}, {}, store);
    PageRequest request;
    request.method = "GET";
    request.path = "/visit.asp";
    const auto first = engine.Run(folder / "site" / "visit.asp", request);
    for (const auto& [name, value] : first.headers)
      if (name == "Set-Cookie") request.headers = {{"Cookie", value.substr(0, value.find(';'))}};
    for (auto _ : state) {
      const auto reply = engine.Run(folder / "site" / "visit.asp", request);
      if (reply.status != 200) state.SkipWithError(("the page failed: " + reply.body).c_str());
      benchmark::DoNotOptimize(reply.body.data());
    }
  }
  if (shared) std::system((std::string(KELVANE_REDIS_FIXTURE) + " stop " + redis.string()).c_str());
  fs::remove_all(folder);
}
BENCHMARK_CAPTURE(BM_SessionPage, memory, false)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_SessionPage, redis_loopback, true)->Unit(benchmark::kMicrosecond);

}  // namespace
