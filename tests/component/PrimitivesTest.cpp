#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "component/Image.h"
#include "platform/gdi/Gdi.h"
#include "support/Automation.h"
#include "surface/Form1.h"

namespace kelvane::component {
namespace {

using oleaut::ErrorOf;

constexpr gdi::COLORREF kBlack = 0x000000, kWhite = 0xFFFFFF, kRed = 0x0000FF,
                        kGreen = 0x00FF00, kBlue = 0xFF0000;

gdi::COLORREF At(int x, int y) {
  return gdi::GetPixel(surface::Form1::ForThread().Plot.get_hDC(), x, y);
}

// A new object on a 100 x 100 drawing area.
class Primitives : public testing::Test {
 protected:
  void SetUp() override {
    image.put_PlotWidth(100);
    image.put_PlotHeight(Integer{100});
  }
  Image image;
};

TEST_F(Primitives, ABoxOfANewObjectIsFilledSolidBlackUntilTheFillIsTransparent) {
  image.PlotBox(10, 10, 50, 40);
  EXPECT_EQ(At(10, 10), kBlack);
  EXPECT_EQ(At(50, 40), kBlack);
  EXPECT_EQ(At(30, 25), kBlack);
  EXPECT_EQ(At(51, 25), kWhite);
  EXPECT_EQ(At(30, 41), kWhite);

  Image fresh;
  image.put_PlotFillStyle(Integer{1});
  image.PlotBox(60, 60, 80, 70);
  EXPECT_EQ(At(60, 60), kBlack);
  EXPECT_EQ(At(80, 70), kBlack);
  EXPECT_EQ(At(70, 60), kBlack);
  EXPECT_EQ(At(70, 65), kWhite);
  EXPECT_EQ(At(81, 65), kWhite);
}

TEST_F(Primitives, ASolidBoxIsAllPenColourAndReversedCornersGiveTheSameBox) {
  image.put_PenColor(Long{kRed});
  image.put_PlotFillColor(Long{kBlue});
  image.PlotSolidBox(50, 40, 10, 10);
  for (auto [x, y] : {std::pair{10, 10}, {50, 40}, {30, 25}, {10, 40}}) EXPECT_EQ(At(x, y), kRed);
  EXPECT_EQ(At(9, 10), kWhite);
  EXPECT_EQ(At(51, 40), kWhite);

  image.put_PenColor(Long{kGreen});
  image.PlotBox(-32768, -32768, 32767, 32767);
  EXPECT_EQ(At(0, 0), kBlue) << "the outline lies outside; the inside fills the area";
  EXPECT_EQ(At(99, 99), kBlue);
}

TEST_F(Primitives, ALineIncludesBothEndPoints) {
  image.PlotLine(0, 0, 10, 0);
  EXPECT_EQ(At(0, 0), kBlack);
  EXPECT_EQ(At(10, 0), kBlack);
  EXPECT_EQ(At(11, 0), kWhite);
  image.PlotLine(20, 20, 30, 30);
  EXPECT_EQ(At(20, 20), kBlack);
  EXPECT_EQ(At(25, 25), kBlack);
  EXPECT_EQ(At(30, 30), kBlack);
  EXPECT_EQ(At(31, 31), kWhite);
  image.PlotLine(-32768, -32768, 32767, 32767);
  EXPECT_EQ(At(99, 99), kBlack);
}

TEST_F(Primitives, APixelIsADotOfThePenWidth) {
  image.put_PenColor(Long{kGreen});
  image.PlotPixel(5, 5);
  EXPECT_EQ(At(5, 5), kGreen);
  EXPECT_EQ(At(6, 5), kWhite);
  image.put_PenWidth(Integer{5});
  image.PlotPixel(50, 50);
  EXPECT_EQ(At(50, 50), kGreen);
  EXPECT_EQ(At(51, 51), kGreen);
  EXPECT_EQ(At(50, 53), kWhite);
  image.PlotPixel(-5, 200);
}

// At width 1 both ends of a line and both corners of a box belong to it,
// however short or thin it is, in every style that draws.
TEST_F(Primitives, ShortAndThinShapesKeepTheirEndsAndCorners) {
  image.put_PlotFillStyle(Integer{1});
  const struct {
    const char* what;
    Integer style;
    void (*draw)(Image&);
    int left, top, right, bottom;  // the pixels expected, and no others
  } cases[] = {
      {"a point", 0, [](Image& i) { i.PlotLine(20, 20, 20, 20); }, 20, 20, 20, 20},
      {"a dashed point", 1, [](Image& i) { i.PlotLine(20, 20, 20, 20); }, 20, 20, 20, 20},
      {"a dashed line", 1, [](Image& i) { i.PlotLine(5, 20, 15, 20); }, 5, 20, 15, 20},
      {"a dashed line upwards", 1, [](Image& i) { i.PlotLine(20, 15, 20, 5); }, 20, 5, 20, 15},
      {"a dotted line", 2, [](Image& i) { i.PlotLine(7, 20, 5, 20); }, 5, 20, 7, 20},
      {"a dotted line ending in a gap", 2, [](Image& i) { i.PlotLine(5, 20, 8, 20); }, 5, 20, 8,
       20},
      {"a box of one pixel", 0, [](Image& i) { i.PlotBox(20, 20, 20, 20); }, 20, 20, 20, 20},
      {"a box one pixel wide", 0, [](Image& i) { i.PlotBox(20, 10, 20, 20); }, 20, 10, 20, 20},
      {"a box one pixel high", 0, [](Image& i) { i.PlotBox(20, 20, 10, 20); }, 10, 20, 20, 20},
      {"a dashed box one pixel wide", 1, [](Image& i) { i.PlotBox(20, 20, 20, 10); }, 20, 10,
       20, 20},
      {"a box two pixels wide", 0, [](Image& i) { i.PlotBox(20, 10, 21, 20); }, 20, 10, 21, 20},
      {"a circle of radius 0", 0, [](Image& i) { i.PlotCircle(20, 20, 0); }, 20, 20, 20, 20},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    image.put_PenStyle(Integer{0});
    image.put_PenColor(Long{kWhite});
    image.PlotSolidBox(0, 0, 40, 40);
    image.put_PenColor(Long{kBlack});
    image.put_PenStyle(c.style);
    c.draw(image);
    std::string wrong;
    for (int y = 0; y <= 40; ++y)
      for (int x = 0; x <= 40; ++x) {
        const bool expected = x >= c.left && x <= c.right && y >= c.top && y <= c.bottom;
        if (At(x, y) != (expected ? kBlack : kWhite))
          wrong += " " + std::to_string(x) + "," + std::to_string(y);
      }
    EXPECT_EQ(wrong, "") << "pixels wrong";
  }
  for (Integer style = 1; style <= 4; ++style) {
    image.put_PenStyle(style);
    image.put_PenColor(Long{kWhite});
    image.PlotSolidBox(0, 0, 40, 40);
    image.put_PenColor(Long{kBlack});
    image.PlotBox(30, 10, 3, 22);
    for (auto [x, y] : {std::pair{3, 10}, {30, 10}, {3, 22}, {30, 22}})
      EXPECT_EQ(At(x, y), kBlack) << "style " << style << " corner " << x << "," << y;
  }
}

// Style 6 keeps a wide pen inside the box or circle: along the middle row
// and column, w pixels of pen at each side, nothing beyond; a shape smaller
// than the pen is pen all through.
TEST_F(Primitives, AnInsideSolidPenStaysInsideTheShape) {
  image.put_PlotFillStyle(Integer{1});
  image.put_PenStyle(Integer{6});
  for (const bool circle : {false, true})
    for (const int w : {2, 5, 8, 30}) {
      SCOPED_TRACE(testing::Message() << (circle ? "circle" : "box") << " of pen width " << w);
      image.put_PenWidth(Integer{1});
      image.put_PenColor(Long{kWhite});
      image.PlotSolidBox(0, 0, 99, 99);
      image.put_PenColor(Long{kRed});
      image.put_PenWidth(Integer(w));
      if (circle) image.PlotCircle(50, 50, 20);
      else image.PlotBox(30, 30, 70, 70);
      std::string wrong;
      for (int y = 0; y < 100; ++y)
        for (int x = 0; x < 100; ++x) {
          const double dx = x - 50, dy = y - 50;
          const bool inside = circle ? dx * dx + dy * dy <= 20.5 * 20.5
                                     : x >= 30 && x <= 70 && y >= 30 && y <= 70;
          const int fromEdge = std::min(std::min(x, y) - 30, 70 - std::max(x, y));
          const bool middle = x == 50 || y == 50;
          const bool pen = inside && (!middle || fromEdge < w);
          if (At(x, y) == kRed ? !inside : middle && pen != (At(x, y) == kRed))
            wrong += " " + std::to_string(x) + "," + std::to_string(y);
        }
      EXPECT_EQ(wrong, "") << "pixels wrong";
    }
  image.put_PenWidth(Integer{5});
  for (void (*draw)(Image&) : {+[](Image& i) { i.PlotCircle(20, 20, 0); },
                               +[](Image& i) { i.PlotBox(20, 20, 20, 20); }}) {
    image.put_PenStyle(Integer{0});
    image.put_PenColor(Long{kWhite});
    image.PlotSolidBox(0, 0, 40, 40);
    image.put_PenColor(Long{kRed});
    image.put_PenStyle(Integer{6});
    draw(image);
    for (auto [x, y] : {std::pair{20, 19}, {19, 20}, {21, 20}, {20, 21}})
      EXPECT_EQ(At(x, y), kWhite) << x << "," << y;
    EXPECT_EQ(At(20, 20), kRed);
  }
}

// A dot of width w lies in the w x w square around the point (its left and
// top w / 2 before it), reaches all four sides, and covers most of it.
TEST_F(Primitives, ADotCoversAboutTheSquareOfThePenWidthAtEveryWidth) {
  for (int w = 1; w <= 9; ++w) {
    SCOPED_TRACE(w);
    image.put_PenColor(Long{kWhite});
    image.PlotSolidBox(0, 0, 99, 99);
    image.put_PenColor(Long{kRed});
    image.put_PenWidth(Integer(w));
    image.PlotPixel(50, 50);
    const int left = 50 - w / 2, right = left + w - 1;
    int painted = 0;
    for (int y = 40; y < 60; ++y)
      for (int x = 40; x < 60; ++x) {
        const bool inSquare = x >= left && x <= right && y >= left && y <= right;
        if (At(x, y) != kRed) continue;
        ++painted;
        EXPECT_TRUE(inSquare) << x << "," << y;
      }
    EXPECT_GE(painted * 4, 3 * w * w);
    for (int i = left; i <= right; ++i) {
      EXPECT_EQ(At(i, 50), kRed) << "the middle row";
      EXPECT_EQ(At(50, i), kRed) << "the middle column";
    }
  }
}

TEST_F(Primitives, ASolidCircleFillsWithTheFillColourAndRestoresTheStoredStyle) {
  image.put_PlotFillStyle("1");
  image.put_PlotFillColor(Long{kGreen});
  image.PlotSolidCircle(50, 50, 20);
  EXPECT_EQ(At(50, 50), kGreen);
  EXPECT_EQ(At(50, 30), kBlack) << "the outline";
  EXPECT_EQ(At(50, 29), kWhite);
  EXPECT_EQ(image.get_PlotFillStyle(), Variant(Integer{1}));
  image.PlotCircle(20, 20, 5);
  EXPECT_EQ(At(20, 20), kWhite) << "the following circle is unfilled";
  EXPECT_EQ(At(25, 20), kBlack);

  Image other;
  other.PlotSolidCircle(10, 10, 3);
  EXPECT_EQ(other.get_PlotFillStyle(), Variant(Integer{0}));
}

// From the centre outwards every row runs: inside colour, outline, white;
// the fill never shows outside the outline nor leaves a gap inside it.
TEST_F(Primitives, AFilledCircleMeetsItsOutlineInEveryRow) {
  image.put_PlotFillColor(Long{kGreen});
  for (int r : {0, 1, 2, 3, 5, 10, 37}) {
    SCOPED_TRACE(r);
    image.put_PenColor(Long{kWhite});
    image.PlotSolidBox(0, 0, 99, 99);
    image.put_PenColor(Long{kBlack});
    image.PlotCircle(50, 50, static_cast<Integer>(r));
    EXPECT_EQ(At(50, 50 - r), kBlack);
    EXPECT_EQ(At(50 + r, 50), kBlack);
    for (int y = 50 - r; y <= 50 + r; ++y) {
      int x = 50;
      while (At(x, y) == kGreen) ++x;
      ASSERT_EQ(At(x, y), kBlack) << "row " << y << " column " << x;
      while (At(x, y) == kBlack) ++x;
      for (; x < 100; ++x) ASSERT_EQ(At(x, y), kWhite) << "row " << y << " column " << x;
    }
  }
}

TEST_F(Primitives, ASolidCircleThatFailsStillRestoresTheStoredStyle) {
  image.put_PlotFillStyle(Integer{1});
  EXPECT_EQ(ErrorOf([&] { image.PlotSolidCircle(50, 50, -1); }), 5);
  EXPECT_EQ(image.get_PlotFillStyle(), Variant(Integer{1}));
  image.put_PlotFillStyle("x");
  EXPECT_EQ(ErrorOf([&] { image.PlotSolidCircle(50, 50, 5); }), 13);
  EXPECT_EQ(image.get_PlotFillStyle(), Variant("x"));
  image.put_PlotFillStyle(Integer{0});
  EXPECT_EQ(ErrorOf([&] { image.PlotCircle(50, 50, -1); }), 5);
}

TEST_F(Primitives, FloodFillUsesTheFillLastAppliedNotTheOneStoredSince) {
  image.put_PlotFillStyle(Integer{1});
  image.PlotBox(10, 10, 50, 40);
  image.put_PlotFillStyle(Integer{0});
  image.put_PlotFillColor(Long{kRed});
  image.FloodFill(30, 25, kBlack);
  EXPECT_EQ(At(30, 25), kWhite) << "still the transparent fill";
  image.PlotPixel(0, 0);
  image.FloodFill(30, 25, kBlack);
  EXPECT_EQ(At(30, 25), kRed);
  EXPECT_EQ(At(11, 11), kRed);
  EXPECT_EQ(At(10, 10), kBlack);
  EXPECT_EQ(At(60, 60), kWhite);
  image.FloodFill(-1, 5, kBlack);
  image.FloodFill(10, 10, kBlack);
}

}  // namespace
}  // namespace kelvane::component
