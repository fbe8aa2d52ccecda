#pragma once
// Sessions kept in a Redis server (or one that speaks as Redis does, such
// as Valkey), which every process that names it shares: a visitor's session
// follows them from process to process and outlives a restart. A session
// is one key holding its stored form (SessionForm.h), which expires at the
// session's timeout from its last page. The pages of one session run one at
// a time across all processes: a page holds a lock key with a token of its
// own from its first use of the session to its end; the key lives a few
// seconds and is renewed while the page runs, up to a second past its
// deadline, so that a process that dies, or a page stuck past its limits,
// loses it.
// Connections are pooled; one that fails is dropped, and the store is tried
// again after a wait that doubles while it stays unreachable.
// Application values stay per process.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <condition_variable>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <unordered_map>
#include <vector>

#include "host/pages/SessionStore.h"
#include "host/pages/SharedValues.h"
#include "host/pages/SiteState.h"

struct redisContext;

namespace kelvane::host {

class RedisSessionStore final : public SessionStore {
 public:
  // The store at `address`; the values of the sessions that pages hold at
  // once count against `limits.memoryBytes`, and so does the stored form of
  // one. Connects on first use.
  RedisSessionStore(StoreAddress address, const SessionLimits& limits);
  ~RedisSessionStore() override;

  std::shared_ptr<SessionState> EnterSession(std::string_view id, const void* owner,
                                             Clock::time_point deadline) override;
  std::shared_ptr<SessionState> NewSession(std::string_view address, const void* owner,
                                           Clock::time_point deadline) override;
  void SaveSession(SessionState& session, const void* owner) override;
  void LeaveSession(SessionState& session, const void* owner) noexcept override;
  // Tries the store again, when it was unreachable and its wait is over.
  StoreStatus Status() override;

  // The key holding the session `id`, and the key of its lock.
  static std::string DataKey(std::string_view id);
  static std::string LockKey(std::string_view id);

 private:
  struct ContextFree {
    void operator()(redisContext* context) const noexcept;
  };
  using Connection = std::unique_ptr<redisContext, ContextFree>;
  struct Reply;
  using Command = std::vector<std::string_view>;

  // Sends `commands` at once and reads their replies, in order. Raises 5
  // saying what failed when the store cannot be reached or refuses one;
  // counts the failure and the time taken.
  std::vector<Reply> Talk(const std::vector<Command>& commands);
  // An idle connection, or a new one; raises 5 while the store is in its
  // wait after failing.
  Connection Take();
  void Give(Connection connection) noexcept;
  [[noreturn]] void Fail(const std::string& what);
  // Lets the lock on `id` go, when `token` still holds it.
  void Release(const std::string& id, const std::string& token) noexcept;
  // Renews the lock key `lock`, which `token` holds, until `until`; starts
  // the renewing thread with the first.
  void Hold(const std::string& lock, const std::string& token, Clock::time_point until);
  void Unhold(const std::string& lock) noexcept;
  // The renewing thread: every third of a lock's life, renews the locks
  // held, and forgets those past their time.
  void Renew();

  const StoreAddress address_;
  const std::size_t mostBytes_;
  ValueBudget budget_;
  std::mutex mutex_;  // guards the rest
  std::vector<Connection> idle_;
  Clock::time_point retryAt_{};
  Clock::duration backoff_{};
  bool reachable_ = true;
  std::atomic<std::uint64_t> errors_{0};
  std::atomic<std::uint64_t> microseconds_{0};

  struct Held {
    std::string token;
    Clock::time_point until;
  };
  std::mutex heldMutex_;  // guards held_ and stopping_
  std::condition_variable renewWake_;
  std::unordered_map<std::string, Held> held_;  // by lock key
  bool stopping_ = false;
  std::thread renewer_;
};

}  // namespace kelvane::host
