#include "platform/memory/PageMemory.h"

#include <malloc.h>

#include <cstdlib>
#include <limits>
#include <new>
#include <utility>

namespace kelvane::memory {

namespace {

constexpr std::int64_t kUnlimited = std::numeric_limits<std::int64_t>::max();

// Signed: releases made here of memory charged elsewhere may take it below 0.
struct Meter {
  std::int64_t used = 0;
  std::int64_t ceiling = kUnlimited;
};

thread_local Meter meter;

// Blocks up to 32 MB (a 2900 x 2900 surface) come from malloc's heap, not
// from mmap, and freed memory up to 64 MB stays there: a request then reuses
// the pixel memory of the one before instead of faulting in fresh pages.
[[maybe_unused]] const bool heapReused = [] {
  return mallopt(M_MMAP_THRESHOLD, 32 << 20) == 1 && mallopt(M_TRIM_THRESHOLD, 64 << 20) == 1;
}();

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
  auto* bytes = static_cast<std::uint8_t*>(std::calloc(size == 0 ? 1 : size, 1));
  if (bytes == nullptr) {
    Release(size);
    return charged;
  }
  charged.bytes_ = {bytes, Deleter{size}};
  return charged;
}

void ChargedBytes::Uncharge() noexcept {
  Release(std::exchange(bytes_.get_deleter().size, 0));
}

void ChargedBytes::Deleter::operator()(std::uint8_t* bytes) const noexcept {
  std::free(bytes);
  Release(size);
}

}  // namespace kelvane::memory
