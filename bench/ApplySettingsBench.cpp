// What copying an object's settings onto the surface costs: when nothing
// changed (the common case between drawing calls), and when the size changes
// every time.

#include <benchmark/benchmark.h>

#include "component/Image.h"

namespace {

using kelvane::component::Image;
using kelvane::oleaut::Integer;
using kelvane::oleaut::Long;

void Configure(Image& image) {
  image.put_PenColor(Long{0x0000FF});
  image.put_PenWidth(Integer{2});
  image.put_PlotFillColor(Long{0x00FF00});
  image.put_PlotFillStyle(Integer{0});
  image.put_PlotFontName("Arial");
  image.put_PlotFontSize(Integer{12});
  image.put_PlotHeight(Integer{480});
  image.put_PlotWidth(640);
}

void BM_ApplySettingsUnchanged(benchmark::State& state) {
  Image image;
  Configure(image);
  image.ApplySettings();
  for (auto _ : state) image.ApplySettings();
}
BENCHMARK(BM_ApplySettingsUnchanged);

void BM_ApplySettingsResize(benchmark::State& state) {
  Image image;
  Configure(image);
  Long width = 640;
  for (auto _ : state) {
    width = width == 640 ? 641 : 640;
    image.put_PlotWidth(width);
    image.ApplySettings();
  }
}
BENCHMARK(BM_ApplySettingsResize);

}  // namespace
