// The cost of one call of each drawing primitive on a 640 x 480 surface,
// settings applied included, as a script pays it.

#include <benchmark/benchmark.h>

#include "component/Image.h"

namespace {

using kelvane::component::Image;
using kelvane::oleaut::Integer;
using kelvane::oleaut::Long;

template <class Draw>
void Primitive(benchmark::State& state, Draw draw) {
  Image image;
  image.put_PlotWidth(640);
  image.put_PlotHeight(Integer{480});
  image.put_PenColor(Long{0x0000FF});
  image.put_PlotFillColor(Long{0x00FF00});
  image.put_PlotFillStyle(static_cast<Integer>(state.range(0)));
  for (auto _ : state) draw(image);
}

void BM_PlotLine(benchmark::State& s) { Primitive(s, [](Image& i) { i.PlotLine(10, 10, 630, 470); }); }
void BM_PlotBox(benchmark::State& s) { Primitive(s, [](Image& i) { i.PlotBox(10, 10, 630, 470); }); }
void BM_PlotSolidBox(benchmark::State& s) {
  Primitive(s, [](Image& i) { i.PlotSolidBox(10, 10, 630, 470); });
}
void BM_PlotCircle(benchmark::State& s) { Primitive(s, [](Image& i) { i.PlotCircle(320, 240, 200); }); }
void BM_PlotSolidCircle(benchmark::State& s) {
  Primitive(s, [](Image& i) { i.PlotSolidCircle(320, 240, 200); });
}
void BM_PlotPixel(benchmark::State& s) { Primitive(s, [](Image& i) { i.PlotPixel(320, 240); }); }
void BM_PlotText(benchmark::State& s) {
  Primitive(s, [](Image& i) { i.PlotText(20, 20, "Kelvane draws on the server"); });
}

// Argument: the fill style (0 solid, 1 transparent, 7 diagonal cross).
BENCHMARK(BM_PlotLine)->Arg(1);
BENCHMARK(BM_PlotBox)->Arg(0)->Arg(1)->Arg(7);
BENCHMARK(BM_PlotSolidBox)->Arg(1);
BENCHMARK(BM_PlotCircle)->Arg(0)->Arg(1)->Arg(7);
BENCHMARK(BM_PlotSolidCircle)->Arg(1);
BENCHMARK(BM_PlotPixel)->Arg(1);
BENCHMARK(BM_PlotText)->Arg(1);

}  // namespace
