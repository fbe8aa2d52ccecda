#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/gdi/Objects.h"
#include "platform/gdi/UniqueHandle.h"
#include "support/GdiCanvas.h"

namespace kelvane::gdi {
namespace {

// Pictures are drawn and read as rows of letters, one letter a pixel.
constexpr COLORREF kBorder = RGB(255, 0, 0);
constexpr COLORREF kGreen = RGB(0, 255, 0);
constexpr COLORREF kBlue = RGB(0, 0, 255);
constexpr COLORREF kWhite = RGB(255, 255, 255);

COLORREF ColorOf(char letter) {
  switch (letter) {
    case '#': return kBorder;
    case 'g': return kGreen;
    case 'b': return kBlue;
    case 'w': return kWhite;
    default: return 0;
  }
}

char LetterOf(COLORREF color) {
  for (char letter : {'#', 'g', 'b', 'w', '.'})
    if (ColorOf(letter) == color) return letter;
  return '?';
}

using Picture = std::vector<std::string>;

// A canvas drawn from, and read back as, rows of letters.
struct LetterCanvas : Canvas {
  using Canvas::Canvas;
  explicit LetterCanvas(const Picture& picture, PixelFormat format = PixelFormat::Bgrx32,
                        bool bottomUp = false)
      : LetterCanvas(static_cast<std::int32_t>(picture[0].size()),
                     static_cast<std::int32_t>(picture.size()), format, bottomUp) {
    for (std::size_t y = 0; y < picture.size(); ++y)
      for (std::size_t x = 0; x < picture[y].size(); ++x) Put(x, y, ColorOf(picture[y][x]));
  }

  void Put(std::size_t x, std::size_t y, COLORREF color) {
    const UniqueObject brush(CreateSolidBrush(color));
    const RECT pixel{static_cast<std::int32_t>(x), static_cast<std::int32_t>(y),
                     static_cast<std::int32_t>(x + 1), static_cast<std::int32_t>(y + 1)};
    FillRect(dc.get(), &pixel, brush.get());
  }

  Picture Read() const {
    const auto bits = FindBitmap(bitmap.get());
    Picture picture(static_cast<std::size_t>(bits->Height()), std::string(bits->Width(), ' '));
    for (std::int32_t y = 0; y < bits->Height(); ++y)
      for (std::int32_t x = 0; x < bits->Width(); ++x)
        picture[y][x] = LetterOf(GetPixel(dc.get(), x, y));
    return picture;
  }

  // Fills from (x, y) with the given brush, which the canvas then owns.
  BOOL Fill(std::int32_t x, std::int32_t y, HBRUSH brushHandle, COLORREF color = kBorder,
            unsigned type = FLOODFILLBORDER) {
    brush.reset(brushHandle);
    SelectObject(dc.get(), brush.get());
    return ExtFloodFill(dc.get(), x, y, color, type);
  }

  UniqueObject brush;
};

TEST(ExtFloodFill, FillsTheInsideOfABorderOnly) {
  LetterCanvas canvas({".......",
                       ".#####.",
                       ".#...#.",
                       ".#...#.",
                       ".#####.",
                       "......."});
  ASSERT_TRUE(canvas.Fill(3, 2, CreateSolidBrush(kBlue)));
  EXPECT_EQ(canvas.Read(), (Picture{".......",
                                    ".#####.",
                                    ".#bbb#.",
                                    ".#bbb#.",
                                    ".#####.",
                                    "......."}));
}

TEST(ExtFloodFill, LeaksThroughAnOrthogonalGapButNotADiagonalOne) {
  LetterCanvas diagonal({"#......",
                         ".#.....",
                         "..#....",
                         "...#...",
                         "....#..",
                         ".....#.",
                         "......#"});
  ASSERT_TRUE(diagonal.Fill(0, 6, CreateSolidBrush(kGreen)));
  EXPECT_EQ(diagonal.Read(), (Picture{"#......",
                                      "g#.....",
                                      "gg#....",
                                      "ggg#...",
                                      "gggg#..",
                                      "ggggg#.",
                                      "gggggg#"}));

  LetterCanvas corner({".......",
                       "..####.",
                       ".#...#.",
                       ".#####."});
  ASSERT_TRUE(corner.Fill(2, 2, CreateSolidBrush(kGreen)));
  EXPECT_EQ(corner.Read(), (Picture{".......",
                                    "..####.",
                                    ".#ggg#.",
                                    ".#####."}));

  LetterCanvas gap({".......",
                    ".##.##.",
                    ".#...#.",
                    ".#####."});
  ASSERT_TRUE(gap.Fill(2, 2, CreateSolidBrush(kGreen)));
  EXPECT_EQ(gap.Read(), (Picture{"ggggggg",
                                 "g##g##g",
                                 "g#ggg#g",
                                 "g#####g"}));
}

TEST(ExtFloodFill, RefusesAStartThatDoesNotQualifyAndChangesNothing) {
  const Picture picture{"....",
                        ".##.",
                        "....",
                        "..g."};
  LetterCanvas canvas(picture);
  EXPECT_FALSE(canvas.Fill(1, 1, CreateSolidBrush(kBlue))) << "on the border";
  for (auto [x, y] : {std::pair{-1, 0}, std::pair{4, 0}, std::pair{0, -1}, std::pair{0, 4}})
    EXPECT_FALSE(canvas.Fill(x, y, CreateSolidBrush(kBlue))) << x << "," << y;
  EXPECT_FALSE(canvas.Fill(0, 0, CreateSolidBrush(kBlue), kGreen, FLOODFILLSURFACE));
  EXPECT_FALSE(canvas.Fill(0, 0, CreateSolidBrush(kBlue), kBorder, 2)) << "unknown type";
  EXPECT_FALSE(ExtFloodFill(0x12345, 0, 0, kBorder, FLOODFILLBORDER)) << "bad handle";
  EXPECT_EQ(canvas.Read(), picture);
}

TEST(ExtFloodFill, IgnoresTheUnusedByteOfTheColour) {
  LetterCanvas canvas({"..#.."});
  ASSERT_TRUE(canvas.Fill(0, 0, CreateSolidBrush(kGreen), kBorder | 0xFF000000));
  EXPECT_EQ(canvas.Read(), Picture{"gg#.."});
}

// The area is decided by the colours before the fill, so a brush of the
// border's colour, or of a colour already inside, neither loops nor stops
// short.
TEST(ExtFloodFill, BrushOfTheBorderOrAnInsideColourFillsTheWholeArea) {
  const Picture picture{"#######",
                        "#..b..#",
                        "#..b..#",
                        "#######"};
  LetterCanvas border(picture);
  ASSERT_TRUE(border.Fill(1, 1, CreateSolidBrush(kBorder)));
  EXPECT_EQ(border.Read(), (Picture{"#######",
                                    "#######",
                                    "#######",
                                    "#######"}));

  for (char inside : {'b', '.'}) {
    SCOPED_TRACE(inside);
    LetterCanvas canvas(picture);
    ASSERT_TRUE(canvas.Fill(1, 1, CreateSolidBrush(ColorOf(inside))));
    const std::string row = "#" + std::string(5, inside) + "#";
    EXPECT_EQ(canvas.Read(), (Picture{"#######", row, row, "#######"}));
  }
}

TEST(ExtFloodFill, HatchBrushPaintsItsPatternAlignedToTheOriginAndNullBrushNothing) {
  Picture picture(12, std::string(12, '.'));
  for (std::size_t i = 1; i <= 10; ++i)
    picture[1][i] = picture[10][i] = picture[i][1] = picture[i][10] = '#';

  LetterCanvas canvas(picture);
  ASSERT_TRUE(canvas.Fill(4, 4, CreateHatchBrush(HS_CROSS, kWhite)));
  const Picture filled = canvas.Read();
  EXPECT_EQ(filled[8][4], 'w') << "horizontal line, row 8";
  EXPECT_EQ(filled[4][8], 'w') << "vertical line, column 8";
  EXPECT_EQ(filled[4][4], '.') << "between the lines";
  EXPECT_EQ(filled[8][0], '.') << "outside the border";
  EXPECT_EQ(filled[0][8], '.') << "outside the border";
  EXPECT_EQ(filled[8][1], '#') << "the border itself";

  LetterCanvas empty(picture);
  EXPECT_TRUE(empty.Fill(4, 4, GetStockObject(NULL_BRUSH)));
  EXPECT_EQ(empty.Read(), picture);
}

TEST(ExtFloodFill, SurfaceFillsExactlyTheAreaOfOneColour) {
  LetterCanvas canvas({"gg.g",
                       ".g.g",
                       ".gg.",
                       "g..g"});
  ASSERT_TRUE(canvas.Fill(0, 0, CreateSolidBrush(kBlue), kGreen, FLOODFILLSURFACE));
  EXPECT_EQ(canvas.Read(), (Picture{"bb.g",
                                    ".b.g",
                                    ".bb.",
                                    "g..g"}));
}

TEST(ExtFloodFill, BottomUpTwentyFourBitBitmapsFillAsThirtyTwoBitOnes) {
  const Picture picture{"...........",
                        ".#######...",
                        ".#.....#...",
                        ".#..#..#.#.",
                        ".#.....#..#",
                        ".#######...",
                        "....#......",
                        "...........",
                        "..........."};
  LetterCanvas screen(picture);
  LetterCanvas dib(picture, PixelFormat::Bgr24, true);
  for (LetterCanvas* canvas : {&screen, &dib}) {
    ASSERT_TRUE(canvas->Fill(0, 0, CreateHatchBrush(HS_FDIAGONAL, kWhite)));
    ASSERT_TRUE(canvas->Fill(2, 2, CreateSolidBrush(kBlue)));
  }
  const Picture filled = screen.Read();
  EXPECT_EQ(filled[0][0], 'w');
  EXPECT_EQ(filled[1][0], '.');
  EXPECT_EQ(filled[8][8], 'w');
  EXPECT_EQ(filled[2][2], 'b');
  EXPECT_EQ(filled[3][4], '#');
  EXPECT_EQ(dib.Read(), filled);
}

TEST(ExtFloodFill, FillsCombsAndSerpentinesCompletely) {
  // A comb of 101 columns: a spine along the top, teeth down every even
  // column. Then a serpentine that runs across each row and turns at
  // alternate ends.
  Picture comb(40, std::string(101, '#'));
  comb[0].assign(101, '.');
  for (auto& row : comb)
    for (std::size_t x = 0; x < row.size(); x += 2) row[x] = '.';
  Picture serpentine(41, std::string(70, '#'));
  for (std::size_t y = 0; y < serpentine.size(); y += 2) {
    serpentine[y].assign(70, '.');
    if (y + 1 < serpentine.size()) serpentine[y + 1][(y / 2) % 2 == 0 ? 69 : 0] = '.';
  }

  for (const Picture* picture : {&comb, &serpentine}) {
    LetterCanvas canvas(*picture);
    const auto height = static_cast<std::int32_t>(picture->size());
    ASSERT_TRUE(canvas.Fill(0, height - 1, CreateSolidBrush(kGreen)));
    Picture expected = *picture;
    for (auto& row : expected) std::replace(row.begin(), row.end(), '.', 'g');
    EXPECT_EQ(canvas.Read(), expected);
  }
}

TEST(ExtFloodFill, FillsTheLargestBitmapFromACorner) {
  LetterCanvas canvas(16384, 4096);
  ASSERT_TRUE(canvas.Fill(0, 0, CreateSolidBrush(kWhite)));
  EXPECT_EQ(GetPixel(canvas.dc.get(), 16383, 4095), kWhite);
  EXPECT_EQ(GetPixel(canvas.dc.get(), 8191, 2047), kWhite);
}

}  // namespace
}  // namespace kelvane::gdi
