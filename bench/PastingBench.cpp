// Loading a picture file and pasting it, as PastePicture does, for a logo-
// sized JPEG and PNG and a large JPEG, each decoded every time, and a
// logo-sized JPEG decoded once and kept; and pasting the built-in logo.

#include <benchmark/benchmark.h>
#include <cairo.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>

#include "component/Image.h"
#include "dib/cDIBSection.h"
#include "jpeg/mIntelJPEGLibrary.h"
#include "platform/gdi/Objects.h"
#include "platform/gdi/UniqueHandle.h"
#include "platform/picture/PictureCache.h"
#include "Scene.h"

namespace {

using namespace kelvane;
namespace fs = std::filesystem;

// A picture with colour and edges, written as JPEG (quality 100) or PNG.
std::string WritePicture(int width, int height, bool png) {
  const bench::Scene scene(width, height);
  const auto pixels = gdi::FindBitmap(scene.bitmap.get());
  const std::string name = (fs::temp_directory_path() /
                            ("kelvane-bench-" + std::to_string(::getpid()) + "-" +
                             std::to_string(width) + (png ? ".png" : ".jpg")))
                               .string();
  if (png) {
    cairo_surface_t* surface = cairo_image_surface_create_for_data(
        pixels->Bits(), CAIRO_FORMAT_RGB24, width, height, pixels->Stride());
    cairo_surface_write_to_png(surface, name.c_str());
    cairo_surface_destroy(surface);
  } else {
    dib::cDIBSection dib;
    dib.CreateFromPicture(scene.picture);
    jpeg::WriteJpegFile(dib, name);
  }
  return name;
}

// Pastes the picture on every iteration: decoded each time with the
// process's picture cache off, else decoded once and kept, after the file
// has been left alone long enough to be kept.
void Paste(benchmark::State& state, int width, int height, bool png, bool kept) {
  const std::string file = WritePicture(width, height, png);
  picture::PictureCache& cache = picture::ProcessPictureCache();
  cache.SetLimit(kept ? picture::kDefaultPictureCacheBytes : 0);
  if (kept) std::this_thread::sleep_for(std::chrono::milliseconds(150));
  component::Image image;
  image.put_PlotWidth(640);
  image.put_PlotHeight(oleaut::Integer{480});
  image.PlotPixel(0, 0);
  for (auto _ : state) image.PastePicture(10, 10, file);
  cache.SetLimit(picture::kDefaultPictureCacheBytes);
  fs::remove(file);
}

void BM_PasteJpeg70x63(benchmark::State& state) { Paste(state, 70, 63, false, false); }
void BM_PastePng70x63(benchmark::State& state) { Paste(state, 70, 63, true, false); }
void BM_PasteJpeg2000x2000(benchmark::State& state) { Paste(state, 2000, 2000, false, false); }
void BM_PasteKeptJpeg70x63(benchmark::State& state) { Paste(state, 70, 63, false, true); }
BENCHMARK(BM_PasteJpeg70x63)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PastePng70x63)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PasteJpeg2000x2000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PasteKeptJpeg70x63)->Unit(benchmark::kMicrosecond);

void BM_PasteLogo(benchmark::State& state) {
  component::Image image;
  image.put_PlotWidth(640);
  image.put_PlotHeight(oleaut::Integer{480});
  image.PlotPixel(0, 0);
  for (auto _ : state) image.PasteLogo();
}
BENCHMARK(BM_PasteLogo)->Unit(benchmark::kMicrosecond);

}  // namespace
