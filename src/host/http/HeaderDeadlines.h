#pragma once
// Ends connections whose request line and headers come too slowly: they must
// be complete within a fixed time of the connection's start or of its
// previous request's end, however they trickle in (an idle timeout restarts
// with every byte). A late connection's socket is shut down, not closed: the
// descriptor is the HTTP library's, which reads the end of input and closes
// the connection itself.

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <unordered_map>

namespace kelvane::host {

class HeaderDeadlines {
 public:
  // `limit` zero: no deadlines and no thread.
  explicit HeaderDeadlines(std::chrono::seconds limit);
  ~HeaderDeadlines();
  HeaderDeadlines(const HeaderDeadlines&) = delete;
  HeaderDeadlines& operator=(const HeaderDeadlines&) = delete;

  // The next header block on `socket` is due `limit` from now.
  void Await(int socket) noexcept;
  // It has come: no deadline until the next Await.
  void Met(int socket) noexcept;
  // The connection ends. Must come before the library closes `socket`, so
  // that a socket shut down here is never one closed and reused meanwhile.
  void Forget(int socket) noexcept { Met(socket); }

 private:
  using Clock = std::chrono::steady_clock;
  void Sweep();

  const std::chrono::seconds limit_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::unordered_map<int, Clock::time_point> due_;
  bool stopping_ = false;
  std::thread sweeper_;
};

}  // namespace kelvane::host
