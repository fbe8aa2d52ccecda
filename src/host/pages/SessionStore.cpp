#include "host/pages/SessionStore.h"

#include <sys/random.h>

#include <algorithm>
#include <charconv>
#include <new>
#include <stdexcept>

namespace kelvane::host {

namespace {

constexpr std::size_t kIdBytes = 16;

// The whole of `text` as a number from `least` to `most`; throws
// std::invalid_argument naming `what` otherwise.
int Number(std::string_view text, int least, int most, const char* what) {
  int value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || error != std::errc{} || end != text.data() + text.size() || value < least || value > most)
    throw std::invalid_argument(std::string("the ") + what + " must be a number from " + std::to_string(least) +
                                " to " + std::to_string(most));
  return value;
}

}  // namespace

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

std::string StoreAddress::Text() const {
  if (host.empty()) return "unix:" + path;
  return "redis://" + host + ":" + std::to_string(port) + "/" + std::to_string(database);
}

std::optional<StoreAddress> ParseStoreAddress(std::string_view text) {
  constexpr std::string_view kRedis = "redis://", kUnix = "unix:";
  if (text == "memory") return std::nullopt;
  StoreAddress address;
  if (text.starts_with(kUnix)) {
    address.path = text.substr(kUnix.size());
    if (!address.path.starts_with('/')) throw std::invalid_argument("a Unix socket's path must be absolute");
    return address;
  }
  if (!text.starts_with(kRedis))
    throw std::invalid_argument("takes memory, redis://HOST:PORT/DB or unix:/PATH");
  std::string_view rest = text.substr(kRedis.size());
  if (const auto slash = rest.find('/'); slash != std::string_view::npos) {
    address.database = Number(rest.substr(slash + 1), 0, 65535, "database");
    rest = rest.substr(0, slash);
  }
  // A bracketed IPv6 address keeps its colons.
  const auto close = rest.starts_with('[') ? rest.find(']') : 0;
  if (close == std::string_view::npos) throw std::invalid_argument("an IPv6 address lacks its ']'");
  if (const auto colon = rest.find(':', close); colon != std::string_view::npos) {
    address.port = Number(rest.substr(colon + 1), 1, 65535, "port");
    rest = rest.substr(0, colon);
  }
  if (rest.starts_with('[')) rest = rest.substr(1, rest.size() - 2);
  if (rest.empty()) throw std::invalid_argument("the store's host is missing");
  address.host = rest;
  return address;
}

std::shared_ptr<SessionState> SessionStore::TakeEnded() {
  const std::lock_guard lock(endedMutex_);
  if (ended_.empty()) return nullptr;
  std::shared_ptr<SessionState> session = std::move(ended_.front());
  ended_.pop_front();
  return session;
}

void SessionStore::Ended(const std::shared_ptr<SessionState>& session) noexcept {
  if (!keepEnded_.load(std::memory_order_relaxed)) return;
  const std::lock_guard lock(endedMutex_);
  if (ended_.size() >= kMostEnded) return;
  try {
    ended_.push_back(session);
  } catch (const std::bad_alloc&) {
    // Without memory to keep it, the session goes without its handler.
  }
}

}  // namespace kelvane::host
