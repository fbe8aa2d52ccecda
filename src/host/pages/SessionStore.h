#pragma once
// Where visitors' sessions are kept: what a page asks of them, whichever
// store keeps them (the process's memory, or a store that several processes
// share). A page enters its session on its first use of it, holds it to its
// end, so that the requests of one session run one at a time, then saves
// and leaves it. Safe to use from several threads.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

namespace kelvane::host {

class SessionState;

// 128 bits from the system's random source, as 32 hex digits: a session's
// id, or a lock's owner token.
std::string NewSessionId();
// Whether `id` has the form NewSessionId gives.
bool IsSessionId(std::string_view id);

// Where a shared store listens: "redis://HOST[:PORT][/DB]" (port 6379 and
// database 0 when left out) or "unix:/PATH" (database 0).
struct StoreAddress {
  std::string host;  // empty: the Unix socket at `path`
  int port = 6379;
  std::string path;
  int database = 0;

  // The address as an option gives it.
  std::string Text() const;
};

// The address `text` names; nullopt for "memory"; throws
// std::invalid_argument, saying why, for anything else.
std::optional<StoreAddress> ParseStoreAddress(std::string_view text);

// How a shared store fares, for /-/health and /-/metrics.
struct StoreStatus {
  bool shared = false;     // false: sessions live in this process's memory
  bool reachable = true;   // whether the last talk with the store went through
  std::uint64_t errors = 0;        // talks that failed, since the start
  std::uint64_t microseconds = 0;  // time spent talking to the store
};

class SessionStore {
 public:
  using Clock = std::chrono::steady_clock;
  static constexpr std::size_t kMostEnded = 10000;

  virtual ~SessionStore() = default;

  // The live session whose id is `id`, held for the page `owner` until it
  // leaves it; nullptr when there is none. While another page holds it,
  // waits for its turn, and raises 5 when `deadline` comes first. A shared
  // store that cannot be reached raises 5 saying so.
  virtual std::shared_ptr<SessionState> EnterSession(std::string_view id, const void* owner,
                                                     Clock::time_point deadline) = 0;
  // A new session with a fresh id for a client at `address`, held for the
  // page `owner`, whose deadline is `deadline`.
  virtual std::shared_ptr<SessionState> NewSession(std::string_view address, const void* owner,
                                                   Clock::time_point deadline) = 0;
  // Keeps what the page `owner` left in `session`, which it entered or
  // made, and lets the next page have it. Raises 5, keeping nothing, when
  // the store cannot take it; the session stays as it was before the page.
  virtual void SaveSession(SessionState& session, const void* owner) = 0;
  // Called when the page `owner`, which entered or made `session`, ends,
  // whether it saved the session or not: the next page waiting for it goes on.
  virtual void LeaveSession(SessionState& session, const void* owner) noexcept = 0;
  // How the store fares; a shared one that was unreachable is tried again
  // when its wait is over.
  virtual StoreStatus Status() { return {}; }

  // While `keep` holds (the site handles Session_OnEnd), a session that
  // ends is kept for its handler, up to kMostEnded of them; beyond, or
  // otherwise, it just goes.
  void KeepEnded(bool keep) { keepEnded_.store(keep, std::memory_order_relaxed); }
  // The session that ended first among those kept, taken out; nullptr when
  // none is.
  std::shared_ptr<SessionState> TakeEnded();

 protected:
  // Keeps `session`, which has just ended, for its handler, when KeepEnded
  // says so and there is room.
  void Ended(const std::shared_ptr<SessionState>& session) noexcept;

 private:
  std::atomic<bool> keepEnded_{false};
  std::mutex endedMutex_;
  std::deque<std::shared_ptr<SessionState>> ended_;
};

}  // namespace kelvane::host
