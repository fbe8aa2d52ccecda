#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <thread>

#include "platform/gdi/UniqueHandle.h"
#include "platform/oleaut/AutomationError.h"
#include "support/Automation.h"
#include "surface/Form1.h"

namespace kelvane::surface {
namespace {

using oleaut::ErrorOf;
constexpr gdi::COLORREF kWhite = 0xFFFFFF;

class Form1Test : public testing::Test {
 protected:
  void SetUp() override { Form1::RenewForThread(); }
  void TearDown() override { Form1::RenewForThread(); }
  PictureBox& Plot() { return Form1::ForThread().Plot; }
};

void Paint(PictureBox& box, int x, int y, gdi::COLORREF color) {
  const gdi::UniqueObject brush(gdi::CreateSolidBrush(color));
  const gdi::RECT r{x, y, x + 1, y + 1};
  gdi::FillRect(box.get_hDC(), &r, brush.get());
}

// The design state, which a made form and a renewed one share.
void ExpectDesignState(PictureBox& plot) {
  EXPECT_EQ(plot.get_Width(), 300.0f);
  EXPECT_EQ(plot.get_Height(), 300.0f);
  EXPECT_EQ(plot.get_ScaleWidth(), 298.0f);
  EXPECT_EQ(plot.get_ScaleHeight(), 298.0f);
  EXPECT_EQ(plot.get_BackColor(), static_cast<Long>(0x80000005u));
  EXPECT_EQ(plot.get_ForeColor(), static_cast<Long>(0x80000008u));
  EXPECT_EQ(plot.get_FillStyle(), 1);
  EXPECT_EQ(plot.get_FillColor(), 0);
  EXPECT_EQ(plot.get_DrawStyle(), 0);
  EXPECT_EQ(plot.get_DrawWidth(), 1);
  EXPECT_EQ(plot.get_FontSize(), 8.0f);
  EXPECT_EQ(plot.get_FontName(), "sans-serif");
  EXPECT_FALSE(oleaut::IsTrue(plot.get_FontBold()));
  EXPECT_FALSE(oleaut::IsTrue(plot.get_FontUnderline()));
  EXPECT_EQ(plot.get_CurrentX(), 0.0f);
  EXPECT_TRUE(oleaut::IsTrue(plot.get_AutoRedraw()));
  EXPECT_EQ(plot.get_Picture(), nullptr);
  const gdi::HDC dc = plot.get_hDC();
  for (auto [x, y] : {std::pair{0, 0}, {297, 0}, {0, 297}, {297, 297}, {150, 150}})
    EXPECT_EQ(gdi::GetPixel(dc, x, y), kWhite);
  EXPECT_EQ(gdi::GetPixel(dc, 298, 0), gdi::CLR_INVALID);

  EXPECT_EQ(Form1::ForThread().Logo.get_ScaleWidth(), 70.0f);
  EXPECT_EQ(Form1::ForThread().tPict.get_ScaleHeight(), 63.0f);
  EXPECT_EQ(gdi::GetPixel(Form1::ForThread().tPict.get_hDC(), 5, 5), kWhite);
}

TEST_F(Form1Test, AFreshPlotHasItsDesignValuesAndAWhiteInterior) { ExpectDesignState(Plot()); }

TEST_F(Form1Test, ARenewedFormIsBackInItsDesignStateWithItsLogo) {
  Form1& form = Form1::ForThread();
  const gdi::COLORREF logo = gdi::GetPixel(form.Logo.get_hDC(), 30, 30);
  for (const float width : {300.0f, 120.0f}) {
    PictureBox& plot = Plot();
    plot.put_Width(width);
    plot.put_ForeColor(0x00FF00);
    plot.put_DrawStyle(2);
    plot.put_DrawWidth(3);
    plot.put_FillColor(0x0000FF);
    plot.put_FillStyle(0);
    plot.put_FontName("Liberation Serif");
    plot.put_FontSize(20.0f);
    plot.put_FontBold(VariantBool::True);
    plot.put_FontUnderline(VariantBool::True);
    plot.put_CurrentX(9.0f);
    plot.put_AutoRedraw(VariantBool::False);
    Paint(plot, 5, 5, 0x123456);
    plot.putref_Picture(plot.get_Image());
    Paint(form.tPict, 5, 5, 0x123456);
    Form1::RenewForThread();
    EXPECT_EQ(&Form1::ForThread(), &form) << "the same form, renewed";
    ExpectDesignState(plot);
    EXPECT_EQ(gdi::GetPixel(form.Logo.get_hDC(), 30, 30), logo);
  }
}

TEST_F(Form1Test, RefusedValuesRaise380AndChangeNothing) {
  PictureBox& plot = Plot();
  const struct {
    const char* what;
    std::function<void()> assign;
  } refusals[] = {
      {"DrawStyle -1", [&] { plot.put_DrawStyle(-1); }},
      {"DrawStyle 7", [&] { plot.put_DrawStyle(7); }},
      {"FillStyle -1", [&] { plot.put_FillStyle(-1); }},
      {"FillStyle 8", [&] { plot.put_FillStyle(8); }},
      {"DrawWidth 0", [&] { plot.put_DrawWidth(0); }},
      {"FontSize 0", [&] { plot.put_FontSize(0.0f); }},
      {"FontSize 2160.5", [&] { plot.put_FontSize(2160.5f); }},
      {"FontSize NaN", [&] { plot.put_FontSize(std::nanf("")); }},
      {"ForeColor 0x01000000", [&] { plot.put_ForeColor(0x01000000); }},
      {"ForeColor 0x80000019", [&] { plot.put_ForeColor(static_cast<Long>(0x80000019u)); }},
      {"FillColor -1", [&] { plot.put_FillColor(-1); }},
      {"Width -1", [&] { plot.put_Width(-1.0f); }},
      {"Width beyond a side", [&] { plot.put_Width(16387.0f); }},
      {"Height beyond all pixels", [&] {
         plot.put_Width(16386.0f);
         plot.put_Height(4100.0f);
       }},
      {"Height infinite", [&] { plot.put_Height(std::numeric_limits<float>::infinity()); }},
  };
  for (const auto& r : refusals) {
    EXPECT_EQ(ErrorOf(r.assign), 380) << r.what;
    EXPECT_EQ(plot.get_DrawStyle(), 0);
    EXPECT_EQ(plot.get_FillStyle(), 1);
    EXPECT_EQ(plot.get_DrawWidth(), 1);
    EXPECT_EQ(plot.get_FontSize(), 8.0f);
    EXPECT_EQ(plot.get_ForeColor(), static_cast<Long>(0x80000008u));
    EXPECT_EQ(plot.get_FillColor(), 0);
    EXPECT_EQ(plot.get_Height(), 300.0f);
  }
  plot.put_FontSize(2160.0f);
  plot.put_ForeColor(static_cast<Long>(0x80000018u));
  plot.put_DrawWidth(32767);
}

TEST_F(Form1Test, ResizingKeepsTheTopLeftPixelsAndFillsNewOnesWithTheBackColour) {
  PictureBox& plot = Plot();
  const gdi::HDC dc = plot.get_hDC();
  Paint(plot, 5, 5, 0x0000FF);
  Paint(plot, 200, 5, 0x00FF00);
  plot.put_Width(102.0f);  // interior 100
  EXPECT_EQ(plot.get_ScaleWidth(), 100.0f);
  plot.put_Width(402.0f);
  EXPECT_EQ(plot.get_hDC(), dc) << "the context outlives a resize";
  EXPECT_EQ(gdi::GetPixel(dc, 5, 5), 0x0000FFu);
  EXPECT_EQ(gdi::GetPixel(dc, 200, 5), kWhite) << "cut off by the narrower size";
  EXPECT_EQ(gdi::GetPixel(dc, 399, 297), kWhite);
  EXPECT_EQ(gdi::GetPixel(dc, 400, 0), gdi::CLR_INVALID);

  plot.put_Height(2.0f);
  EXPECT_EQ(plot.get_ScaleHeight(), 0.0f);
  plot.put_Height(1.0f);
  EXPECT_EQ(plot.get_ScaleHeight(), 0.0f) << "an interior never goes below zero";
  EXPECT_EQ(plot.get_Height(), 1.0f);
}

TEST_F(Form1Test, SizesRoundTiesToEvenAndAnUnchangedSizeKeepsThePixelMemory) {
  PictureBox& plot = Plot();
  plot.put_Width(100.5f);
  EXPECT_EQ(plot.get_Width(), 100.0f);
  plot.put_Width(101.5f);
  EXPECT_EQ(plot.get_Width(), 102.0f);
  const gdi::HBITMAP before = plot.get_Image()->get_Handle();
  plot.put_Width(102.0f);
  plot.put_Height(300.0f);
  EXPECT_EQ(plot.get_Image()->get_Handle(), before);
}

TEST_F(Form1Test, APictureIsPaintedAtTheTopLeftOnTheBackColour) {
  PictureBox& plot = Plot();
  PictureBox& holder = Form1::ForThread().tPict;
  Paint(holder, 0, 0, 0x123456);
  Paint(plot, 100, 100, 0x654321);

  plot.putref_Picture(plot.get_Image());
  EXPECT_EQ(gdi::GetPixel(plot.get_hDC(), 100, 100), 0x654321u) << "its own drawing stays";

  const auto picture = holder.get_Image();
  plot.putref_Picture(picture);
  EXPECT_EQ(plot.get_Picture(), picture);
  EXPECT_EQ(gdi::GetPixel(plot.get_hDC(), 0, 0), 0x123456u);
  EXPECT_EQ(gdi::GetPixel(plot.get_hDC(), 100, 100), kWhite);
}

TEST_F(Form1Test, EachThreadHasItsOwnForm) {
  Form1* mine = &Form1::ForThread();
  Form1* theirs = nullptr;
  std::thread([&] { theirs = &Form1::ForThread(); }).join();
  EXPECT_NE(mine, theirs);
}

}  // namespace
}  // namespace kelvane::surface
