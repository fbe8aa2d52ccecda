#include <gtest/gtest.h>

#include <string>

#include "component/Image.h"
#include "platform/gdi/Gdi.h"
#include "platform/gdi/Objects.h"
#include "support/Automation.h"
#include "surface/Form1.h"

namespace kelvane::component {
namespace {

constexpr gdi::COLORREF kWhite = 0xFFFFFF, kRed = 0x0000FF;

// The pixels of the surface that are not white.
struct Ink {
  int left = 1 << 30, top = 1 << 30, right = -1, bottom = -1;
  long count = 0;
  long exact = 0;  // of exactly the pen colour

  static Ink Read(gdi::COLORREF pen) {
    auto& plot = surface::Form1::ForThread().Plot;
    Ink ink;
    const int w = static_cast<int>(plot.get_ScaleWidth()), h = static_cast<int>(plot.get_ScaleHeight());
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) {
        const gdi::COLORREF c = gdi::GetPixel(plot.get_hDC(), x, y);
        if (c == kWhite) continue;
        ink.left = std::min(ink.left, x);
        ink.top = std::min(ink.top, y);
        ink.right = std::max(ink.right, x);
        ink.bottom = std::max(ink.bottom, y);
        ++ink.count;
        if (c == pen) ++ink.exact;
      }
    return ink;
  }
};

class Text : public testing::Test {
 protected:
  void SetUp() override {
    image.put_PlotWidth(300);
    image.put_PlotHeight(Integer{200});
    image.put_PenColor(Long{kRed});
    image.put_PlotFontSize(Integer{36});
  }
  // Paints the drawing area white again.
  static void Clear() {
    const gdi::HDC dc = surface::Form1::ForThread().Plot.get_hDC();
    const gdi::RECT all{0, 0, 300, 200};
    gdi::FillRect(dc, &all, gdi::GetStockObject(gdi::WHITE_BRUSH));
  }
  Ink Draw(const std::string& text, Integer x = 20, Integer y = 30) {
    image.PlotText(x, y, text);
    return Ink::Read(kRed);
  }
  Image image;
};

TEST_F(Text, LandsWithItsTopLeftCornerAtThePointInThePenColour) {
  const Ink ink = Draw("HH");
  EXPECT_GE(ink.left, 20);
  EXPECT_LE(ink.left, 26) << "only the side bearing lies between";
  EXPECT_GE(ink.top, 30);
  EXPECT_LE(ink.top, 30 + 16) << "only the space above capitals lies between";
  EXPECT_LE(ink.bottom, 30 + 48) << "a 36-point line is 48 pixels";
  EXPECT_GT(ink.exact, 100) << "the stems are the pen colour itself";
}

TEST_F(Text, BoldAndUnderlineAddInk) {
  const long regular = Draw("Kelvane").count;
  Clear();
  image.put_PlotFontBold(VariantBool::True);
  const long bold = Draw("Kelvane").count;
  EXPECT_GT(bold, regular * 11 / 10);

  Clear();
  image.put_PlotFontBold(VariantBool::False);
  const Ink plain = Draw("Kelvane");
  Clear();
  image.put_PlotFontUnderline(VariantBool::True);
  const Ink underlined = Draw("Kelvane");
  EXPECT_GT(underlined.bottom, plain.bottom) << "the underline lies below the baseline";
  EXPECT_GT(underlined.count, plain.count);
}

TEST_F(Text, LineBreaksStartANewLineBelow) {
  const Ink one = Draw("A");
  Clear();
  const Ink two = Draw("A\nA");
  EXPECT_GT(two.bottom, one.bottom + 30);
  EXPECT_EQ(two.left, one.left);
}

TEST_F(Text, DrawsWhatLiesInsideAndNothingForEmptyOrFarAwayText) {
  EXPECT_EQ(Draw("").count, 0);
  EXPECT_EQ(Draw("far away", 32000, 32000).count, 0);
  EXPECT_EQ(Draw("far away", -32768, -32768).count, 0);
  Clear();
  EXPECT_GT(Draw("cut", -10, -10).count, 0);
}

TEST_F(Text, DrawsInvalidUtf8ControlCharactersAndOtherScriptsWithoutFailing) {
  EXPECT_GT(Draw(std::string("\xC3\x28 \xFF\xFE \x01\x02\t\r")).count, 0);
  Clear();
  EXPECT_GT(Draw("Ελληνικά Кириллица 中文").count, 0);
  Clear();
  image.put_PlotFontSize(Integer{8});
  Draw(std::string(100000, 'x'));
}

TEST_F(Text, AnUnknownFontFallsBackToAnInstalledOne) {
  image.put_PlotFontName("No Such Font At All");
  EXPECT_GT(Draw("Fallback").exact, 10);
}

TEST_F(Text, TheFontIsBuiltWhenTextNeedsItAndKeptUntilASettingChanges) {
  const auto selectedFont = [] {
    return gdi::FindDC(surface::Form1::ForThread().Plot.get_hDC())->font.handle;
  };
  const gdi::HFONT stock = selectedFont();
  image.ApplySettings();
  EXPECT_EQ(selectedFont(), stock) << "applying settings builds no font";
  Draw("a");
  const gdi::HFONT built = selectedFont();
  EXPECT_NE(built, stock);
  Draw("b");
  image.ApplySettings();
  EXPECT_EQ(selectedFont(), built);
  image.put_PlotFontItalic(VariantBool::True);
  Draw("c");
  EXPECT_NE(selectedFont(), built);
}

}  // namespace
}  // namespace kelvane::component
