#include "platform/oleaut/Random.h"

#include <gtest/gtest.h>

#include <thread>

namespace kelvane::oleaut {
namespace {

// Each thread starts from the runtime's own seed, so its first numbers are
// the ones every page of the original runtime drew.
TEST(Rnd, AFreshThreadDrawsTheRuntimesFirstNumbers) {
  Single repeated = 0;
  Single first = 0;
  Single second = 0;
  std::thread([&] {
    repeated = Rnd(0);
    first = Rnd();
    second = Rnd(0);
  }).join();
  EXPECT_EQ(repeated, 327680.0f / 16777216.0f);
  EXPECT_EQ(first, 11837123.0f / 16777216.0f);  // 0.7055475
  EXPECT_EQ(second, first);
}

TEST(Rnd, ANegativeArgumentRestartsTheSequence) {
  EXPECT_EQ(Rnd(-1.0f), 3758214.0f / 16777216.0f);  // 0.224007
  const Single next = Rnd();
  EXPECT_EQ(Rnd(-1.0f), 3758214.0f / 16777216.0f);
  EXPECT_EQ(Rnd(), next);
  EXPECT_NE(Rnd(-2.0f), Rnd(-1.0f));
}

TEST(Randomize, MixesTheSeedIntoTheStateKeepingItsLowByte) {
  Rnd(-1.0f);
  Randomize(123);
  const Single x = Rnd();
  Randomize(123);
  EXPECT_NE(Rnd(), x) << "the state moved on between the two";
  Rnd(-1.0f);
  Randomize(123);
  EXPECT_EQ(Rnd(), x);
}

}  // namespace
}  // namespace kelvane::oleaut
