// Delivering a picture as JPEG: capturing it into a DIB section and writing
// the file, beside TurboJPEG's encode alone of the same pixels.

#include <benchmark/benchmark.h>
#include <turbojpeg.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "dib/cDIBSection.h"
#include "jpeg/mIntelJPEGLibrary.h"
#include "platform/gdi/Objects.h"
#include "platform/gdi/UniqueHandle.h"

namespace {

using namespace kelvane;

// A picture of the screen's format with smooth colour and some edges, as
// drawings have.
struct Scene {
  explicit Scene(int size) : width(size), height(size / (size == 200 ? 2 : 1)) {
    bitmap.reset(gdi::CreateCompatibleBitmap(0, width, height));
    auto pixels = gdi::FindBitmap(bitmap.get());
    for (int y = 0; y < height; ++y)
      for (int x = 0; x < width; ++x) {
        std::uint8_t* p = pixels->Row(y) + x * 4;
        p[0] = static_cast<std::uint8_t>(x * 255 / width);
        p[1] = static_cast<std::uint8_t>(y * 255 / height);
        p[2] = ((x / 16 + y / 16) % 2) ? 200 : 40;
      }
    picture = std::make_shared<picture::Picture>(bitmap.get(), false);
  }
  int width;
  int height;
  gdi::UniqueObject bitmap;
  picture::PictureRef picture;
};

std::string TempName() {
  return (std::filesystem::temp_directory_path() / ("kelvane-bench-" + std::to_string(::getpid()) + ".jpg"))
      .string();
}

void BM_CaptureAndWriteJpeg(benchmark::State& state) {
  const Scene scene(static_cast<int>(state.range(0)));
  const std::string name = TempName();
  for (auto _ : state) {
    dib::cDIBSection dib;
    dib.CreateFromPicture(scene.picture);
    jpeg::WriteJpegFile(dib, name);
  }
  std::filesystem::remove(name);
  state.SetItemsProcessed(state.iterations() * scene.width * scene.height);
}
BENCHMARK(BM_CaptureAndWriteJpeg)->Arg(200)->Arg(2000)->Unit(benchmark::kMillisecond);

void BM_CaptureOnly(benchmark::State& state) {
  const Scene scene(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    dib::cDIBSection dib;
    dib.CreateFromPicture(scene.picture);
    benchmark::DoNotOptimize(dib.DIBSectionBitsPtr());
  }
  state.SetItemsProcessed(state.iterations() * scene.width * scene.height);
}
BENCHMARK(BM_CaptureOnly)->Arg(200)->Arg(2000)->Unit(benchmark::kMillisecond);

void BM_TurboJpegEncodeOnly(benchmark::State& state) {
  const Scene scene(static_cast<int>(state.range(0)));
  dib::cDIBSection dib;
  dib.CreateFromPicture(scene.picture);
  tjhandle encoder = tjInitCompress();
  for (auto _ : state) {
    unsigned char* out = nullptr;
    unsigned long size = 0;
    tjCompress2(encoder, dib.DIBSectionBitsPtr(), dib.Width(), dib.BytesPerScanLine(), dib.Height(),
                TJPF_BGR, &out, &size, TJSAMP_444, 100, TJFLAG_BOTTOMUP);
    benchmark::DoNotOptimize(size);
    tjFree(out);
  }
  tjDestroy(encoder);
  state.SetItemsProcessed(state.iterations() * scene.width * scene.height);
}
BENCHMARK(BM_TurboJpegEncodeOnly)->Arg(200)->Arg(2000)->Unit(benchmark::kMillisecond);

}  // namespace
