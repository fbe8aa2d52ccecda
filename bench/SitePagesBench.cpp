// The road of one request, in process: a page of the demo site run by the
// page engine, from its script to the picture's bytes. The road page
// (gradient, text, logo, JPEG through a temporary file) as .ksp and .asp;
// the chart of the query string beside the chart of a database's rows,
// read through a parameterised command; and a page that only reads 100
// rows through a pooled connection.

#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "PageRun.h"
#include "host/pages/PageEngine.h"

namespace {

namespace fs = std::filesystem;
using kelvane::bench::RunPage;

void BM_SitePage(benchmark::State& state, const char* page, const char* query) {
  RunPage(state, KELVANE_SITE_DIR, page, query);
}
BENCHMARK_CAPTURE(BM_SitePage, road_ksp, "road.ksp", "")->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_SitePage, road_asp, "road.asp", "")->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_SitePage, chart_asp, "chart.asp", "values=12,30,22,41&title=Sales")
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_SitePage, sales_asp, "sales.asp", "year=2025")->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_SitePage, sales_ksp, "sales.ksp", "year=2025")->Unit(benchmark::kMicrosecond);

// Opens a pooled connection, reads a table of 100 rows to its end and
// closes: what a page that lists a table pays for the database alone.
void BM_PooledQuery100Rows(benchmark::State& state) {
  const fs::path folder = fs::temp_directory_path() / ("kelvane-bench-query-" + std::to_string(::getpid()));
  fs::create_directories(folder / "site");
  fs::create_directories(folder / "data");
  const fs::path data = fs::canonical(folder / "data");
  const std::string connect = "Driver={SQLite3};Database=" + (data / "rows.db").string();
  std::ofstream(folder / "site" / "make.asp")
      << "<% Set conn = Server.CreateObject(\"ADODB.Connection\") : conn.Open \"" << connect << "\"\n"
      << "conn.Execute \"CREATE TABLE t (id INTEGER PRIMARY KEY, name TEXT, amount NUMERIC(10,2))\"\n"
      << "For i = 1 To 100 : conn.Execute \"INSERT INTO t (name, amount) VALUES ('row \" & i & \"', \" & i * 1.5 & \")\" "
         ": Next %>";
  std::ofstream(folder / "site" / "query.asp")
      << "<% Set conn = Server.CreateObject(\"ADODB.Connection\") : conn.Open \"" << connect << "\"\n"
      << "Set rs = conn.Execute(\"SELECT id, name, amount FROM t\")\n"
      << "Do Until rs.EOF : total = total + rs(\"amount\") : rs.MoveNext : Loop\n"
      << "rs.Close : conn.Close : Response.Write total %>";
  kelvane::host::PageLimits limits;
  limits.dataFolders = {data};
  {
    const kelvane::host::PageEngine engine(folder / "site", limits);
    kelvane::host::PageRequest request;
    request.method = "GET";
    const auto made = engine.Run(folder / "site" / "make.asp", request);
    if (made.status != 200) state.SkipWithError(("no table made: " + made.body).c_str());
  }
  RunPage(state, folder / "site", "query.asp", "", limits);
  fs::remove_all(folder);
}
BENCHMARK(BM_PooledQuery100Rows)->Unit(benchmark::kMicrosecond);

}  // namespace
