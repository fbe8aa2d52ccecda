#pragma once
// The memory a page makes. Pixel memory (ChargedBytes), what a script engine
// allocates for itself and, in a host that replaces operator new with one
// that charges here (the page host does), every allocation through it are
// charged to the calling thread's meter; while a page runs the meter refuses
// what would take the thread past the page's limit, and operator new then
// throws std::bad_alloc. Memory charged on one thread and released on
// another only moves the two readings; a limit counts from the reading when
// its page began.

#include <cstddef>
#include <cstdint>
#include <memory>

namespace kelvane::memory {

// Charges `bytes` to the calling thread; false, charging nothing, when that
// would pass the limit of the page running on it.
bool Charge(std::size_t bytes) noexcept;
// Gives back `bytes` charged before (on any thread).
void Release(std::size_t bytes) noexcept;

// Holds the calling thread to `limit` bytes beyond what it is charged now,
// until destroyed; scopes nest, and the innermost holds.
class LimitScope {
 public:
  explicit LimitScope(std::size_t limit) noexcept;
  ~LimitScope();
  LimitScope(const LimitScope&) = delete;
  LimitScope& operator=(const LimitScope&) = delete;

 private:
  std::int64_t previousCeiling_;
};

// `size` zeroed bytes, charged while they live; taken from calloc, so that
// large blocks come as fresh zero pages.
class ChargedBytes {
 public:
  ChargedBytes() = default;
  // Empty when the charge is refused or the memory cannot be had.
  static ChargedBytes Allocate(std::size_t size) noexcept;

  std::uint8_t* get() const { return bytes_.get(); }
  explicit operator bool() const { return bytes_ != nullptr; }
  // Gives the charge back now, on the thread that was charged: the bytes
  // then belong to the process (a cache that outlives the page), and
  // freeing them gives nothing back to whichever thread frees them.
  void Uncharge() noexcept;

 private:
  struct Deleter {
    std::size_t size;
    void operator()(std::uint8_t* bytes) const noexcept;
  };
  std::unique_ptr<std::uint8_t, Deleter> bytes_{nullptr, Deleter{0}};
};

}  // namespace kelvane::memory
