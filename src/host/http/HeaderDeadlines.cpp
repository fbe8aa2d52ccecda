#include "host/http/HeaderDeadlines.h"

#include <sys/socket.h>

#include <algorithm>
#include <new>

namespace kelvane::host {

HeaderDeadlines::HeaderDeadlines(std::chrono::seconds limit) : limit_(limit) {
  if (limit_ > std::chrono::seconds::zero()) sweeper_ = std::thread([this] { Sweep(); });
}

HeaderDeadlines::~HeaderDeadlines() {
  if (!sweeper_.joinable()) return;
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  changed_.notify_one();
  sweeper_.join();
}

void HeaderDeadlines::Await(int socket) noexcept {
  if (!sweeper_.joinable()) return;
  std::lock_guard lock(mutex_);
  try {
    due_[socket] = Clock::now() + limit_;
  } catch (const std::bad_alloc&) {
    return;  // a connection without a deadline, rather than none at all
  }
  // Every deadline is `limit_` from when it was set: a new one is the
  // latest, and the sweeper needs waking only when it had none.
  if (due_.size() == 1) changed_.notify_one();
}

void HeaderDeadlines::Met(int socket) noexcept {
  if (!sweeper_.joinable()) return;
  std::lock_guard lock(mutex_);
  due_.erase(socket);
}

void HeaderDeadlines::Sweep() {
  std::unique_lock lock(mutex_);
  while (!stopping_) {
    if (due_.empty()) {
      changed_.wait(lock);
    } else {
      const auto soonest = [](const auto& a, const auto& b) { return a.second < b.second; };
      const Clock::time_point next = std::ranges::min_element(due_, soonest)->second;
      changed_.wait_until(lock, next);
    }
    const auto now = Clock::now();
    // Under the lock: the library cannot close one of these sockets before
    // its connection is forgotten here.
    std::erase_if(due_, [&](const auto& entry) {
      if (entry.second > now) return false;
      ::shutdown(entry.first, SHUT_RDWR);
      return true;
    });
  }
}

}  // namespace kelvane::host
