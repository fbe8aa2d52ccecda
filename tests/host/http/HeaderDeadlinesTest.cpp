#include "host/http/HeaderDeadlines.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <thread>
#include <vector>

namespace kelvane::host {
namespace {

using namespace std::chrono_literals;

// Connected sockets: the deadlines hold one end, the test reads the other.
struct Pair {
  Pair() { ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends.data()); }
  ~Pair() {
    ::close(ends[0]);
    ::close(ends[1]);
  }
  int Held() const { return ends[0]; }
  // True once the held end is shut down.
  bool Ended() const {
    char byte = 0;
    return ::recv(ends[1], &byte, 1, MSG_DONTWAIT) == 0;
  }
  std::array<int, 2> ends{-1, -1};
};

TEST(HeaderDeadlines, EndsWhatWaitsPastTheLimitButNotWhatCame) {
  HeaderDeadlines deadlines(1s, 10, 200ms);
  Pair late, met;
  deadlines.Await(late.Held());
  deadlines.Await(met.Held());
  deadlines.Met(met.Held());
  std::this_thread::sleep_for(500ms);
  EXPECT_FALSE(late.Ended()) << "no crowd: the whole limit";
  std::this_thread::sleep_for(1s);
  EXPECT_TRUE(late.Ended());
  EXPECT_FALSE(met.Ended());
}

TEST(HeaderDeadlines, ACrowdHasTheShorterTimeAndThoseWaitingLongestGoFirstUntilItThins) {
  HeaderDeadlines deadlines(10s, 2, 200ms);
  std::vector<Pair> pairs(5);
  for (const Pair& pair : pairs) {
    deadlines.Await(pair.Held());
    std::this_thread::sleep_for(20ms);
  }
  std::this_thread::sleep_for(700ms);
  for (std::size_t i = 0; i < pairs.size(); ++i)
    EXPECT_EQ(pairs[i].Ended(), i < 3) << i << ": the three longest waiting, until two are left";
}

}  // namespace
}  // namespace kelvane::host
