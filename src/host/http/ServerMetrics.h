#pragma once
// What the server counts as it answers, for /-/metrics: requests by status,
// a histogram of page times, pages in flight. Atomic counters, safe to
// update from every thread at once without a lock.

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <string>

#include "host/pages/SessionStore.h"

namespace kelvane::host {

class ServerMetrics {
 public:
  // A request answered with `status`.
  void Answered(unsigned status);

  // A page handed to a worker; PageDone when its reply has gone, `took`
  // after its request line came.
  void PageStarted();
  void PageDone(std::chrono::microseconds took);

  // The metrics in the Prometheus text format 0.0.4, with the number of
  // delivery files in `workdir` as a gauge, and how a shared session
  // store fares, when there is one.
  std::string Text(const std::filesystem::path& workdir, const StoreStatus& store = {}) const;

 private:
  // Upper bounds of the page time buckets, in microseconds; one more
  // bucket above the last.
  static constexpr std::array<std::uint64_t, 11> kBounds{
      5'000, 10'000, 25'000, 50'000, 100'000, 250'000, 500'000, 1'000'000, 2'500'000, 5'000'000,
      10'000'000};

  std::array<std::atomic<std::uint64_t>, 600> statuses_{};
  std::array<std::atomic<std::uint64_t>, kBounds.size() + 1> pageBuckets_{};
  std::atomic<std::uint64_t> pageMicros_ = 0;
  std::atomic<std::int64_t> pagesInFlight_ = 0;
};

// The files in `folder` whose names a delivery gives its temporary files.
std::uint64_t CountDeliveryFiles(const std::filesystem::path& folder);

}  // namespace kelvane::host
