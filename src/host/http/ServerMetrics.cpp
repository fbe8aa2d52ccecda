#include "host/http/ServerMetrics.h"

#include <algorithm>
#include <cstdio>
#include <system_error>

#include "component/Delivery.h"

namespace kelvane::host {

namespace {

constexpr auto kRelaxed = std::memory_order_relaxed;

// Microseconds as seconds, with all six decimals.
std::string Seconds(std::uint64_t micros) {
  char text[32];
  std::snprintf(text, sizeof text, "%llu.%06llu", static_cast<unsigned long long>(micros / 1'000'000),
                static_cast<unsigned long long>(micros % 1'000'000));
  return text;
}

void Describe(std::string& out, std::string_view name, std::string_view type, std::string_view help) {
  out += "# HELP " + std::string(name) + ' ' + std::string(help) + '\n';
  out += "# TYPE " + std::string(name) + ' ' + std::string(type) + '\n';
}

}  // namespace

void ServerMetrics::Answered(unsigned status) {
  if (status < statuses_.size()) statuses_[status].fetch_add(1, kRelaxed);
}

void ServerMetrics::PageStarted() { pagesInFlight_.fetch_add(1, kRelaxed); }

void ServerMetrics::PageDone(std::chrono::microseconds took) {
  pagesInFlight_.fetch_sub(1, kRelaxed);
  const auto micros = static_cast<std::uint64_t>(std::max<std::int64_t>(took.count(), 0));
  const auto bucket = std::ranges::lower_bound(kBounds, micros) - kBounds.begin();
  pageBuckets_[static_cast<std::size_t>(bucket)].fetch_add(1, kRelaxed);
  pageMicros_.fetch_add(micros, kRelaxed);
}

std::string ServerMetrics::Text(const std::filesystem::path& workdir, const StoreStatus& store) const {
  std::string out;
  Describe(out, "kelvane_http_requests_total", "counter", "Requests answered, by status.");
  for (std::size_t status = 0; status < statuses_.size(); ++status)
    if (const auto count = statuses_[status].load(kRelaxed); count != 0)
      out += "kelvane_http_requests_total{code=\"" + std::to_string(status) + "\"} " +
             std::to_string(count) + '\n';

  constexpr std::string_view kPages = "kelvane_page_duration_seconds";
  Describe(out, kPages, "histogram",
           "Time of page requests, from the request line to the reply's last byte.");
  std::uint64_t count = 0;
  for (std::size_t i = 0; i < pageBuckets_.size(); ++i) {
    count += pageBuckets_[i].load(kRelaxed);
    const std::string bound = i < kBounds.size() ? Seconds(kBounds[i]) : "+Inf";
    out += std::string(kPages) + "_bucket{le=\"" + bound + "\"} " + std::to_string(count) + '\n';
  }
  out += std::string(kPages) + "_sum " + Seconds(pageMicros_.load(kRelaxed)) + '\n';
  out += std::string(kPages) + "_count " + std::to_string(count) + '\n';

  Describe(out, "kelvane_pages_in_flight", "gauge", "Pages handed to a worker and not yet answered.");
  out += "kelvane_pages_in_flight " + std::to_string(pagesInFlight_.load(kRelaxed)) + '\n';

  Describe(out, "kelvane_workdir_temporary_files", "gauge",
           "Temporary files of picture deliveries in the working directory.");
  out += "kelvane_workdir_temporary_files " + std::to_string(CountDeliveryFiles(workdir)) + '\n';
  if (!store.shared) return out;

  Describe(out, "kelvane_session_store_up", "gauge", "1 while the shared session store answered last, else 0.");
  out += "kelvane_session_store_up " + std::string(store.reachable ? "1" : "0") + '\n';
  Describe(out, "kelvane_session_store_errors_total", "counter",
           "Talks with the shared session store that failed or were refused.");
  out += "kelvane_session_store_errors_total " + std::to_string(store.errors) + '\n';
  Describe(out, "kelvane_session_store_seconds_total", "counter", "Time spent talking to the shared session store.");
  out += "kelvane_session_store_seconds_total " + Seconds(store.microseconds) + '\n';
  return out;
}

std::uint64_t CountDeliveryFiles(const std::filesystem::path& folder) {
  std::uint64_t count = 0;
  std::error_code error;
  for (std::filesystem::directory_iterator entry(folder, error), end; !error && entry != end;
       entry.increment(error))
    count += component::IsTemporaryFileName(entry->path().filename().native()) ? 1 : 0;
  return count;
}

}  // namespace kelvane::host
