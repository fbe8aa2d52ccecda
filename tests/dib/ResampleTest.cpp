#include <gtest/gtest.h>

#include <array>
#include <random>
#include <vector>

#include "dib/cDIBSection.h"
#include "support/Automation.h"

namespace kelvane::dib {
namespace {

using oleaut::ErrorOf;

// A section whose first byte (blue) of pixel (x, memory row r) is value(x, r);
// green and red are fixed.
template <class Value>
std::unique_ptr<cDIBSection> Section(Long width, Long height, Value value) {
  auto dib = std::make_unique<cDIBSection>();
  EXPECT_TRUE(oleaut::IsTrue(dib->Create(width, height)));
  for (Long r = 0; r < height; ++r)
    for (Long x = 0; x < width; ++x) {
      std::uint8_t* p = dib->DIBSectionBitsPtr() + r * dib->BytesPerScanLine() + 3 * x;
      p[0] = static_cast<std::uint8_t>(value(x, r));
      p[1] = 7;
      p[2] = 9;
    }
  return dib;
}

std::uint8_t Byte(const cDIBSection& dib, Long c, Long r) {
  return dib.DIBSectionBitsPtr()[r * dib.BytesPerScanLine() + c];
}

TEST(Resample, TheSameSizeCopiesThePicture) {
  const auto source = Section(5, 3, [](Long x, Long r) { return 10 * x + r; });
  const auto copy = source->Resample(3, 5);
  ASSERT_NE(copy, nullptr);
  for (Long r = 0; r < 3; ++r)
    for (Long c = 0; c < 15; ++c) EXPECT_EQ(Byte(*copy, c, r), Byte(*source, c, r));
}

TEST(Resample, EnlargingSamplesAtStepsOfSizeLessOneOverTheTargetSize) {
  const auto source = Section(2, 2, [](Long x, Long) { return x == 0 ? 0 : 200; });
  const auto target = source->Resample(4, 4);
  ASSERT_NE(target, nullptr);
  for (Long r = 0; r < 4; ++r)
    for (Long x = 0; x < 4; ++x) EXPECT_EQ(Byte(*target, 3 * x, r), 50 * x) << x << "," << r;
  EXPECT_EQ(Byte(*target, 1, 0), 7);
  EXPECT_EQ(Byte(*target, 2, 3), 9);
}

TEST(Resample, RoundsTiesToEven) {
  const auto source = Section(2, 2, [](Long x, Long) { return x == 0 ? 2 : 3; });
  const auto target = source->Resample(2, 4);
  const int expected[] = {2, 2, 2, 3};
  for (Long x = 0; x < 4; ++x) EXPECT_EQ(Byte(*target, 3 * x, 0), expected[x]) << x;
}

TEST(Resample, ShrinkingTakesTwoByTwoNeighbourhoodsAtEachStep) {
  const int firsts[] = {10, 20, 31, 99};
  const auto source = Section(4, 2, [&](Long x, Long) { return firsts[x]; });
  const auto target = source->Resample(2, 2);
  EXPECT_EQ(Byte(*target, 0, 0), 10);
  EXPECT_EQ(Byte(*target, 3, 0), 26) << "25.5 to even";
}

TEST(Resample, AKeptHeightStillMovesTheRows) {
  const auto source = Section(2, 2, [](Long, Long r) { return r == 0 ? 0 : 100; });
  const auto target = source->Resample(2, 3);
  EXPECT_EQ(Byte(*target, 0, 0), 0);
  EXPECT_EQ(Byte(*target, 0, 1), 50);
}

TEST(Resample, TakesTheHeightFirst) {
  const auto source = Section(3, 3, [](Long, Long) { return 1; });
  const auto target = source->Resample(10, 20);
  EXPECT_EQ(target->Width(), 20);
  EXPECT_EQ(target->Height(), 10);
}

TEST(Resample, RefusesWhatItCannotInterpolate) {
  const auto narrow = Section(1, 4, [](Long, Long) { return 1; });
  EXPECT_EQ(ErrorOf([&] { narrow->Resample(4, 3); }), 9);
  EXPECT_NE(narrow->Resample(4, 1), nullptr) << "the same size is a copy";
  const auto low = Section(4, 1, [](Long, Long) { return 1; });
  EXPECT_EQ(ErrorOf([&] { low->Resample(2, 4); }), 9);
  const auto fine = Section(4, 4, [](Long, Long) { return 1; });
  EXPECT_EQ(ErrorOf([&] { fine->Resample(0, 4); }), 5);
  EXPECT_EQ(ErrorOf([&] { fine->Resample(4, -1); }), 5);
  EXPECT_EQ(fine->Resample(20000, 20000), nullptr) << "a section that cannot be made";
  cDIBSection empty;
  EXPECT_EQ(ErrorOf([&] { empty.Resample(2, 2); }), 9) << "a section without pixels has no byte to read";
}

// The steps followed literally, every index checked as it is used: the
// hoisted checks and tables of the real routine must give the same bytes.
std::vector<std::uint8_t> Reference(const cDIBSection& s, Long wt, Long ht) {
  const Long ws = s.Width(), hs = s.Height(), stride = s.BytesPerScanLine();
  const Long strideT = (3 * wt + 3) & ~3;
  std::vector<std::uint8_t> out(static_cast<std::size_t>(strideT * ht), 0);
  const auto xScale = static_cast<float>(static_cast<double>(ws - 1) / wt);
  const auto yScale = static_cast<float>(static_cast<double>(hs - 1) / ht);
  const auto at = [&](Long c, Long r) {
    EXPECT_TRUE(c >= 0 && c < stride && r >= 0 && r < hs);
    return static_cast<double>(Byte(s, c, r));
  };
  for (Long y = 0; y < ht; ++y) {
    const auto fy = static_cast<float>(y * static_cast<double>(yScale));
    const auto iy = static_cast<Long>(std::floor(fy));
    const double dy = fy - static_cast<float>(iy);
    for (Long x = 0; x < wt; ++x) {
      const auto fx = static_cast<float>(x * static_cast<double>(xScale));
      const auto ix = static_cast<Long>(std::floor(fx));
      const double dx = fx - static_cast<float>(ix);
      Long v[6];
      for (int k = 0; k < 6; ++k)
        v[k] = static_cast<Long>(std::nearbyint((1 - dy) * at(3 * ix + k, iy) + dy * at(3 * ix + k, iy + 1)));
      for (int j = 0; j < 3; ++j)
        out[static_cast<std::size_t>(y * strideT + 3 * x + j)] = static_cast<std::uint8_t>(
            std::clamp<Long>(static_cast<Long>(std::nearbyint((1 - dx) * v[j] + dx * v[j + 3])), 0, 255));
    }
  }
  return out;
}

TEST(Resample, EqualsTheStepsFollowedLiterallyAndLeavesTheSourceAlone) {
  std::mt19937 random(11);
  // Ratios of powers of two give weights that meet ties; sources 2 or 3
  // wide or high give weights finer than 2^-23.
  std::vector<std::array<std::pair<Long, Long>, 2>> sizes = {
      {{{7, 5}, {13, 3}}},     {{{30, 20}, {11, 45}}},  {{{301, 201}, {123, 456}}},
      {{{2, 3}, {1000, 7}}},   {{{3, 2}, {5, 999}}},    {{{1000, 4}, {9, 2}}},
      {{{64, 64}, {96, 96}}},  {{{97, 13}, {1, 1}}},    {{{5, 9}, {8, 16}}},
      {{{129, 65}, {256, 32}}}, {{{257, 17}, {64, 512}}}, {{{2, 2}, {301, 301}}},
      {{{301, 301}, {2, 3}}},  {{{1001, 3}, {1500, 4}}}, {{{1000, 7}, {500, 5}}}};
  // and sizes from 2 x 2 to 301 x 301 at any ratio, larger and smaller
  for (int i = 0; i < 60; ++i) {
    const auto side = [&](Long least) { return static_cast<Long>(least + random() % (302 - least)); };
    const Long w = side(2), h = side(2), tw = side(1), th = side(1);
    sizes.push_back({{{w, h}, {tw, th}}});
  }
  for (const auto& [from, to] : sizes) {
    const auto source = Section(from.first, from.second, [&](Long, Long) { return random() & 0xFF; });
    for (Long r = 0; r < source->Height(); ++r)
      for (Long c = 0; c < 3 * source->Width(); ++c)
        source->DIBSectionBitsPtr()[r * source->BytesPerScanLine() + c] =
            static_cast<std::uint8_t>(random());
    const std::vector<std::uint8_t> before(
        source->DIBSectionBitsPtr(),
        source->DIBSectionBitsPtr() + source->BytesPerScanLine() * source->Height());
    const auto target = source->Resample(to.second, to.first);
    const auto expected = Reference(*source, to.first, to.second);
    const std::vector<std::uint8_t> actual(
        target->DIBSectionBitsPtr(),
        target->DIBSectionBitsPtr() + target->BytesPerScanLine() * target->Height());
    EXPECT_EQ(actual, expected) << from.first << "x" << from.second << " to " << to.first << "x"
                                << to.second;
    EXPECT_TRUE(std::equal(before.begin(), before.end(), source->DIBSectionBitsPtr()));
  }
}

}  // namespace
}  // namespace kelvane::dib
