#pragma once
// Holds running statements to their page's deadline: one thread for the
// process cancels (SQLCancel) each statement still watched when its
// deadline passes, so that a query that runs long inside the driver stops
// with its page.

#include <sql.h>

#include <atomic>
#include <mutex>

#include "host/pages/PageDeadline.h"

namespace kelvane::host::adodb {

// Watches `statement` until destroyed; the handle must outlive the watch.
class CancelWatch {
 public:
  CancelWatch(SQLHSTMT statement, PageClock::time_point deadline);
  ~CancelWatch();
  CancelWatch(const CancelWatch&) = delete;
  CancelWatch& operator=(const CancelWatch&) = delete;

  // Whether the deadline passed and the statement was cancelled.
  bool Cancelled() const { return cancelled_.load(std::memory_order_acquire); }

 private:
  friend class QueryCanceller;
  SQLHSTMT statement_;
  PageClock::time_point deadline_;
  std::atomic<bool> cancelled_{false};
  // Held while the statement is being cancelled; the watch's end waits for it.
  std::mutex cancelling_;
};

}  // namespace kelvane::host::adodb
