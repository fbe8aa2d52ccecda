#pragma once
// The time limit of the page running on the calling thread, for work inside
// one call (a built-in function, an object's method) that grows with its
// input: such work looks at the clock between steps and stops the page once
// its time is up, however the page handles errors.

#include <chrono>
#include <stdexcept>

namespace kelvane::host {

using PageClock = std::chrono::steady_clock;

// The monotonic clock read coarsely: a few nanoseconds a reading, to a few
// milliseconds, as a deadline needs.
PageClock::time_point CoarseNow() noexcept;

// Thrown past the deadline. Not an automation error: no On Error Resume
// Next holds it, and a .ksp page's pcall passes it on.
struct PageTimeout : std::runtime_error {
  PageTimeout() : std::runtime_error("the page ran past its time limit") {}
};

// Holds the calling thread to `deadline` until destroyed; scopes nest, and
// the innermost holds.
class DeadlineScope {
 public:
  explicit DeadlineScope(PageClock::time_point deadline) noexcept;
  ~DeadlineScope();
  DeadlineScope(const DeadlineScope&) = delete;
  DeadlineScope& operator=(const DeadlineScope&) = delete;

 private:
  PageClock::time_point previous_;
};

// Throws PageTimeout when the page on the calling thread is past its
// deadline; outside a page, never.
void CheckDeadline();

// The deadline of the page on the calling thread; time_point::max() outside
// a page.
PageClock::time_point CurrentDeadline() noexcept;

// Calls CheckDeadline once every `Steps` calls: for a loop whose single
// step is too cheap to be worth a look at the clock.
template <unsigned Steps = 4096>
class DeadlineTicker {
 public:
  void Tick() {
    if (++steps_ == Steps) {
      steps_ = 0;
      CheckDeadline();
    }
  }

 private:
  unsigned steps_ = 0;
};

}  // namespace kelvane::host
