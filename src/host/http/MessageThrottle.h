#pragma once
// Keeps a message that repeats from flooding the log: of each kind, one line
// an interval goes out, and the lines held back meanwhile are counted and
// their number told with the next line of their kind, or by Flush. Safe to
// call from several threads at once.

#include <chrono>
#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kelvane::host {

class MessageThrottle {
 public:
  using Clock = std::chrono::steady_clock;

  explicit MessageThrottle(Clock::duration interval = std::chrono::seconds(1)) : interval_(interval) {}

  // The line to write for `line`, of the kind `kind` (what the messages that
  // repeat one another share, such as the format they are made from; a
  // program has few), or nullopt when it is held back.
  std::optional<std::string> Pass(const void* kind, std::string_view line);

  // For each kind with lines held back since its last line went out: that
  // line, with their number. Then counts afresh.
  std::vector<std::string> Flush();

 private:
  struct Kind {
    Clock::time_point next;  // when a line may go out again
    std::uint64_t heldBack = 0;
    std::string last;  // the last line that went out
  };

  static std::string Told(std::string_view line, std::uint64_t heldBack);

  const Clock::duration interval_;
  std::mutex mutex_;
  std::map<const void*, Kind> kinds_;
};

}  // namespace kelvane::host
