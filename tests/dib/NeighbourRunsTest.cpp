#include "dib/NeighbourRuns.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace kelvane::dib {
namespace {

TEST(NeighbourRuns, EveryCopyGivesEachTargetByteItsTwoNeighbours) {
  std::vector<std::pair<std::string, NeighbourCopy>> copies{{"bytes", CopyNeighboursBytes}};
  if (__builtin_cpu_supports("avx2")) copies.emplace_back("avx2", CopyNeighboursAvx2);
  std::mt19937 random(11);
  // Target widths, and the most source pixels between two target pixels'
  // left neighbours: 0 and 1 enlarge, more shrink, up to steps that leave
  // one pixel a window.
  for (const int width : {1, 7, 11, 301})
    for (const int most : {0, 1, 2, 5, 9}) {
      std::vector<std::int32_t> offsets{0};
      for (int x = 1; x < width; ++x)
        offsets.push_back(offsets.back() + 3 * std::uniform_int_distribution(0, most)(random));
      const auto runs = NeighbourRunsOf(offsets);
      std::vector<std::uint8_t> down(offsets.back() + 6 + kNeighbourWindow + 3);
      for (auto& byte : down) byte = static_cast<std::uint8_t>(random());
      for (const auto& [name, copy] : copies) {
        SCOPED_TRACE(name + ": width " + std::to_string(width) + ", steps up to " + std::to_string(most));
        std::vector<std::uint8_t> left(3 * width + kNeighbourWindow, 0xEE), right = left;
        copy(down.data(), runs, left.data(), right.data());
        for (int x = 0; x < width; ++x)
          for (int j = 0; j < 3; ++j) {
            ASSERT_EQ(left[3 * x + j], down[offsets[x] + j]) << x << "," << j;
            ASSERT_EQ(right[3 * x + j], down[offsets[x] + 3 + j]) << x << "," << j;
          }
      }
    }
}

}  // namespace
}  // namespace kelvane::dib
