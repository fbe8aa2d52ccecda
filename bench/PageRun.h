#pragma once
// Runs one page through the page engine on every iteration of a benchmark.

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "host/pages/PageEngine.h"

namespace kelvane::bench {

namespace fs = std::filesystem;

// Runs `page` of `site` for `query` on every iteration, in a working folder
// of its own.
inline void RunPage(benchmark::State& state, const fs::path& site, const std::string& page,
                    const std::string& query, kelvane::host::PageLimits limits = {}) {
  const fs::path previous = fs::current_path();
  const fs::path work = fs::temp_directory_path() / ("kelvane-bench-page-" + std::to_string(::getpid()));
  fs::create_directories(work);
  fs::current_path(work);
  const kelvane::host::PageEngine engine(site, std::move(limits));
  kelvane::host::PageRequest request;
  request.method = "GET";
  request.path = "/" + page;
  request.queryString = query;
  for (auto _ : state) {
    const auto reply = engine.Run(site / page, request);
    if (reply.status != 200) state.SkipWithError(("the page failed: " + reply.body).c_str());
    benchmark::DoNotOptimize(reply.body.data());
  }
  fs::current_path(previous);
  fs::remove_all(work);
}

}  // namespace kelvane::bench
