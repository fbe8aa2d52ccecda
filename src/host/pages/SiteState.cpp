#include "host/pages/SiteState.h"

#include <arpa/inet.h>

#include <algorithm>
#include <iterator>

#include "platform/oleaut/AutomationError.h"

namespace kelvane::host {

namespace {

// How often expired sessions are looked for, to give their memory back.
constexpr auto kSweepEvery = std::chrono::seconds(1);

// The part of a client's address that counts as one client: all of an IPv4
// address, the first 64 bits of an IPv6 one, a network that one host
// commonly has to itself.
std::string AddressKey(std::string_view address) {
  std::string text(address);
  in6_addr bytes{};
  if (::inet_pton(AF_INET6, text.c_str(), &bytes) != 1 || IN6_IS_ADDR_V4MAPPED(&bytes)) return text;
  std::fill(std::begin(bytes.s6_addr) + 8, std::end(bytes.s6_addr), 0);
  char network[INET6_ADDRSTRLEN];
  if (::inet_ntop(AF_INET6, &bytes, network, sizeof network) == nullptr) return text;
  return std::string(network) + "/64";
}

}  // namespace

int SessionState::TimeoutMinutes() const {
  const std::lock_guard lock(mutex_);
  return timeoutMinutes_;
}

void SessionState::SetTimeoutMinutes(int minutes) {
  if (minutes < 1 || minutes > 1440) oleaut::RaiseRuntimeError(oleaut::kInvalidProcedureCall);
  const std::lock_guard lock(mutex_);
  timeoutMinutes_ = minutes;
}

void SessionState::Abandon() {
  const std::lock_guard lock(mutex_);
  abandoned_ = true;
}

bool SessionState::Abandoned() const {
  const std::lock_guard lock(mutex_);
  return abandoned_;
}

SiteState::SiteState(SessionLimits limits) : limits_(limits), sessionMemory_(limits.memoryBytes) {}

std::shared_ptr<SessionState> SiteState::FindSession(std::string_view id, Clock::time_point now) {
  if (!IsSessionId(id)) return nullptr;
  std::vector<std::shared_ptr<SessionState>> dropped;  // freed once the lock is let go
  const std::lock_guard lock(sessionsMutex_);
  DropExpired(now, dropped);
  const auto it = sessions_.find(std::string(id));
  if (it == sessions_.end()) return nullptr;
  if (it->second->expires_ <= now || it->second->Abandoned()) {
    dropped.push_back(Drop(it));
    return nullptr;
  }
  Touch(*it->second);
  return it->second;
}

std::shared_ptr<SessionState> SiteState::EnterSession(std::string_view id, const void* owner,
                                                      Clock::time_point deadline) {
  const auto session = FindSession(id);
  if (!session) return nullptr;
  if (!session->turn_.Take(owner, deadline))
    throw oleaut::AutomationError(oleaut::kInvalidProcedureCall, "Kelvane",
                                  "the page ran past its time limit waiting for its session");
  // The page before may have ended the session while this one waited.
  if (FindSession(id) == session) return session;
  session->turn_.Give(owner);
  return nullptr;
}

std::shared_ptr<SessionState> SiteState::NewSession(std::string_view address, const void* owner,
                                                    Clock::time_point deadline) {
  auto session = std::make_shared<SessionState>(NewSessionId(), &sessionMemory_);
  session->turn_.Take(owner, deadline);
  session->address_ = AddressKey(address);
  // The session's places in the lists of recent use, made before the site
  // changes, so that running out of memory leaves the site as it was.
  SessionState::Recency recent{session.get()}, sameAddress{session.get()};
  const auto now = Clock::now();
  session->expires_ = now + std::chrono::minutes(SessionState::kDefaultTimeoutMinutes);

  std::vector<std::shared_ptr<SessionState>> dropped;
  const std::lock_guard lock(sessionsMutex_);
  DropExpired(now, dropped);
  if (const auto same = byAddress_.find(session->address_);
      limits_.perAddress != 0 && same != byAddress_.end() && same->second.size() >= limits_.perAddress)
    dropped.push_back(Drop(sessions_.find(same->second.front()->Id())));
  if (sessions_.size() >= kMostSessions) dropped.push_back(Drop(sessions_.find(recent_.front()->Id())));

  const auto placed = sessions_.emplace(session->Id(), session).first;
  try {
    session->sameAddress_ = &byAddress_[session->address_];
  } catch (...) {
    sessions_.erase(placed);
    throw;
  }
  recent_.splice(recent_.end(), recent);
  session->inRecent_ = std::prev(recent_.end());
  session->sameAddress_->splice(session->sameAddress_->end(), sameAddress);
  session->inSameAddress_ = std::prev(session->sameAddress_->end());
  return session;
}

void SiteState::LeaveSession(SessionState& session, const void* owner) noexcept {
  std::shared_ptr<SessionState> dropped;
  {
    const bool abandoned = session.Abandoned();
    const auto expires = Clock::now() + std::chrono::minutes(session.TimeoutMinutes());
    const std::lock_guard lock(sessionsMutex_);
    const auto it = sessions_.find(session.Id());
    if (it != sessions_.end() && it->second.get() == &session) {
      if (abandoned) {
        dropped = Drop(it);
      } else {
        session.expires_ = expires;
        Touch(session);
      }
    }
  }
  session.turn_.Give(owner);
}

void SiteState::Touch(SessionState& session) {
  recent_.splice(recent_.end(), recent_, session.inRecent_);
  session.sameAddress_->splice(session.sameAddress_->end(), *session.sameAddress_, session.inSameAddress_);
}

std::shared_ptr<SessionState> SiteState::Drop(Sessions::iterator at) {
  std::shared_ptr<SessionState> session = std::move(at->second);
  sessions_.erase(at);
  recent_.erase(session->inRecent_);
  session->sameAddress_->erase(session->inSameAddress_);
  if (session->sameAddress_->empty()) byAddress_.erase(session->address_);
  Ended(session);
  return session;
}

void SiteState::DropExpired(Clock::time_point now, std::vector<std::shared_ptr<SessionState>>& dropped) {
  if (now < nextSweep_) return;
  nextSweep_ = now + kSweepEvery;
  for (auto it = sessions_.begin(); it != sessions_.end();) {
    const auto next = std::next(it);
    if (it->second->expires_ <= now) dropped.push_back(Drop(it));
    it = next;
  }
}

void SiteState::StartOnce(const std::function<void()>& start) {
  if (started_.load(std::memory_order_acquire)) return;
  const std::lock_guard lock(startMutex_);
  if (started_.load(std::memory_order_relaxed)) return;
  const struct Started {
    std::atomic<bool>& started;
    ~Started() { started.store(true, std::memory_order_release); }
  } started{started_};
  start();
}

bool SiteState::Lock(const void* owner, Clock::time_point deadline) {
  std::unique_lock lock(lockMutex_);
  if (!lockFree_.wait_until(lock, deadline, [&] { return lockOwner_ == nullptr || lockOwner_ == owner; }))
    return false;
  lockOwner_ = owner;
  return true;
}

void SiteState::Unlock(const void* owner) {
  {
    const std::lock_guard lock(lockMutex_);
    if (lockOwner_ != owner) return;
    lockOwner_ = nullptr;
  }
  lockFree_.notify_all();
}

bool SiteState::WaitToWrite(const void* owner, Clock::time_point deadline) {
  std::unique_lock lock(lockMutex_);
  return lockFree_.wait_until(lock, deadline, [&] { return lockOwner_ == nullptr || lockOwner_ == owner; });
}

}  // namespace kelvane::host
