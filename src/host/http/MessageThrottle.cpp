#include "host/http/MessageThrottle.h"

#include <utility>

namespace kelvane::host {

std::string MessageThrottle::Told(std::string_view line, std::uint64_t heldBack) {
  std::string text(line);
  if (heldBack > 0) text += " [" + std::to_string(heldBack) + " more like this not logged]";
  return text;
}

std::optional<std::string> MessageThrottle::Pass(const void* kind, std::string_view line) {
  const Clock::time_point now = Clock::now();
  std::lock_guard lock(mutex_);
  Kind& state = kinds_[kind];
  if (now < state.next) {
    ++state.heldBack;
    return std::nullopt;
  }
  state.next = now + interval_;
  state.last = line;
  return Told(line, std::exchange(state.heldBack, 0));
}

std::vector<std::string> MessageThrottle::Flush() {
  std::lock_guard lock(mutex_);
  std::vector<std::string> lines;
  for (auto& [kind, state] : kinds_)
    if (state.heldBack > 0) lines.push_back(Told(state.last, std::exchange(state.heldBack, 0)));
  return lines;
}

}  // namespace kelvane::host
