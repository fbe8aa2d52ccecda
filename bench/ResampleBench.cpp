// Resampling throughput, in target megapixels a second.

#include <benchmark/benchmark.h>

#include <random>

#include "dib/cDIBSection.h"

namespace {

using kelvane::dib::cDIBSection;

void BM_Resample(benchmark::State& state) {
  cDIBSection source;
  source.Create(1000, 1000);
  std::mt19937 random(5);
  for (long i = 0; i < source.BytesPerScanLine() * 1000L; ++i)
    source.DIBSectionBitsPtr()[i] = static_cast<std::uint8_t>(random());
  const auto size = static_cast<kelvane::oleaut::Long>(state.range(0));
  for (auto _ : state) benchmark::DoNotOptimize(source.Resample(size, size));
  state.SetItemsProcessed(state.iterations() * size * size);
}
BENCHMARK(BM_Resample)->Arg(1500)->Arg(500)->Unit(benchmark::kMillisecond);

}  // namespace
