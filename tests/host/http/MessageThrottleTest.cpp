#include "host/http/MessageThrottle.h"

#include <gtest/gtest.h>

#include <thread>

namespace kelvane::host {
namespace {

using namespace std::chrono_literals;

TEST(MessageThrottle, PassesOneLineOfAKindAnIntervalAndCountsTheRest) {
  MessageThrottle throttle(200ms);
  const char limit[] = "limit", closed[] = "closed";
  EXPECT_EQ(throttle.Pass(limit, "limit 1"), "limit 1");
  for (int i = 2; i <= 500; ++i) EXPECT_EQ(throttle.Pass(limit, "limit " + std::to_string(i)), std::nullopt);
  EXPECT_EQ(throttle.Pass(closed, "closed 1"), "closed 1") << "each kind has its own interval";
  std::this_thread::sleep_for(250ms);
  EXPECT_EQ(throttle.Pass(limit, "limit 501"), "limit 501 [499 more like this not logged]");
  EXPECT_EQ(throttle.Pass(limit, "limit 502"), std::nullopt);
  EXPECT_EQ(throttle.Pass(closed, "closed 2"), "closed 2");
  EXPECT_EQ(throttle.Flush(), std::vector<std::string>{"limit 501 [1 more like this not logged]"});
  EXPECT_TRUE(throttle.Flush().empty()) << "told once";
}

}  // namespace
}  // namespace kelvane::host
