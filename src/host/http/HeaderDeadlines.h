#pragma once
// Ends connections whose request line and headers come too slowly: they must
// be complete within a fixed time of the connection's start or of its
// previous request's end, however they trickle in (an idle timeout restarts
// with every byte). While a crowd waits for its headers, as when many
// clients open connections and drip bytes into them, the time is shorter,
// and the connections that have waited longest are ended first until the
// crowd has thinned: the slots they free go to clients that send a request
// at once. A late connection's socket is shut down, not closed: the
// descriptor is the HTTP library's, which reads the end of input and closes
// the connection itself.

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <set>
#include <thread>
#include <unordered_map>
#include <utility>

namespace kelvane::host {

class HeaderDeadlines {
 public:
  using Clock = std::chrono::steady_clock;

  // Each header block has `limit`; while more than `crowd` connections wait
  // for theirs, `crowdedLimit` when that is shorter. `limit` zero: no
  // deadlines and no thread.
  HeaderDeadlines(std::chrono::seconds limit, std::size_t crowd, Clock::duration crowdedLimit);
  ~HeaderDeadlines();
  HeaderDeadlines(const HeaderDeadlines&) = delete;
  HeaderDeadlines& operator=(const HeaderDeadlines&) = delete;

  // The next header block on `socket` is awaited from now.
  void Await(int socket) noexcept;
  // It has come: no deadline until the next Await.
  void Met(int socket) noexcept;
  // The connection ends. Must come before the library closes `socket`, so
  // that a socket shut down here is never one closed and reused meanwhile.
  void Forget(int socket) noexcept { Met(socket); }

 private:
  // With the lock held.
  void Drop(int socket);
  Clock::duration Allowed() const;
  void Sweep();

  const Clock::duration limit_;
  const std::size_t crowd_;
  const Clock::duration crowdedLimit_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::unordered_map<int, Clock::time_point> since_;    // socket: awaited since
  std::set<std::pair<Clock::time_point, int>> waiting_;  // the same, longest first
  bool stopping_ = false;
  std::thread sweeper_;
};

}  // namespace kelvane::host
