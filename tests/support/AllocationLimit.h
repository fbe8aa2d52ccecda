#pragma once
// Failing allocations on demand: while a limit lives, every operator new on
// the calling thread of at least its size throws std::bad_alloc (the
// nothrow forms answer null), as when memory runs out. The test program's
// own operator new and delete, in AllocationLimit.cpp, make this possible.

#include <cstddef>

namespace kelvane {

class AllocationLimit {
 public:
  explicit AllocationLimit(std::size_t bytes);
  ~AllocationLimit();
  AllocationLimit(const AllocationLimit&) = delete;
  AllocationLimit& operator=(const AllocationLimit&) = delete;

 private:
  std::size_t saved_;
};

}  // namespace kelvane
