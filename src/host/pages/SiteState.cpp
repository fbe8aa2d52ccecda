#include "host/pages/SiteState.h"

#include <sys/random.h>

#include <algorithm>
#include <cctype>

#include "platform/oleaut/AutomationError.h"
#include "platform/oleaut/Dispatch.h"

namespace kelvane::host {

namespace {

using oleaut::SameName;

using oleaut::Variant;

constexpr std::size_t kIdBytes = 16;

// Whether `value` can be kept beyond its page: no object anywhere in it.
bool IsPlainData(const Variant& value) {
  if (value.IsObject()) return false;
  if (const auto* array = value.If<oleaut::ArrayRef>(); array && *array)
    return std::all_of((*array)->elements.begin(), (*array)->elements.end(), IsPlainData);
  return true;
}

// 128 bits from the system's random source, as 32 hex digits.
std::string NewSessionId() {
  unsigned char bytes[kIdBytes];
  std::size_t got = 0;
  while (got < sizeof bytes) {
    const ssize_t n = ::getrandom(bytes + got, sizeof bytes - got, 0);
    if (n > 0) got += static_cast<std::size_t>(n);
  }
  static constexpr char kHex[] = "0123456789abcdef";
  std::string id;
  for (const unsigned char byte : bytes) {
    id += kHex[byte >> 4];
    id += kHex[byte & 15];
  }
  return id;
}

bool IsSessionId(std::string_view id) {
  return id.size() == 2 * kIdBytes &&
         std::all_of(id.begin(), id.end(), [](char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); });
}

}  // namespace

Variant SharedValues::Get(std::string_view name) const {
  const std::lock_guard lock(mutex_);
  for (const auto& [key, value] : values_)
    if (SameName(key, name)) return value;
  return {};
}

void SharedValues::Set(std::string_view name, Variant value) {
  if (!IsPlainData(value)) oleaut::RaiseRuntimeError(oleaut::kTypeMismatch);
  const std::lock_guard lock(mutex_);
  for (auto& [key, kept] : values_) {
    if (SameName(key, name)) {
      kept = std::move(value);
      return;
    }
  }
  values_.emplace_back(std::string(name), std::move(value));
}

void SharedValues::Remove(std::string_view name) {
  const std::lock_guard lock(mutex_);
  std::erase_if(values_, [&](const auto& entry) { return SameName(entry.first, name); });
}

void SharedValues::Clear() {
  const std::lock_guard lock(mutex_);
  values_.clear();
}

std::vector<std::string> SharedValues::Names() const {
  const std::lock_guard lock(mutex_);
  std::vector<std::string> names;
  names.reserve(values_.size());
  for (const auto& entry : values_) names.push_back(entry.first);
  return names;
}

std::size_t SharedValues::Count() const {
  const std::lock_guard lock(mutex_);
  return values_.size();
}

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

std::shared_ptr<SessionState> SiteState::FindSession(std::string_view id, Clock::time_point now) {
  if (!IsSessionId(id)) return nullptr;
  const std::lock_guard lock(sessionsMutex_);
  const auto it = sessions_.find(std::string(id));
  if (it == sessions_.end()) return nullptr;
  if (it->second->expires_ <= now || it->second->Abandoned()) {
    sessions_.erase(it);
    return nullptr;
  }
  return it->second;
}

std::shared_ptr<SessionState> SiteState::NewSession() {
  auto session = std::make_shared<SessionState>(NewSessionId());
  const auto now = Clock::now();
  session->expires_ = now + std::chrono::minutes(SessionState::kDefaultTimeoutMinutes);
  const std::lock_guard lock(sessionsMutex_);
  if (sessions_.size() >= kMostSessions) DropExpired(now);
  if (sessions_.size() >= kMostSessions) {
    const auto soonest = std::min_element(sessions_.begin(), sessions_.end(), [](const auto& a, const auto& b) {
      return a.second->expires_ < b.second->expires_;
    });
    sessions_.erase(soonest);
  }
  sessions_.emplace(session->Id(), session);
  return session;
}

void SiteState::EndUse(SessionState& session) {
  const bool abandoned = session.Abandoned();
  const auto expires = Clock::now() + std::chrono::minutes(session.TimeoutMinutes());
  const std::lock_guard lock(sessionsMutex_);
  if (abandoned) {
    sessions_.erase(session.Id());
  } else {
    session.expires_ = expires;
  }
}

void SiteState::DropExpired(Clock::time_point now) {
  std::erase_if(sessions_, [now](const auto& entry) { return entry.second->expires_ <= now; });
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
