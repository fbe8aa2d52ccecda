#include "platform/memory/PageMemory.h"

#include <limits>
#include <new>

namespace kelvane::memory {

namespace {

constexpr std::int64_t kUnlimited = std::numeric_limits<std::int64_t>::max();

// Signed: releases made here of memory charged elsewhere may take it below 0.
struct Meter {
  std::int64_t used = 0;
  std::int64_t ceiling = kUnlimited;
};

thread_local Meter meter;

std::int64_t Clamped(std::size_t bytes) {
  return bytes > static_cast<std::size_t>(kUnlimited) ? kUnlimited : static_cast<std::int64_t>(bytes);
}

}  // namespace

bool Charge(std::size_t bytes) noexcept {
  const std::int64_t amount = Clamped(bytes);
  if (meter.used > meter.ceiling - amount) return false;
  meter.used += amount;
  return true;
}

void Release(std::size_t bytes) noexcept { meter.used -= Clamped(bytes); }

LimitScope::LimitScope(std::size_t limit) noexcept : previousCeiling_(meter.ceiling) {
  const std::int64_t amount = Clamped(limit);
  meter.ceiling = meter.used > kUnlimited - amount ? kUnlimited : meter.used + amount;
}

LimitScope::~LimitScope() { meter.ceiling = previousCeiling_; }

ChargedBytes ChargedBytes::Allocate(std::size_t size) noexcept {
  ChargedBytes charged;
  if (!Charge(size)) return charged;
  std::uint8_t* bytes = new (std::nothrow) std::uint8_t[size == 0 ? 1 : size]();
  if (bytes == nullptr) {
    Release(size);
    return charged;
  }
  charged.bytes_ = {bytes, Deleter{size}};
  return charged;
}

void ChargedBytes::Deleter::operator()(std::uint8_t* bytes) const noexcept {
  delete[] bytes;
  Release(size);
}

}  // namespace kelvane::memory
