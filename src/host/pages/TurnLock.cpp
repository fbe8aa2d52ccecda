#include "host/pages/TurnLock.h"

#include <algorithm>

namespace kelvane::host {

bool TurnLock::Take(const void* owner, Clock::time_point deadline) {
  std::unique_lock lock(mutex_);
  if (holder_ == owner) return true;
  line_.push_back(owner);
  for (;;) {
    const Clock::time_point now = Clock::now();
    const bool first = line_.front() == owner;
    if (first && (holder_ == nullptr || now >= stuckAt_)) {
      line_.pop_front();
      holder_ = owner;
      stuckAt_ = deadline + kStuckAfter;
      return true;
    }
    if (now >= deadline) {
      line_.erase(std::find(line_.begin(), line_.end(), owner));
      // The one behind may now be first.
      if (first) turn_.notify_all();
      return false;
    }
    turn_.wait_until(lock, first ? std::min(deadline, stuckAt_) : deadline);
  }
}

void TurnLock::Give(const void* owner) noexcept {
  {
    const std::lock_guard lock(mutex_);
    if (holder_ != owner) return;
    holder_ = nullptr;
  }
  turn_.notify_all();
}

std::size_t TurnLock::Waiting() const {
  const std::lock_guard lock(mutex_);
  return line_.size();
}

}  // namespace kelvane::host
