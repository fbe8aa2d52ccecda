#include "platform/oleaut/Random.h"

#include <bit>
#include <chrono>
#include <cstdint>
#include <ctime>

namespace kelvane::oleaut {

namespace {

constexpr std::uint32_t kMask = 0xFFFFFF;

// The generator's state, which is also the last number drawn times 2^24.
thread_local std::uint32_t state = 0x50000;

Single Current() { return static_cast<Single>(state) / 16777216.0f; }

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

// The high 32 bits of the double, folded to 16 and shifted over the state's
// middle and high bytes; the low byte of the state stays.
void Randomize(double seed) {
  const auto high = static_cast<std::uint32_t>(std::bit_cast<std::uint64_t>(seed) >> 32);
  const std::uint32_t mixed = ((high & 0xFFFF) ^ (high >> 16)) << 8;
  state = (state & 0xFF) | (mixed & 0xFFFF00);
}

Single Rnd() {
  state = (state * 0x43FD43FDu + 0xC39EC3u) & kMask;
  return Current();
}

Single Rnd(Single n) {
  if (n == 0) return Current();
  if (n < 0) {
    const auto bits = std::bit_cast<std::uint32_t>(n);
    state = (bits + (bits >> 24)) & kMask;
  }
  return Rnd();
}

}  // namespace kelvane::oleaut
