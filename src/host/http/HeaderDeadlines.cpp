#include "host/http/HeaderDeadlines.h"

#include <sys/socket.h>

#include <algorithm>
#include <new>

namespace kelvane::host {

HeaderDeadlines::HeaderDeadlines(std::chrono::seconds limit, std::size_t crowd, Clock::duration crowdedLimit)
    : limit_(limit), crowd_(crowd), crowdedLimit_(std::min<Clock::duration>(crowdedLimit, limit)) {
  if (limit_ > Clock::duration::zero()) sweeper_ = std::thread([this] { Sweep(); });
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
  Drop(socket);
  const Clock::time_point now = Clock::now();
  try {
    const auto entry = waiting_.emplace(now, socket).first;
    try {
      since_.emplace(socket, now);
    } catch (const std::bad_alloc&) {
      waiting_.erase(entry);
      return;
    }
  } catch (const std::bad_alloc&) {
    return;  // a connection without a deadline, rather than none at all
  }
  // A new deadline is the latest: the soonest changes only when there was
  // none, or when the crowd begins and every deadline draws nearer.
  if (waiting_.size() == 1 || waiting_.size() == crowd_ + 1) changed_.notify_one();
}

void HeaderDeadlines::Met(int socket) noexcept {
  if (!sweeper_.joinable()) return;
  std::lock_guard lock(mutex_);
  Drop(socket);
}

void HeaderDeadlines::Drop(int socket) {
  const auto found = since_.find(socket);
  if (found == since_.end()) return;
  waiting_.erase({found->second, socket});
  since_.erase(found);
}

HeaderDeadlines::Clock::duration HeaderDeadlines::Allowed() const {
  return waiting_.size() > crowd_ ? crowdedLimit_ : limit_;
}

void HeaderDeadlines::Sweep() {
  std::unique_lock lock(mutex_);
  while (!stopping_) {
    const auto now = Clock::now();
    // Longest waiting first. Under the lock: the library cannot close one
    // of these sockets before its connection is forgotten here.
    while (!waiting_.empty() && waiting_.begin()->first + Allowed() <= now) {
      const int socket = waiting_.begin()->second;
      ::shutdown(socket, SHUT_RDWR);
      Drop(socket);
    }
    if (waiting_.empty())
      changed_.wait(lock);
    else
      changed_.wait_until(lock, waiting_.begin()->first + Allowed());
  }
}

}  // namespace kelvane::host
