// The test program's operator new and delete: malloc and free, with the
// calling thread's allocation limit. The array, sized and nothrow forms are
// all replaced, so that every pair allocates and frees through one heap.

#include "support/AllocationLimit.h"

#include <cstdlib>
#include <limits>
#include <new>

namespace kelvane {

namespace {

thread_local std::size_t limit = std::numeric_limits<std::size_t>::max();

}  // namespace

AllocationLimit::AllocationLimit(std::size_t bytes) : saved_(limit) { limit = bytes; }

AllocationLimit::~AllocationLimit() { limit = saved_; }

namespace {

void* Allocate(std::size_t size) {
  if (size >= limit) throw std::bad_alloc();
  if (void* memory = std::malloc(size == 0 ? 1 : size)) return memory;
  throw std::bad_alloc();
}

void* AllocateOrNull(std::size_t size) noexcept {
  if (size >= limit) return nullptr;
  return std::malloc(size == 0 ? 1 : size);
}

}  // namespace

}  // namespace kelvane

void* operator new(std::size_t size) { return kelvane::Allocate(size); }
void* operator new[](std::size_t size) { return kelvane::Allocate(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  return kelvane::AllocateOrNull(size);
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
  return kelvane::AllocateOrNull(size);
}
void operator delete(void* memory) noexcept { std::free(memory); }
void operator delete[](void* memory) noexcept { std::free(memory); }
void operator delete(void* memory, std::size_t) noexcept { std::free(memory); }
void operator delete[](void* memory, std::size_t) noexcept { std::free(memory); }
void operator delete(void* memory, const std::nothrow_t&) noexcept { std::free(memory); }
void operator delete[](void* memory, const std::nothrow_t&) noexcept { std::free(memory); }
