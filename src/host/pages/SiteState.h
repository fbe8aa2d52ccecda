#pragma once
// What pages keep beyond one request: each visitor's session, found by an
// HTTP-only cookie with an unguessable id, kept in the process's memory
// unless a shared store keeps it, and the application's values, shared by
// every page of the process. A page holds its session from its first use of
// it to its end, so that the requests of one session run one at a time;
// pages of other sessions, and those that never touch theirs, never wait.
// Safe to use from several threads.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "host/pages/SessionStore.h"
#include "host/pages/SharedValues.h"
#include "host/pages/TurnLock.h"

namespace kelvane::host {

struct SessionLimits {
  // What the values of all sessions may hold together.
  std::size_t memoryBytes = std::size_t{64} << 20;
  // Sessions that one client address may have at once; 0: no cap.
  std::size_t perAddress = 100;
};

class SessionState {
 public:
  static constexpr int kDefaultTimeoutMinutes = 20;

  // A session whose values count against `budget`, which must outlive it.
  SessionState(std::string id, ValueBudget* budget) : id_(std::move(id)), values_(budget) {}

  const std::string& Id() const { return id_; }
  SharedValues& Values() { return values_; }
  int TimeoutMinutes() const;
  // 1 to 1440 minutes; anything else raises 5.
  void SetTimeoutMinutes(int minutes);
  // Ends the session once the page that asks it has ended.
  void Abandon();
  bool Abandoned() const;
  // The code page and locale the visitor's pages take from the page that
  // set them on; 0 until one is set.
  int CodePage() const { return codePage_; }
  void SetCodePage(int codePage) { codePage_ = codePage; }
  int Lcid() const { return lcid_; }
  void SetLcid(int lcid) { lcid_ = lcid; }

 private:
  friend class SiteState;
  using Recency = std::list<SessionState*>;

  const std::string id_;
  SharedValues values_;
  TurnLock turn_;
  mutable std::mutex mutex_;
  int timeoutMinutes_ = kDefaultTimeoutMinutes;
  bool abandoned_ = false;
  std::atomic<int> codePage_ = 0;
  std::atomic<int> lcid_ = 0;
  // The rest belongs to the site, under its lock.
  std::chrono::steady_clock::time_point expires_;
  std::string address_;             // the client's, as the site counts addresses
  Recency* sameAddress_ = nullptr;  // the sessions of that address
  Recency::iterator inRecent_, inSameAddress_;  // its places in the site's lists
};

class SiteState : public SessionStore {
 public:
  // The cookie that carries a session's id.
  static constexpr std::string_view kSessionCookie = "KELVANESESSION";
  // Sessions kept at once; beyond, the least recently used goes.
  static constexpr std::size_t kMostSessions = 10000;

  explicit SiteState(SessionLimits limits = {});

  // The live session whose id is `id` at `now`; nullptr when there is none
  // (never made, expired, abandoned, made room for, or not an id at all).
  std::shared_ptr<SessionState> FindSession(std::string_view id, Clock::time_point now = Clock::now());
  // The live session whose id is `id`, held for the page `owner` until it
  // leaves it; nullptr when there is none. While another page holds it,
  // waits for its turn, in order of arrival, and raises 5 when `deadline`
  // comes first.
  std::shared_ptr<SessionState> EnterSession(std::string_view id, const void* owner,
                                             Clock::time_point deadline) override;
  // A new session with a fresh id for a client at `address`, held for the
  // page `owner`, whose deadline is `deadline`. Makes room first: the
  // address's least recently used session goes when it has its cap, the
  // least recently used of all when the site has kMostSessions.
  std::shared_ptr<SessionState> NewSession(std::string_view address, const void* owner,
                                           Clock::time_point deadline) override;
  // The values live in the session itself: nothing to keep.
  void SaveSession(SessionState&, const void*) override {}
  // Called when the page `owner`, which entered or made `session`, ends:
  // the session expires its timeout from now, or goes when it was
  // abandoned, and the next page waiting for it goes on.
  // A session that expires or makes room ends as an abandoned one does.
  void LeaveSession(SessionState& session, const void* owner) noexcept override;

  // Runs `start` (Application_OnStart) the first time it is called; the
  // pages that call it meanwhile wait for it to end, which its page's time
  // limit bounds.
  void StartOnce(const std::function<void()>& start);
  // Whether StartOnce has run.
  bool Started() const { return started_.load(std::memory_order_acquire); }

  SharedValues& Application() { return application_; }
  // Application.Lock and Unlock: `owner` (a page) holds the application's
  // values against other pages' writes until it unlocks or ends; waiting
  // for the lock ends at `deadline` with false.
  bool Lock(const void* owner, Clock::time_point deadline);
  void Unlock(const void* owner);
  // Waits, up to `deadline`, until no page but `owner` holds the lock; false
  // when the deadline passes first.
  bool WaitToWrite(const void* owner, Clock::time_point deadline);

 private:
  using Sessions = std::unordered_map<std::string, std::shared_ptr<SessionState>>;

  // Marks `session` as the most recently used, of all and of its address.
  void Touch(SessionState& session);
  // Takes the session at `at` out of the site; its values go with the last
  // page that holds it.
  std::shared_ptr<SessionState> Drop(Sessions::iterator at);
  // Drops the expired sessions, once a second at most.
  void DropExpired(Clock::time_point now, std::vector<std::shared_ptr<SessionState>>& dropped);

  const SessionLimits limits_;
  ValueBudget sessionMemory_;
  std::mutex sessionsMutex_;
  Sessions sessions_;
  // Least recently used first: all sessions, and those of each address.
  SessionState::Recency recent_;
  std::unordered_map<std::string, SessionState::Recency> byAddress_;
  Clock::time_point nextSweep_;
  SharedValues application_;
  std::mutex startMutex_;
  std::atomic<bool> started_{false};
  std::mutex lockMutex_;
  std::condition_variable lockFree_;
  const void* lockOwner_ = nullptr;
};

}  // namespace kelvane::host
