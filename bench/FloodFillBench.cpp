// What a flood fill of a 2000 x 2000 area costs, inside a 1-pixel frame of
// the border colour. The brush alternates between two colours so that every
// iteration fills the whole area again.

#include <benchmark/benchmark.h>

#include "platform/gdi/Gdi.h"
#include "platform/gdi/UniqueHandle.h"

namespace {

using namespace kelvane::gdi;

constexpr std::int32_t kSide = 2002;
constexpr COLORREF kBorder = RGB(255, 0, 0);

template <class MakeBrush>
void FillFramedArea(benchmark::State& state, MakeBrush makeBrush) {
  const UniqueDC dc(CreateCompatibleDC(0));
  const UniqueObject bitmap(CreateCompatibleBitmap(dc.get(), kSide, kSide));
  SelectObject(dc.get(), bitmap.get());
  const UniqueObject border(CreateSolidBrush(kBorder));
  const RECT all{0, 0, kSide, kSide};
  FillRect(dc.get(), &all, border.get());
  const RECT inside{1, 1, kSide - 1, kSide - 1};
  FillRect(dc.get(), &inside, GetStockObject(BLACK_BRUSH));

  const UniqueObject brushes[] = {UniqueObject(makeBrush(RGB(0, 0, 255))),
                                  UniqueObject(makeBrush(RGB(0, 255, 0)))};
  std::size_t turn = 0;
  for (auto _ : state) {
    SelectObject(dc.get(), brushes[turn ^= 1].get());
    benchmark::DoNotOptimize(ExtFloodFill(dc.get(), 1000, 1000, kBorder, FLOODFILLBORDER));
  }
  SelectObject(dc.get(), GetStockObject(WHITE_BRUSH));
  state.SetItemsProcessed(state.iterations() * (kSide - 2) * (kSide - 2));
}

void BM_FloodFillSolid(benchmark::State& state) { FillFramedArea(state, CreateSolidBrush); }
BENCHMARK(BM_FloodFillSolid)->Unit(benchmark::kMillisecond);

void BM_FloodFillHatch(benchmark::State& state) {
  FillFramedArea(state, [](COLORREF color) { return CreateHatchBrush(HS_DIAGCROSS, color); });
}
BENCHMARK(BM_FloodFillHatch)->Unit(benchmark::kMillisecond);

}  // namespace
