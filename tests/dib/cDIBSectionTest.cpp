#include "dib/cDIBSection.h"

#include <gtest/gtest.h>

#include "platform/gdi/Objects.h"
#include "platform/gdi/UniqueHandle.h"
#include "support/Automation.h"
#include "support/GdiCanvas.h"

namespace kelvane::dib {
namespace {

using oleaut::ErrorOf;

TEST(cDIBSection, StridesHoldThreeBytesAPixelInWholeWords) {
  cDIBSection dib;
  const Long expected[] = {4, 8, 12, 12, 16};
  for (Long w = 1; w <= 5; ++w) {
    ASSERT_TRUE(oleaut::IsTrue(dib.Create(w, 1)));
    EXPECT_EQ(dib.BytesPerScanLine(), expected[w - 1]);
    EXPECT_EQ(dib.BytesPerScanLine(), gdi::StrideFor(w, 24)) << "the layout GDI allocates";
  }
}

TEST(cDIBSection, ANewObjectReportsZerosAndClearUpKeepsTheSize) {
  cDIBSection dib;
  EXPECT_EQ(dib.Width(), 0);
  EXPECT_EQ(dib.Height(), 0);
  EXPECT_EQ(dib.BytesPerScanLine(), 0);
  EXPECT_EQ(dib.hdc(), 0u);
  EXPECT_EQ(dib.hDib(), 0u);
  EXPECT_EQ(dib.DIBSectionBitsPtr(), nullptr);

  ASSERT_TRUE(oleaut::IsTrue(dib.Create(7, 5)));
  EXPECT_NE(dib.hdc(), 0u);
  EXPECT_NE(dib.hDib(), 0u);
  EXPECT_NE(dib.DIBSectionBitsPtr(), nullptr);
  const gdi::HBITMAP section = dib.hDib();
  dib.ClearUp();
  EXPECT_EQ(dib.hdc(), 0u);
  EXPECT_EQ(dib.hDib(), 0u);
  EXPECT_EQ(dib.DIBSectionBitsPtr(), nullptr);
  EXPECT_EQ(dib.Width(), 7);
  EXPECT_EQ(dib.Height(), 5);
  EXPECT_EQ(gdi::FindBitmap(section), nullptr) << "the section is deleted";
}

TEST(cDIBSection, CreateReleasesTheOldSectionAndAFailedOneLeavesTheObjectEmpty) {
  cDIBSection dib;
  ASSERT_TRUE(oleaut::IsTrue(dib.Create(4, 4)));
  const gdi::HBITMAP first = dib.hDib();
  ASSERT_TRUE(oleaut::IsTrue(dib.Create(6, 2)));
  EXPECT_EQ(gdi::FindBitmap(first), nullptr);
  for (auto [w, h] : {std::pair{0, 5}, {5, 0}, {-3, 4}, {16385, 1}, {20000, 20000}}) {
    EXPECT_FALSE(oleaut::IsTrue(dib.Create(w, h))) << w << "x" << h;
    EXPECT_EQ(dib.hdc(), 0u);
    EXPECT_EQ(dib.hDib(), 0u);
    EXPECT_EQ(dib.DIBSectionBitsPtr(), nullptr);
  }
  EXPECT_EQ(ErrorOf([&] { dib.Create(800000000, 1); }), 6) << "3 x width passes 32 bits";
  EXPECT_EQ(ErrorOf([&] { dib.Create(100000, 100000); }), 6) << "the image size passes 32 bits";
  EXPECT_EQ(dib.hdc(), 0u) << "no context is left behind";
  EXPECT_EQ(dib.Width(), 100000) << "the header holds the new size";
}

TEST(cDIBSection, APictureIsCopiedWithItsBottomLineFirstInMemory) {
  gdi::Canvas screen(300, 200);
  const gdi::UniqueObject red(gdi::CreateSolidBrush(gdi::RGB(255, 0, 0)));
  const gdi::UniqueObject blue(gdi::CreateSolidBrush(gdi::RGB(0, 0, 255)));
  const gdi::RECT top{0, 0, 300, 1}, bottom{0, 199, 300, 200};
  gdi::FillRect(screen.dc.get(), &top, red.get());
  gdi::FillRect(screen.dc.get(), &bottom, blue.get());
  const auto picture = std::make_shared<picture::Picture>(screen.bitmap.get(), false);

  cDIBSection dib;
  dib.CreateFromPicture(picture);
  EXPECT_EQ(dib.Width(), 300);
  EXPECT_EQ(dib.Height(), 200);
  EXPECT_EQ(dib.BytesPerScanLine(), 900);
  EXPECT_EQ(dib.Header().biSizeImage, 180000u);
  EXPECT_EQ(dib.Header().biSize, 40u);
  EXPECT_EQ(dib.Header().biBitCount, 24);
  const std::uint8_t* bits = dib.DIBSectionBitsPtr();
  EXPECT_EQ(bits[0], 255) << "the first bytes are the blue bottom line";
  EXPECT_EQ(bits[2], 0);
  EXPECT_EQ(bits[199 * 900 + 0], 0) << "the red top line comes last";
  EXPECT_EQ(bits[199 * 900 + 2], 255);
  EXPECT_EQ(bits[100 * 900 + 3 * 150], 0) << "black between";
}

TEST(cDIBSection, NoPictureMakesNothing) {
  cDIBSection dib;
  dib.CreateFromPicture(nullptr);
  EXPECT_EQ(dib.hDib(), 0u);
  const gdi::UniqueObject brush(gdi::CreateSolidBrush(0));
  dib.CreateFromPicture(std::make_shared<picture::Picture>(brush.get(), false));
  EXPECT_EQ(dib.hDib(), 0u) << "a handle that is no bitmap";
}

TEST(cDIBSection, PaintsBackWhatItHoldsAndTakesWholeSizesForNegativeOnes) {
  gdi::Canvas source(5, 3);
  const gdi::UniqueObject green(gdi::CreateSolidBrush(gdi::RGB(0, 255, 0)));
  const gdi::RECT cell{4, 2, 5, 3};
  gdi::FillRect(source.dc.get(), &cell, green.get());
  cDIBSection dib;
  ASSERT_TRUE(oleaut::IsTrue(dib.Create(5, 3)));
  dib.LoadPictureBlt(source.dc.get(), 0, 0, -1, -1, gdi::SRCCOPY);
  gdi::Canvas target(10, 10);
  dib.PaintPicture(target.dc.get(), 2, 3, -1, -1, 0, 0, gdi::SRCCOPY);
  EXPECT_EQ(gdi::GetPixel(target.dc.get(), 6, 5), gdi::RGB(0, 255, 0));
  EXPECT_EQ(gdi::GetPixel(target.dc.get(), 5, 5), 0u);
}

}  // namespace
}  // namespace kelvane::dib
