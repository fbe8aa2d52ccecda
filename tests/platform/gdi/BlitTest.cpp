#include <gtest/gtest.h>

#include <random>

#include "platform/gdi/Objects.h"
#include "platform/gdi/UniqueHandle.h"
#include "support/GdiCanvas.h"

namespace kelvane::gdi {
namespace {


void FillRandom(Canvas& canvas, std::uint32_t seed) {
  std::mt19937 random(seed);
  auto bitmap = FindBitmap(canvas.bitmap.get());
  for (std::int32_t y = 0; y < bitmap->Height(); ++y) {
    std::uint8_t* row = bitmap->Row(y);
    for (std::int32_t x = 0; x < bitmap->Width() * bitmap->BytesPerPixel(); ++x) {
      row[x] = static_cast<std::uint8_t>(random());
      if (bitmap->Format() == PixelFormat::Bgrx32 && x % 4 == 3) row[x] = 0;
    }
  }
}

void ExpectSamePixels(HDC a, HDC b, std::int32_t width, std::int32_t height) {
  for (std::int32_t y = 0; y < height; ++y)
    for (std::int32_t x = 0; x < width; ++x)
      ASSERT_EQ(GetPixel(a, x, y), GetPixel(b, x, y)) << "at " << x << "," << y;
}

TEST(StrideFor, RoundsUpToWholeWordsAndRefusesWhatDoesNotFit) {
  const std::int32_t expected24[] = {4, 8, 12, 12, 16};
  for (int w = 1; w <= 5; ++w) EXPECT_EQ(StrideFor(w, 24), expected24[w - 1]) << w;
  EXPECT_EQ(StrideFor(300, 24), 900);
  EXPECT_EQ(StrideFor(7, 32), 28);
  EXPECT_EQ(StrideFor(0, 24), 0);
  EXPECT_EQ(StrideFor(-1, 24), std::nullopt);
  EXPECT_EQ(StrideFor(std::int64_t{1} << 30, 24), std::nullopt);
}

TEST(CreateCompatibleBitmap, RefusesNegativeAndOversizedRequests) {
  EXPECT_EQ(CreateCompatibleBitmap(0, -1, 5), 0u);
  EXPECT_EQ(CreateCompatibleBitmap(0, 16385, 1), 0u);
  EXPECT_EQ(CreateCompatibleBitmap(0, 16384, 4097), 0u);  // beyond 64 Mpixel
  const UniqueObject empty(CreateCompatibleBitmap(0, 0, 0));
  EXPECT_NE(empty.get(), 0u);
  EXPECT_EQ(CreateCompatibleBitmap(12345, 1, 1), 0u) << "unknown context";
}

TEST(PixelLimits, AreSettable) {
  const PixelLimits saved = GetPixelLimits();
  SetPixelLimits({100, 2000});
  EXPECT_TRUE(WithinPixelLimits(100, 20));
  EXPECT_FALSE(WithinPixelLimits(101, 1));
  EXPECT_FALSE(WithinPixelLimits(50, 41));
  SetPixelLimits(saved);
}

TEST(SelectObject, AnswersWhatItReplacesAndRefusesStaleHandles) {
  Canvas canvas(4, 4);
  const UniqueObject other(CreateCompatibleBitmap(0, 2, 2));
  EXPECT_EQ(SelectObject(canvas.dc.get(), other.get()), canvas.bitmap.get());
  EXPECT_EQ(SelectObject(canvas.dc.get(), canvas.bitmap.get()), other.get());

  const HBRUSH brush = CreateSolidBrush(RGB(1, 2, 3));
  ASSERT_TRUE(DeleteObject(brush));
  EXPECT_FALSE(DeleteObject(brush)) << "deleted twice";
  EXPECT_EQ(SelectObject(canvas.dc.get(), brush), 0u);
  EXPECT_TRUE(DeleteObject(GetStockObject(WHITE_BRUSH)));
  EXPECT_NE(FindBrush(GetStockObject(WHITE_BRUSH)), nullptr) << "stock objects stay";
}

TEST(BitBlt, RoundTripsThroughTwentyFourBitsExactlyAtAwkwardSizes) {
  const std::pair<int, int> sizes[] = {{1, 1}, {1, 7}, {7, 1}, {11, 13}, {301, 301}};
  for (const auto& [w, h] : sizes) {
    SCOPED_TRACE(testing::Message() << w << "x" << h);
    Canvas source(w, h);
    FillRandom(source, 42);
    Canvas dib(w, h, PixelFormat::Bgr24, true);
    Canvas back(w, h);
    ASSERT_TRUE(BitBlt(dib.dc.get(), 0, 0, w, h, source.dc.get(), 0, 0, SRCCOPY));
    ASSERT_TRUE(BitBlt(back.dc.get(), 0, 0, w, h, dib.dc.get(), 0, 0, SRCCOPY));
    ExpectSamePixels(source.dc.get(), dib.dc.get(), w, h);
    ExpectSamePixels(source.dc.get(), back.dc.get(), w, h);
  }
}

TEST(BitBlt, BottomUpRowsHoldTheBottomLineFirst) {
  Canvas source(3, 2);
  const UniqueObject red(CreateSolidBrush(RGB(255, 0, 0)));
  const RECT bottom{0, 1, 3, 2};
  FillRect(source.dc.get(), &bottom, red.get());
  Canvas dib(3, 2, PixelFormat::Bgr24, true);
  BitBlt(dib.dc.get(), 0, 0, 3, 2, source.dc.get(), 0, 0, SRCCOPY);
  const std::uint8_t* first = FindBitmap(dib.bitmap.get())->Bits();
  EXPECT_EQ(first[0], 0);    // blue
  EXPECT_EQ(first[2], 255);  // red
}

TEST(BitBlt, ClipsToBothBitmaps) {
  Canvas source(10, 10);
  FillRandom(source, 7);
  Canvas target(6, 6);
  const UniqueObject white(CreateSolidBrush(RGB(255, 255, 255)));
  const RECT all{0, 0, 6, 6};
  FillRect(target.dc.get(), &all, white.get());

  // Source starts above and left of the bitmap; target runs off its right edge.
  ASSERT_TRUE(BitBlt(target.dc.get(), 3, 2, 10, 10, source.dc.get(), -2, -1, SRCCOPY));
  EXPECT_EQ(GetPixel(target.dc.get(), 4, 2), 0xFFFFFFu) << "from outside the source";
  EXPECT_EQ(GetPixel(target.dc.get(), 5, 3), GetPixel(source.dc.get(), 0, 0));
  EXPECT_EQ(GetPixel(target.dc.get(), 5, 5), GetPixel(source.dc.get(), 0, 2));
  EXPECT_EQ(GetPixel(target.dc.get(), 2, 5), 0xFFFFFFu);

  EXPECT_TRUE(BitBlt(target.dc.get(), 0, 0, -3, 4, source.dc.get(), 0, 0, SRCCOPY));
  EXPECT_TRUE(BitBlt(target.dc.get(), 0, 0, 4, 4, source.dc.get(), 100000, 0, SRCCOPY));
  EXPECT_FALSE(BitBlt(target.dc.get(), 0, 0, 4, 4, source.dc.get(), 0, 0, 0x00EE0086));
}

TEST(BitBlt, OverlappingCopiesWithinOneBitmapReadTheOriginal) {
  for (const auto& [dx, dy] : {std::pair{1, 1}, std::pair{-1, -1}, std::pair{2, 0}}) {
    Canvas canvas(8, 8);
    FillRandom(canvas, 3);
    Canvas original(8, 8);
    BitBlt(original.dc.get(), 0, 0, 8, 8, canvas.dc.get(), 0, 0, SRCCOPY);
    BitBlt(canvas.dc.get(), 2 + dx, 2 + dy, 4, 4, canvas.dc.get(), 2, 2, SRCCOPY);
    for (int y = 0; y < 4; ++y)
      for (int x = 0; x < 4; ++x)
        ASSERT_EQ(GetPixel(canvas.dc.get(), 2 + dx + x, 2 + dy + y),
                  GetPixel(original.dc.get(), 2 + x, 2 + y));
  }
}

TEST(FillRect, ClipsAndKeepsRightAndBottomEdgesOut) {
  Canvas canvas(5, 5);
  const UniqueObject blue(CreateSolidBrush(RGB(0, 0, 255)));
  const RECT rect{-3, 1, 2, 100};
  ASSERT_TRUE(FillRect(canvas.dc.get(), &rect, blue.get()));
  EXPECT_EQ(GetPixel(canvas.dc.get(), 0, 1), RGB(0, 0, 255));
  EXPECT_EQ(GetPixel(canvas.dc.get(), 1, 4), RGB(0, 0, 255));
  EXPECT_EQ(GetPixel(canvas.dc.get(), 2, 1), 0u);
  EXPECT_EQ(GetPixel(canvas.dc.get(), 0, 0), 0u);
  EXPECT_EQ(GetPixel(canvas.dc.get(), 5, 0), CLR_INVALID);
}

TEST(FillRect, HatchBrushesDrawTheirLinesOnlyAlignedToTheOrigin) {
  struct Case {
    int style;
    std::pair<int, int> drawn[2];
    std::pair<int, int> clear[2];
  };
  const Case cases[] = {
      {HS_HORIZONTAL, {{3, 0}, {5, 8}}, {{3, 1}, {0, 7}}},
      {HS_VERTICAL, {{0, 3}, {8, 5}}, {{1, 3}, {7, 0}}},
      {HS_FDIAGONAL, {{0, 0}, {3, 3}}, {{3, 4}, {1, 0}}},
      {HS_BDIAGONAL, {{7, 0}, {0, 7}}, {{0, 0}, {3, 3}}},
      {HS_CROSS, {{0, 5}, {5, 0}}, {{1, 1}, {5, 5}}},
      {HS_DIAGCROSS, {{2, 2}, {2, 5}}, {{2, 3}, {0, 1}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.style);
    Canvas canvas(12, 12);
    const UniqueObject hatch(CreateHatchBrush(c.style, RGB(255, 255, 255)));
    const RECT all{0, 0, 12, 12};
    FillRect(canvas.dc.get(), &all, hatch.get());
    for (auto [x, y] : c.drawn) EXPECT_EQ(GetPixel(canvas.dc.get(), x, y), 0xFFFFFFu) << x << "," << y;
    for (auto [x, y] : c.clear) EXPECT_EQ(GetPixel(canvas.dc.get(), x, y), 0u) << x << "," << y;
  }
  Canvas canvas(4, 4);
  const RECT all{0, 0, 4, 4};
  FillRect(canvas.dc.get(), &all, GetStockObject(NULL_BRUSH));
  EXPECT_EQ(GetPixel(canvas.dc.get(), 1, 1), 0u);
  EXPECT_EQ(CreateHatchBrush(6, 0), 0u);
}

TEST(DeleteDC, LeavesTheSelectedBitmapUsable) {
  const HDC dc = CreateCompatibleDC(0);
  const UniqueObject bitmap(CreateCompatibleBitmap(dc, 3, 3));
  SelectObject(dc, bitmap.get());
  EXPECT_TRUE(DeleteDC(dc));
  EXPECT_FALSE(DeleteDC(dc));
  EXPECT_EQ(GetPixel(dc, 0, 0), CLR_INVALID);
  const UniqueDC again(CreateCompatibleDC(0));
  EXPECT_NE(SelectObject(again.get(), bitmap.get()), 0u);
  EXPECT_EQ(GetPixel(again.get(), 2, 2), 0u);
}

}  // namespace
}  // namespace kelvane::gdi
