#include <gtest/gtest.h>

#include "component/Image.h"
#include "platform/gdi/Gdi.h"
#include "support/Automation.h"
#include "surface/Form1.h"

namespace kelvane::component {
namespace {

using oleaut::ErrorOf;

constexpr gdi::COLORREF kWhite = 0xFFFFFF;

gdi::COLORREF At(int x, int y) {
  return gdi::GetPixel(surface::Form1::ForThread().Plot.get_hDC(), x, y);
}

// A gradient of a new object on a `width` x `height` drawing area.
class Gradients : public testing::Test {
 protected:
  void Size(Long width, Integer height) {
    image.put_PlotWidth(width);
    image.put_PlotHeight(height);
  }
  Image image;
};

// Red to blue over 100 x 50: 98 bands across, 48 down.
TEST_F(Gradients, TheWorkedExampleLeftToRightBandForBand) {
  Size(100, 50);
  image.GradientL2R(0x0000FF, 0xFF0000);
  const std::pair<int, gdi::COLORREF> columns[] = {
      {0, 0x0000FF}, {1, 0x0300FC}, {2, 0x0500FA}, {96, 0xFA0005},
      {97, 0xFC0003}, {98, 0xFC0003}, {99, 0xFC0003}};
  for (auto [x, color] : columns) {
    EXPECT_EQ(At(x, 0), color) << "column " << x;
    EXPECT_EQ(At(x, 49), color) << "column " << x;
  }
  for (int x = 1; x < 100; ++x) {
    ASSERT_GE(gdi::GetBValue(At(x, 25)), gdi::GetBValue(At(x - 1, 25))) << x;
    ASSERT_LE(gdi::GetRValue(At(x, 25)), gdi::GetRValue(At(x - 1, 25))) << x;
    ASSERT_EQ(gdi::GetGValue(At(x, 25)), 0) << x;
  }
}

TEST_F(Gradients, TheWorkedExampleTopToBottomBandForBand) {
  Size(100, 50);
  image.GradientT2B(0x0000FF, 0xFF0000);
  const std::pair<int, gdi::COLORREF> rows[] = {
      {0, 0x0000FF}, {1, 0x0500FA}, {2, 0x0B00F4}, {46, 0xF4000B},
      {47, 0xFA0005}, {48, 0xFA0005}, {49, 0xFA0005}};
  for (auto [y, color] : rows) {
    EXPECT_EQ(At(0, y), color) << "row " << y;
    EXPECT_EQ(At(99, y), color) << "row " << y;
  }
}

// Whatever the size, the gradient covers the whole drawing area, every line
// across it shows one colour, and the colours run monotonically along it.
TEST_F(Gradients, EverySizeFillsExactlyTheDrawingArea) {
  const struct {
    Long width;
    Integer height;
  } sizes[] = {{3, 1}, {1, 4}, {5, 7}, {3, 9}, {9, 300}, {100, 50}, {257, 3}, {64, 65}};
  for (const auto& size : sizes) {
    for (const bool leftToRight : {true, false}) {
      const int along = leftToRight ? size.width : size.height;
      if (along < 3) continue;  // no band fits: nothing is painted
      SCOPED_TRACE(testing::Message() << size.width << " x " << size.height
                                      << (leftToRight ? " left to right" : " top to bottom"));
      Image fresh;
      fresh.put_PlotWidth(size.width);
      fresh.put_PlotHeight(size.height);
      if (leftToRight) {
        fresh.GradientL2R(0x0000FF, 0xFF0000);
      } else {
        fresh.GradientT2B(0x0000FF, 0xFF0000);
      }
      for (int y = 0; y < size.height; ++y) {
        for (int x = 0; x < size.width; ++x)
          ASSERT_EQ(At(x, y), leftToRight ? At(x, 0) : At(0, y)) << x << "," << y;
      }
      EXPECT_EQ(At(0, 0), 0x0000FFu);
      for (int i = 1; i < along; ++i) {
        const gdi::COLORREF before = leftToRight ? At(i - 1, 0) : At(0, i - 1);
        const gdi::COLORREF now = leftToRight ? At(i, 0) : At(0, i);
        ASSERT_GE(gdi::GetBValue(now), gdi::GetBValue(before)) << i;
        ASSERT_LE(gdi::GetRValue(now), gdi::GetRValue(before)) << i;
      }
    }
  }
}

TEST_F(Gradients, OneColourFillsTheWholeArea) {
  Size(40, 30);
  image.GradientL2R(0x123456, 0x123456);
  for (auto [x, y] : {std::pair{0, 0}, {39, 0}, {0, 29}, {39, 29}, {20, 15}})
    EXPECT_EQ(At(x, y), 0x123456u) << x << "," << y;
}

TEST_F(Gradients, BlackToWhiteOver257ColumnsStepsByExactlyOne) {
  Size(257, 4);
  image.GradientL2R(0x000000, 0xFFFFFF);
  for (int x = 0; x < 255; ++x) {
    const auto level = static_cast<std::uint8_t>(x);
    ASSERT_EQ(At(x, 2), gdi::RGB(level, level, level)) << x;
  }
  for (int x = 254; x < 257; ++x) EXPECT_EQ(At(x, 2), 0xFEFEFEu) << x;
}

TEST_F(Gradients, ThreeColumnsMakeOneBandOfTheStartColour) {
  Size(3, 5);
  image.GradientL2R(0x00FF00, 0x0000FF);
  for (int x = 0; x < 3; ++x) EXPECT_EQ(At(x, 4), 0x00FF00u);
}

TEST_F(Gradients, SurfacesTooSmallOrTooLargePaintNothingAndRaiseNothing) {
  const struct {
    Long width;
    Integer height;
  } sizes[] = {{2, 20}, {1, 20}, {0, 20}, {2183, 4}, {4, 2183}};
  for (const auto& size : sizes) {
    SCOPED_TRACE(testing::Message() << size.width << " x " << size.height);
    Image fresh;
    fresh.put_PlotWidth(size.width);
    fresh.put_PlotHeight(size.height);
    fresh.put_PenColor(Long{0x0000FF});
    EXPECT_EQ(ErrorOf([&] { fresh.GradientL2R(0, 0); }), 0);
    if (size.width > 0 && size.height > 0) {
      EXPECT_EQ(At(0, 0), kWhite);
    }
  }
  Size(100, 2);
  EXPECT_EQ(ErrorOf([&] { image.GradientT2B(0, 0); }), 0) << "exactly 60 twips high divides by 0";
  EXPECT_EQ(At(50, 0), kWhite);
}

TEST_F(Gradients, ColoursOutsideTheRgbRangePaintClampedPartsAndRaiseNothing) {
  Size(20, 10);
  for (Long color : {-1, static_cast<Long>(0x80000005u), 0x7FFFFFFF, 0x01000000})
    EXPECT_EQ(ErrorOf([&] { image.GradientL2R(color, color); }), 0) << color;
  image.GradientL2R(static_cast<Long>(0x80000005u), static_cast<Long>(0x80000005u));
  EXPECT_EQ(At(5, 5), gdi::RGB(5, 0, 0)) << "blue -32768 clamps to 0";
}

TEST_F(Gradients, SettingsThatFailRaiseBeforeAnythingIsPainted) {
  Size(20, 10);
  image.put_PlotFontSize("big");
  EXPECT_EQ(ErrorOf([&] { image.GradientT2B(0, 0); }), 13);
}

}  // namespace
}  // namespace kelvane::component
