#include "platform/oleaut/Numbers.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace kelvane::oleaut {
namespace {

constexpr double k2To51 = 2251799813685248.0;
constexpr double k2To52 = 4503599627370496.0;

TEST(RoundHalfEven, RoundsTiesToEvenAcrossTheWholeRangeOfFractions) {
  constexpr double inf = std::numeric_limits<double>::infinity();
  const struct {
    double x, expected;
  } cases[] = {
      {0.5, 0},  {1.5, 2},  {2.5, 2},  {-0.5, 0}, {-1.5, -2}, {-2.5, -2}, {0.49999999999999994, 0},
      {2.5000000000000004, 3}, {1e15 + 0.5, 1e15}, {k2To51 - 0.5, k2To51},
      {k2To51 - 1.5, k2To51 - 2}, {k2To51 + 0.5, k2To51}, {k2To51 + 1.5, k2To51 + 2},
      {k2To51 + 2.5, k2To51 + 2}, {-(k2To51 + 0.5), -k2To51}, {-(k2To51 + 1.5), -(k2To51 + 2)},
      {k2To52 - 0.5, k2To52}, {-(k2To52 - 0.5), -k2To52}, {k2To52, k2To52}, {k2To52 + 1, k2To52 + 1},
      {1e300, 1e300}, {inf, inf}, {-inf, -inf},
  };
  for (const auto& c : cases) EXPECT_EQ(RoundHalfEven(c.x), c.expected) << std::to_string(c.x);
  EXPECT_TRUE(std::isnan(RoundHalfEven(std::nan(""))));
}

}  // namespace
}  // namespace kelvane::oleaut
