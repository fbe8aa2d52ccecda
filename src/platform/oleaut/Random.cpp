#include "platform/oleaut/Random.h"

#include <bit>
#include <chrono>
#include <cstdint>
#include <ctime>

namespace kelvane::oleaut {

namespace {

// A 24-bit linear congruential generator: full period, cheap, and its
// numbers are exact in single precision.
thread_local std::uint32_t state = 0x50000;

constexpr std::uint32_t kMask = 0xFFFFFF;

}  // namespace

Single Timer() {
  const auto now = std::chrono::system_clock::now();
  const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
  std::tm local{};
  localtime_r(&seconds, &local);
  const auto fraction = std::chrono::duration<double>(now - std::chrono::system_clock::from_time_t(seconds));
  return static_cast<Single>(local.tm_hour * 3600 + local.tm_min * 60 + local.tm_sec +
                             fraction.count());
}

void Randomize(Single seed) {
  const auto bits = std::bit_cast<std::uint32_t>(seed);
  state = ((bits ^ (bits >> 8) ^ (bits >> 16)) * 2654435761u) & kMask;
}

Single Rnd() {
  state = (state * 1140671485u + 12820163u) & kMask;
  return static_cast<Single>(state) / 16777216.0f;
}

}  // namespace kelvane::oleaut
