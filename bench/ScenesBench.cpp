// The peers' scenes drawn through Image as a page drives it, in a context
// whose Response is kept in memory: road (JPEG and BMP), chart and big. The
// deliveries' temporary files go to a folder in /dev/shm, as kelvane serve's
// do by default.

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "component/Image.h"
#include "platform/asp/Response.h"
#include "platform/complus/ObjectContext.h"

namespace {

namespace fs = std::filesystem;
using kelvane::component::Image;
using kelvane::oleaut::Variant;

int Rgb(int r, int g, int b) { return r | (g << 8) | (b << 16); }

// Runs `draw` on an activated Image once per iteration, in a working
// directory of its own.
void RunScene(benchmark::State& state, const std::function<void(Image&)>& draw) {
  const fs::path previous = fs::current_path();
  const fs::path base = fs::is_directory("/dev/shm") ? fs::path("/dev/shm") : fs::temp_directory_path();
  const fs::path work = base / ("kelvane-bench-scene-" + std::to_string(::getpid()));
  fs::create_directories(work);
  fs::current_path(work);
  for (auto _ : state) {
    auto response = std::make_shared<kelvane::asp::MemoryResponse>();
    auto context = std::make_shared<kelvane::complus::ObjectContext>();
    context->SetItem("Response", Variant(kelvane::oleaut::ObjectRef(response)));
    const kelvane::complus::ContextScope scope(context);
    Image image;
    image.Activate();
    draw(image);
    image.Deactivate();
    if (response->Body().empty()) state.SkipWithError("nothing was sent");
  }
  fs::current_path(previous);
  fs::remove_all(work);
}

void Road(Image& img, const char* type) {
  img.put_PlotWidth(200);
  img.put_PlotHeight(Variant(100));
  img.put_PenColor(Variant(0));
  img.put_PlotFontName(Variant(std::string("Arial")));
  img.put_PlotFontSize(Variant(8));
  img.GradientL2R(Rgb(255, 0, 0), Rgb(0, 0, 255));
  img.PlotText(10, 40, "Hello, world");
  img.PasteLogo();
  img.put_ImageType(type);
  img.SendImage();
}

void BM_SceneRoad(benchmark::State& state) { RunScene(state, [](Image& img) { Road(img, "jpg"); }); }
BENCHMARK(BM_SceneRoad)->Unit(benchmark::kMicrosecond);

void BM_SceneBmp(benchmark::State& state) { RunScene(state, [](Image& img) { Road(img, "BMP"); }); }
BENCHMARK(BM_SceneBmp)->Unit(benchmark::kMicrosecond);

void BM_SceneChart(benchmark::State& state) {
  RunScene(state, [](Image& img) {
    img.put_PlotWidth(640);
    img.put_PlotHeight(Variant(480));
    img.put_PlotFontName(Variant(std::string("Arial")));
    img.put_PlotFontSize(Variant(10));
    for (int j = 0; j < 20; ++j) {
      const int w = 50 + (j * 7) % 50, h = 40 + (j * 11) % 45;
      const int x0 = 20 + (j % 5) * 122, y0 = 20 + (j / 5) * 115;
      img.put_PenColor(Variant(0));
      img.put_PlotFillStyle(Variant(0));
      img.put_PlotFillColor(Variant(Rgb((j * 53 + 40) % 256, (j * 97 + 80) % 256, (j * 151 + 120) % 256)));
      img.PlotBox(static_cast<short>(x0), static_cast<short>(y0), static_cast<short>(x0 + w - 1),
                  static_cast<short>(y0 + h - 1));
    }
    for (int k = 0; k < 10; ++k) {
      const int c = Rgb((k * 71 + 30) % 256, (k * 37 + 150) % 256, (k * 113 + 60) % 256);
      img.put_PenColor(Variant(c));
      img.put_PlotFillColor(Variant(c));
      img.PlotSolidCircle(static_cast<short>(50 + k * 60), static_cast<short>(180 + (k * 73) % 121), 30);
    }
    img.put_PenColor(Variant(0));
    img.put_PenWidth(Variant(2));
    for (int i = 0; i < 50; ++i)
      img.PlotLine(static_cast<short>((i * 37 + 5) % 640), static_cast<short>((i * 53 + 7) % 480),
                   static_cast<short>((i * 91 + 200) % 640), static_cast<short>((i * 29 + 100) % 480));
    img.put_PenWidth(Variant(1));
    for (int m = 0; m < 20; ++m) {
      char label[16];
      std::snprintf(label, sizeof label, "Label %02d", m);
      img.PlotText(static_cast<short>(8 + (m % 4) * 160), static_cast<short>(8 + (m / 4) * 96), label);
    }
    img.put_ImageType("jpg");
    img.SendImage();
  });
}
BENCHMARK(BM_SceneChart)->Unit(benchmark::kMicrosecond);

void BM_SceneBig(benchmark::State& state) {
  RunScene(state, [](Image& img) {
    img.put_PlotWidth(2000);
    img.put_PlotHeight(Variant(2000));
    img.put_PenColor(Variant(0));
    img.put_PlotFillStyle(Variant(1));
    img.GradientT2B(Rgb(0, 0, 0), Rgb(255, 255, 255));
    img.PlotBox(500, 500, 1500, 1500);
    img.put_PlotFillStyle(Variant(0));
    img.put_PlotFillColor(Variant(Rgb(0, 255, 0)));
    img.PlotPixel(0, 0);  // applies the fill settings
    img.FloodFill(1000, 1000, 0);
    img.put_ImageType("jpg");
    img.SendImage();
  });
}
BENCHMARK(BM_SceneBig)->Unit(benchmark::kMillisecond);

}  // namespace
