#pragma once
// A lock that pages take in the order they ask for it, each waiting no
// longer than its own deadline, so that a page held up by another fails in
// time instead of holding its worker for good. A holder still holding
// kStuckAfter past its own deadline is stuck in something its limits cannot
// stop (its worker has been given up), and the next in line takes the lock
// from it. Safe to use from several threads.

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>

namespace kelvane::host {

class TurnLock {
 public:
  using Clock = std::chrono::steady_clock;
  static constexpr Clock::duration kStuckAfter = std::chrono::seconds(1);

  // Takes the lock for `owner`, a page whose deadline is `deadline`: at once
  // when it is free and no one waits, or `owner` holds it already; else once
  // those who asked before have had it. False, taking nothing, when
  // `deadline` comes first.
  bool Take(const void* owner, Clock::time_point deadline);
  // Lets the lock go, if `owner` holds it.
  void Give(const void* owner) noexcept;
  // How many pages wait for the lock.
  std::size_t Waiting() const;

 private:
  mutable std::mutex mutex_;
  std::condition_variable turn_;
  const void* holder_ = nullptr;
  Clock::time_point stuckAt_;     // when the holder counts as stuck
  std::deque<const void*> line_;  // those waiting, first come first
};

}  // namespace kelvane::host
