#include "host/objects/adodb/QueryCanceller.h"

#include <sqlext.h>

#include <condition_variable>
#include <map>
#include <mutex>
#include <thread>

namespace kelvane::host::adodb {

class QueryCanceller {
 public:
  static QueryCanceller& Instance() {
    static QueryCanceller canceller;
    return canceller;
  }

  ~QueryCanceller() {
    {
      const std::lock_guard lock(mutex_);
      stopping_ = true;
    }
    wake_.notify_one();
    thread_.join();
  }

  void Add(CancelWatch& watch) {
    const std::lock_guard lock(mutex_);
    const bool earliest = watches_.empty() || watch.deadline_ < watches_.begin()->first;
    watches_.emplace(watch.deadline_, &watch);
    if (earliest) wake_.notify_one();
  }

  // Takes the watch off the list; once this returns, no cancel of its
  // statement is running or will run.
  void Remove(CancelWatch& watch) noexcept {
    {
      const std::lock_guard lock(mutex_);
      const auto [first, last] = watches_.equal_range(watch.deadline_);
      for (auto it = first; it != last; ++it) {
        if (it->second == &watch) {
          watches_.erase(it);
          return;
        }
      }
    }
    // Taken off already: its cancel may still be running.
    const std::lock_guard cancelled(watch.cancelling_);
  }

 private:
  QueryCanceller() : thread_([this] { Watch(); }) {}

  void Watch() {
    std::unique_lock lock(mutex_);
    while (!stopping_) {
      if (watches_.empty()) {
        wake_.wait(lock);
        continue;
      }
      const auto due = watches_.begin()->first;
      if (PageClock::now() < due) {
        wake_.wait_until(lock, due);
        continue;
      }
      CancelWatch* watch = watches_.begin()->second;
      watches_.erase(watches_.begin());
      watch->cancelled_.store(true, std::memory_order_release);
      // The watch's own lock, taken before the list's is let go, keeps the
      // statement alive through the cancel; the list's is not held, so a
      // slow cancel (a driver that calls its server) holds up no page.
      {
        const std::lock_guard cancelling(watch->cancelling_);
        lock.unlock();
        SQLCancel(watch->statement_);
      }
      lock.lock();
    }
  }

  std::mutex mutex_;
  std::condition_variable wake_;
  std::multimap<PageClock::time_point, CancelWatch*> watches_;
  bool stopping_ = false;
  std::thread thread_;
};

CancelWatch::CancelWatch(SQLHSTMT statement, PageClock::time_point deadline)
    : statement_(statement), deadline_(deadline) {
  QueryCanceller::Instance().Add(*this);
}

CancelWatch::~CancelWatch() { QueryCanceller::Instance().Remove(*this); }

}  // namespace kelvane::host::adodb
