// Gradients as a script pays for them: settings applied, then one brush,
// one fill and one deletion per band.

#include <benchmark/benchmark.h>

#include "component/Image.h"

namespace {

using kelvane::component::Image;
using kelvane::oleaut::Integer;

void Gradient(benchmark::State& state, bool leftToRight) {
  Image image;
  image.put_PlotWidth(static_cast<kelvane::oleaut::Long>(state.range(0)));
  image.put_PlotHeight(static_cast<Integer>(state.range(1)));
  for (auto _ : state) {
    if (leftToRight) {
      image.GradientL2R(0x0000FF, 0xFF0000);
    } else {
      image.GradientT2B(0x0000FF, 0xFF0000);
    }
  }
  state.SetItemsProcessed(state.iterations() * state.range(0) * state.range(1));
}

void BM_GradientL2R(benchmark::State& state) { Gradient(state, true); }
void BM_GradientT2B(benchmark::State& state) { Gradient(state, false); }

BENCHMARK(BM_GradientL2R)->Args({200, 100})->Args({2000, 2000})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GradientT2B)->Args({200, 100})->Args({2000, 2000})->Unit(benchmark::kMillisecond);

}  // namespace
