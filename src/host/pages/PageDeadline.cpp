#include "host/pages/PageDeadline.h"

#include <ctime>

namespace kelvane::host {

namespace {

thread_local PageClock::time_point threadDeadline = PageClock::time_point::max();

}  // namespace

PageClock::time_point CoarseNow() noexcept {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC_COARSE, &now);
  return PageClock::time_point(std::chrono::seconds(now.tv_sec) + std::chrono::nanoseconds(now.tv_nsec));
}

DeadlineScope::DeadlineScope(PageClock::time_point deadline) noexcept : previous_(threadDeadline) {
  threadDeadline = deadline;
}

DeadlineScope::~DeadlineScope() { threadDeadline = previous_; }

void CheckDeadline() {
  if (threadDeadline != PageClock::time_point::max() && CoarseNow() > threadDeadline) throw PageTimeout();
}

PageClock::time_point CurrentDeadline() noexcept { return threadDeadline; }

}  // namespace kelvane::host
