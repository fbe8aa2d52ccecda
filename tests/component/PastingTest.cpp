#include <gtest/gtest.h>
#include <turbojpeg.h>

#include <string>
#include <vector>

#include "component/Image.h"
#include "platform/gdi/Gdi.h"
#include "platform/memory/PageMemory.h"
#include "support/Automation.h"
#include "support/TempFolder.h"
#include "surface/Form1.h"
#include "surface/Logo.h"

namespace kelvane::component {
namespace {

using oleaut::ErrorOf;

constexpr gdi::COLORREF kWhite = 0xFFFFFF, kGreen = 0x00FF00, kRed = 0x0000FF, kBlue = 0xFF0000;

gdi::COLORREF At(int x, int y) {
  return gdi::GetPixel(surface::Form1::ForThread().Plot.get_hDC(), x, y);
}

// A 24-bit BMP of `width` x `height` in `color`, with a blue top-left pixel.
std::vector<std::uint8_t> Bmp(int width, int height, gdi::COLORREF color) {
  const int stride = (3 * width + 3) & ~3;
  const std::uint32_t size = 54 + static_cast<std::uint32_t>(stride * height);
  std::vector<std::uint8_t> file(size, 0);
  const auto put32 = [&](std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) file[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
  };
  file[0] = 'B';
  file[1] = 'M';
  put32(2, size);
  put32(10, 54);
  put32(14, 40);
  put32(18, static_cast<std::uint32_t>(width));
  put32(22, static_cast<std::uint32_t>(height));
  file[26] = 1;
  file[28] = 24;
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      const gdi::COLORREF c = (x == 0 && y == height - 1) ? kBlue : color;
      std::uint8_t* p = &file[54 + static_cast<std::size_t>(y * stride + x * 3)];
      p[0] = gdi::GetBValue(c);
      p[1] = gdi::GetGValue(c);
      p[2] = gdi::GetRValue(c);
    }
  return file;
}

// A new object on a green 200 x 150 drawing area, and a folder for files.
class Pasting : public testing::Test {
 protected:
  void SetUp() override {
    image.put_PlotWidth(200);
    image.put_PlotHeight(Integer{150});
    image.put_PenColor(Long{kGreen});
    image.PlotSolidBox(0, 0, 199, 149);
  }

  std::string File(const std::string& name, const std::vector<std::uint8_t>& bytes) {
    return folder.File(name, bytes);
  }

  const TempFolder folder{"paste"};
  Image image;
};

TEST(PastingOnAFreshForm, AMissingFileRaisesNothingAndChangesNothing) {
  surface::Form1::RenewForThread();
  Image image;
  EXPECT_EQ(ErrorOf([&] { image.PastePicture(0, 0, "/no/such/picture.bmp"); }), 0);
  EXPECT_EQ(At(0, 0), kWhite);
  EXPECT_EQ(surface::Form1::ForThread().Plot.get_Width(), 300.0f) << "no settings applied";
}

TEST_F(Pasting, ASmallPictureLandsUnscaledWithTheHoldersWhiteBesideIt) {
  image.PastePicture(0, 0, File("small.bmp", Bmp(40, 30, kRed)));
  EXPECT_EQ(At(0, 0), kBlue);
  EXPECT_EQ(At(1, 0), kRed);
  EXPECT_EQ(At(39, 29), kRed);
  EXPECT_EQ(At(40, 0), kWhite);
  EXPECT_EQ(At(69, 62), kWhite);
  EXPECT_EQ(At(70, 0), kGreen) << "beyond the holder nothing changes";
  EXPECT_EQ(At(0, 63), kGreen);
  EXPECT_EQ(surface::Form1::ForThread().tPict.get_ScaleWidth(), 70.0f);
}

TEST_F(Pasting, ALargePictureGivesOnlyItsTopLeftCorner) {
  image.PastePicture(10, 20, File("large.bmp", Bmp(100, 80, kRed)));
  EXPECT_EQ(At(10, 20), kBlue);
  EXPECT_EQ(At(79, 82), kRed);
  EXPECT_EQ(At(80, 82), kGreen);
  EXPECT_EQ(At(79, 83), kGreen);
}

TEST_F(Pasting, NegativeCornersShiftThePictureAndCutItOff) {
  image.PastePicture(-10, -5, File("small.bmp", Bmp(40, 30, kRed)));
  EXPECT_EQ(At(0, 0), kRed);
  EXPECT_EQ(At(29, 24), kRed);
  EXPECT_EQ(At(30, 24), kWhite);
  EXPECT_EQ(At(59, 57), kWhite);
  EXPECT_EQ(At(60, 0), kGreen);
  EXPECT_EQ(At(0, 58), kGreen);
}

TEST_F(Pasting, AFileThatCannotBeLoadedPastesThePictureHeldBefore) {
  image.PastePicture(0, 0, File("small.bmp", Bmp(40, 30, kRed)));
  const std::vector<std::uint8_t> junk{'B', 'M', 1, 2, 3};
  EXPECT_EQ(ErrorOf([&] { image.PastePicture(100, 100, File("junk.bmp", junk)); }), 0);
  EXPECT_EQ(At(101, 100), kRed);
  EXPECT_EQ(ErrorOf([&] { image.PastePicture(100, 0, folder.Path().string()); }), 0);
  EXPECT_EQ(At(101, 0), kRed);
}

TEST_F(Pasting, APictureMemoryCannotHoldIsSkippedLikeAnyFailure) {
  image.PastePicture(0, 0, File("small.bmp", Bmp(40, 30, kRed)));
  const std::string large = File("large.bmp", Bmp(400, 300, kBlue));
  {
    const memory::LimitScope limit(100000);
    EXPECT_EQ(ErrorOf([&] { image.PastePicture(100, 100, large); }), 0);
  }
  EXPECT_EQ(At(101, 100), kRed) << "the picture held before";
}

TEST_F(Pasting, TheLogoRaisesASmallSurfaceToTwoHundredAndLandsAtTheCorner) {
  image.put_PlotWidth(78);
  image.put_PlotHeight(Integer{148});
  image.PlotPixel(0, 0);
  image.PasteLogo();
  surface::PictureBox& plot = surface::Form1::ForThread().Plot;
  EXPECT_EQ(plot.get_Width(), 200.0f);
  EXPECT_EQ(plot.get_Height(), 150.0f);
  const gdi::HDC logo = surface::Form1::ForThread().Logo.get_hDC();
  for (auto [x, y] : {std::pair{0, 0}, {35, 30}, {69, 62}, {10, 50}})
    EXPECT_EQ(At(x, y), gdi::GetPixel(logo, x, y)) << x << "," << y;

  std::vector<gdi::COLORREF> once;
  for (int y = 0; y < 63; ++y)
    for (int x = 0; x < 70; ++x) once.push_back(At(x, y));
  image.PasteLogo();
  std::size_t i = 0;
  for (int y = 0; y < 63; ++y)
    for (int x = 0; x < 70; ++x) ASSERT_EQ(At(x, y), once[i++]) << "twice equals once";
}

TEST_F(Pasting, TheLogoLeavesAHundredPixelHighSurfaceAsItIs) {
  image.put_PlotHeight(Integer{98});
  image.PlotPixel(0, 0);
  image.PasteLogo();
  EXPECT_EQ(surface::Form1::ForThread().Plot.get_Height(), 100.0f);
  EXPECT_EQ(surface::Form1::ForThread().Plot.get_Width(), 202.0f);
}

TEST(Logo, IsASeventyBySixtyThreeBaselineJfifPictureInColour) {
  const auto jpeg = surface::LogoJpeg();
  ASSERT_GT(jpeg.size(), 20u);
  EXPECT_EQ(std::string(jpeg.begin() + 6, jpeg.begin() + 10), "JFIF");
  tjhandle decoder = tjInitDecompress();
  int width = 0, height = 0, sampling = 0, colorspace = 0;
  ASSERT_EQ(tjDecompressHeader3(decoder, jpeg.data(), jpeg.size(), &width, &height, &sampling,
                                &colorspace), 0);
  tjDestroy(decoder);
  EXPECT_EQ(width, 70);
  EXPECT_EQ(height, 63);
  EXPECT_EQ(colorspace, TJCS_YCbCr);
  bool baseline = false;
  for (std::size_t i = 0; i + 1 < jpeg.size(); ++i)
    if (jpeg[i] == 0xFF && jpeg[i + 1] == 0xC0) baseline = true;
  EXPECT_TRUE(baseline) << "a baseline frame marker";
}

}  // namespace
}  // namespace kelvane::component
