// The road of one request, in process: the demo site's road page run by the
// page engine (gradient, text, logo, JPEG through a temporary file), as a
// .ksp page and as its .asp twin.

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "host/pages/PageEngine.h"

namespace {

namespace fs = std::filesystem;

void BM_RoadPage(benchmark::State& state, const char* page) {
  const fs::path site = KELVANE_SITE_DIR;
  const fs::path previous = fs::current_path();
  const fs::path work = fs::temp_directory_path() / ("kelvane-bench-road-" + std::to_string(::getpid()));
  fs::create_directories(work);
  fs::current_path(work);
  const kelvane::host::PageEngine engine(site, {});
  kelvane::host::PageRequest request;
  request.method = "GET";
  request.path = std::string("/") + page;
  for (auto _ : state) {
    const auto reply = engine.Run(site / page, request);
    if (reply.status != 200) state.SkipWithError("the page failed");
    benchmark::DoNotOptimize(reply.body.data());
  }
  fs::current_path(previous);
  fs::remove_all(work);
}
BENCHMARK_CAPTURE(BM_RoadPage, ksp, "road.ksp")->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_RoadPage, asp, "road.asp")->Unit(benchmark::kMicrosecond);

}  // namespace
