#include <gtest/gtest.h>

#include <mutex>
#include <set>
#include <stdexcept>
#include <string>
#include <thread>

#include "dib/cDIBSection.h"
#include "platform/gdi/Objects.h"
#include "platform/gdi/UniqueHandle.h"
#include "platform/user/Clipboard.h"
#include "platform/user/MessageBox.h"

namespace kelvane::dib {
namespace {

// A section whose every byte, padding included, is 0xAB.
void Fill(cDIBSection& dib, Long width, Long height) {
  ASSERT_TRUE(oleaut::IsTrue(dib.Create(width, height)));
  std::fill_n(dib.DIBSectionBitsPtr(), dib.BytesPerScanLine() * height, 0xAB);
}

TEST(RandomiseBits, ColourNoiseHasNoBlueAndFreshGreenAndRed) {
  cDIBSection dib;
  Fill(dib, 5, 40);
  dib.RandomiseBits(VariantBool::False);
  std::set<int> greens, reds;
  for (Long r = 0; r < 40; ++r) {
    const std::uint8_t* row = dib.DIBSectionBitsPtr() + r * dib.BytesPerScanLine();
    for (Long x = 0; x < 5; ++x) {
      EXPECT_EQ(row[3 * x], 0);
      greens.insert(row[3 * x + 1]);
      reds.insert(row[3 * x + 2]);
    }
    EXPECT_EQ(row[15], 0xAB) << "padding";
  }
  EXPECT_GT(greens.size(), 50u);
  EXPECT_GT(reds.size(), 50u);
}

TEST(RandomiseBits, GreyNoiseHasEqualBytesInEachPixel) {
  cDIBSection dib;
  Fill(dib, 6, 30);
  dib.RandomiseBits(VariantBool::True);
  std::set<int> levels;
  for (Long r = 0; r < 30; ++r) {
    const std::uint8_t* row = dib.DIBSectionBitsPtr() + r * dib.BytesPerScanLine();
    for (Long x = 0; x < 6; ++x) {
      EXPECT_EQ(row[3 * x], row[3 * x + 1]);
      EXPECT_EQ(row[3 * x], row[3 * x + 2]);
      levels.insert(row[3 * x]);
    }
  }
  EXPECT_GT(levels.size(), 50u);
}

TEST(RandomiseBits, ASectionOnePixelWideGetsOnePixelALine) {
  cDIBSection dib;
  Fill(dib, 1, 8);
  dib.RandomiseBits(VariantBool::False);
  for (Long r = 0; r < 8; ++r) {
    const std::uint8_t* row = dib.DIBSectionBitsPtr() + r * dib.BytesPerScanLine();
    EXPECT_EQ(row[0], 0);
    EXPECT_EQ(row[3], 0xAB) << "the padding byte";
  }
}

class CopyToClipboard : public testing::Test {
 protected:
  void SetUp() override {
    user::SetMessageLog([this](std::string_view text) {
      const std::lock_guard lock(mutex);
      logged += std::string(text) + "\n";
    });
  }
  void TearDown() override { user::SetMessageLog([](std::string_view) {}); }

  // The size of the bitmap on the clipboard; 0 x 0 when there is none.
  static std::pair<int, int> ClipboardSize() {
    EXPECT_TRUE(user::OpenClipboard(0));
    gdi::BITMAP record{};
    gdi::GetObjectA(user::GetClipboardData(user::CF_BITMAP), sizeof(record), &record);
    user::CloseClipboard();
    return {record.bmWidth, record.bmHeight};
  }

  std::mutex mutex;
  std::string logged;
};

TEST_F(CopyToClipboard, AsBitmapPutsACopyThereAndAsDibOnlyLogsARefusal) {
  cDIBSection dib;
  Fill(dib, 10, 5);
  EXPECT_EQ(dib.CopyToClipboard(VariantBool::False), VariantBool::True);
  EXPECT_EQ(ClipboardSize(), std::pair(10, 5));
  ASSERT_TRUE(user::OpenClipboard(0));
  const auto bitmap = gdi::FindBitmap(user::GetClipboardData(user::CF_BITMAP));
  user::CloseClipboard();
  EXPECT_EQ(bitmap->Format(), gdi::PixelFormat::Bgrx32) << "the screen's format";
  EXPECT_EQ(bitmap->Row(4)[0], 0xAB);

  cDIBSection other;
  Fill(other, 3, 3);
  EXPECT_EQ(other.CopyToClipboard(VariantBool::True), VariantBool::False);
  EXPECT_NE(logged.find("I don't know how to put a DIB on the clipboard! Copy as bitmap instead!!!"),
            std::string::npos);
  EXPECT_EQ(ClipboardSize(), std::pair(10, 5)) << "the clipboard is as it was";
}

TEST_F(CopyToClipboard, WhatOneThreadCopiesEveryThreadReadsAndReplaces) {
  std::thread([] {
    cDIBSection dib;
    Fill(dib, 6, 2);
    EXPECT_EQ(dib.CopyToClipboard(VariantBool::False), VariantBool::True);
  }).join();
  EXPECT_EQ(ClipboardSize(), std::pair(6, 2)) << "read on another thread, after the first ended";
  cDIBSection dib;
  Fill(dib, 3, 7);
  EXPECT_EQ(dib.CopyToClipboard(VariantBool::False), VariantBool::True);
  std::thread([] { EXPECT_EQ(ClipboardSize(), std::pair(3, 7)); }).join();
}

// Handles count up and are never reused: every handle made between two
// probes that still finds an object has leaked.
TEST_F(CopyToClipboard, ReleasesItsContextsWhenTheMessageLogFails) {
  user::SetMessageLog([](std::string_view) { throw std::runtime_error("the log is full"); });
  cDIBSection dib;
  Fill(dib, 3, 3);
  const gdi::UniqueDC before(gdi::CreateCompatibleDC(0));
  EXPECT_THROW(dib.CopyToClipboard(VariantBool::True), std::runtime_error);
  const gdi::UniqueDC after(gdi::CreateCompatibleDC(0));
  for (gdi::HGDIOBJ h = before.get() + 1; h < after.get(); ++h) EXPECT_EQ(gdi::FindDC(h), nullptr);
}

TEST_F(CopyToClipboard, AnswersFalseWhileAnotherThreadHasTheClipboardOpen) {
  cDIBSection dib;
  Fill(dib, 4, 4);
  std::thread([&] {
    ASSERT_TRUE(user::OpenClipboard(0));
    EXPECT_EQ(dib.CopyToClipboard(VariantBool::False), VariantBool::True) << "its own thread may";
    user::CloseClipboard();
  }).join();
  ASSERT_TRUE(user::OpenClipboard(0));
  std::thread([&] { EXPECT_EQ(dib.CopyToClipboard(VariantBool::False), VariantBool::False); }).join();
  user::CloseClipboard();
}

}  // namespace
}  // namespace kelvane::dib
