#pragma once
// What pages keep beyond one request: each visitor's session, found by an
// HTTP-only cookie with an unguessable id, and the application's values,
// shared by every page of the process. Values are plain data (numbers,
// text, dates, arrays of them): an object lives on the thread of the page
// that made it and cannot outlive it. Safe to use from several threads.

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "platform/oleaut/Variant.h"

namespace kelvane::host {

// Named values, names without regard to case, kept in the order first set.
class SharedValues {
 public:
  // Empty when there is no such value.
  oleaut::Variant Get(std::string_view name) const;
  // Sets a value; an object, or an array holding one, raises 13 "Type
  // mismatch" and sets nothing.
  void Set(std::string_view name, oleaut::Variant value);
  void Remove(std::string_view name);
  void Clear();
  std::vector<std::string> Names() const;
  std::size_t Count() const;

 private:
  mutable std::mutex mutex_;
  std::vector<std::pair<std::string, oleaut::Variant>> values_;
};

class SessionState {
 public:
  static constexpr int kDefaultTimeoutMinutes = 20;

  explicit SessionState(std::string id) : id_(std::move(id)) {}

  const std::string& Id() const { return id_; }
  SharedValues& Values() { return values_; }
  int TimeoutMinutes() const;
  // 1 to 1440 minutes; anything else raises 5.
  void SetTimeoutMinutes(int minutes);
  // Ends the session once the page that asks it has ended.
  void Abandon();
  bool Abandoned() const;

 private:
  friend class SiteState;
  const std::string id_;
  SharedValues values_;
  mutable std::mutex mutex_;
  int timeoutMinutes_ = kDefaultTimeoutMinutes;
  bool abandoned_ = false;
  std::chrono::steady_clock::time_point expires_;
};

class SiteState {
 public:
  using Clock = std::chrono::steady_clock;
  // The cookie that carries a session's id.
  static constexpr std::string_view kSessionCookie = "KELVANESESSION";
  // Sessions kept at once; beyond, the one closest to expiring is dropped.
  static constexpr std::size_t kMostSessions = 10000;

  // The live session whose id is `id` at `now`; nullptr when there is none
  // (never made, expired, abandoned, or not an id at all).
  std::shared_ptr<SessionState> FindSession(std::string_view id, Clock::time_point now = Clock::now());
  // A new session with a fresh id.
  std::shared_ptr<SessionState> NewSession();
  // Called when a page that used `session` ends: the session expires its
  // timeout from now, or goes when it was abandoned.
  void EndUse(SessionState& session);

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
  void DropExpired(Clock::time_point now);

  std::mutex sessionsMutex_;
  std::unordered_map<std::string, std::shared_ptr<SessionState>> sessions_;
  SharedValues application_;
  std::mutex lockMutex_;
  std::condition_variable lockFree_;
  const void* lockOwner_ = nullptr;
};

}  // namespace kelvane::host
