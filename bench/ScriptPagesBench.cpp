// The script's own costs, page against page: each page of bench/pages as
// .asp beside its .ksp twin doing the same work, so that one run gives the
// ratio of the two languages. Integer arithmetic in a loop, recursive calls,
// a string built by appending (at three lengths: the time should double with
// the length), a dictionary, a two-dimensional array written as a table, and
// objects used through their properties.

#include <benchmark/benchmark.h>

#include "PageRun.h"

namespace {

void BM_ScriptPage(benchmark::State& state, const char* page, const char* query) {
  kelvane::bench::RunPage(state, KELVANE_BENCH_PAGES_DIR, page, query);
}

#define KELVANE_PAGE_TWINS(name, query)                                                          \
  BENCHMARK_CAPTURE(BM_ScriptPage, name##_asp, #name ".asp", query)->Unit(benchmark::kMillisecond); \
  BENCHMARK_CAPTURE(BM_ScriptPage, name##_ksp, #name ".ksp", query)->Unit(benchmark::kMillisecond)

KELVANE_PAGE_TWINS(arithmetic, "");
KELVANE_PAGE_TWINS(fibonacci, "");
KELVANE_PAGE_TWINS(cells, "n=10000");
BENCHMARK_CAPTURE(BM_ScriptPage, cells_asp_20k, "cells.asp", "n=20000")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ScriptPage, cells_ksp_20k, "cells.ksp", "n=20000")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ScriptPage, cells_asp_40k, "cells.asp", "n=40000")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ScriptPage, cells_ksp_40k, "cells.ksp", "n=40000")->Unit(benchmark::kMillisecond);
KELVANE_PAGE_TWINS(dictionary, "");
KELVANE_PAGE_TWINS(grid, "");
KELVANE_PAGE_TWINS(objects, "");

}  // namespace
