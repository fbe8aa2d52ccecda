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
#include "Scene.h"

namespace {

using namespace kelvane;

std::string TempName() {
  return (std::filesystem::temp_directory_path() / ("kelvane-bench-" + std::to_string(::getpid()) + ".jpg"))
      .string();
}

void BM_CaptureAndWriteJpeg(benchmark::State& state) {
  const int size = static_cast<int>(state.range(0));
  const bench::Scene scene(size, size == 200 ? 100 : size);
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
  const int size = static_cast<int>(state.range(0));
  const bench::Scene scene(size, size == 200 ? 100 : size);
  for (auto _ : state) {
    dib::cDIBSection dib;
    dib.CreateFromPicture(scene.picture);
    benchmark::DoNotOptimize(dib.DIBSectionBitsPtr());
  }
  state.SetItemsProcessed(state.iterations() * scene.width * scene.height);
}
BENCHMARK(BM_CaptureOnly)->Arg(200)->Arg(2000)->Unit(benchmark::kMillisecond);

void BM_TurboJpegEncodeOnly(benchmark::State& state) {
  const int size = static_cast<int>(state.range(0));
  const bench::Scene scene(size, size == 200 ? 100 : size);
  dib::cDIBSection dib;
  dib.CreateFromPicture(scene.picture);
  tjhandle encoder = tjInitCompress();
  for (auto _ : state) {
    unsigned char* out = nullptr;
    unsigned long bytes = 0;
    tjCompress2(encoder, dib.DIBSectionBitsPtr(), dib.Width(), dib.BytesPerScanLine(), dib.Height(),
                TJPF_BGR, &out, &bytes, TJSAMP_444, 100, TJFLAG_BOTTOMUP);
    benchmark::DoNotOptimize(bytes);
    tjFree(out);
  }
  tjDestroy(encoder);
  state.SetItemsProcessed(state.iterations() * scene.width * scene.height);
}
BENCHMARK(BM_TurboJpegEncodeOnly)->Arg(200)->Arg(2000)->Unit(benchmark::kMillisecond);

}  // namespace
