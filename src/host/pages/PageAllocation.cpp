// The process's operator new and delete, charging the page memory meter of
// the calling thread, so that what a page causes through them is held to
// its limit: every program that links the host library compiles this in.
// Every form but the aligned ones is replaced, so that each pair allocates
// and frees through one heap whatever else defines them (a sanitizer does).
// Blocks are charged at their usable size, which is what delete gives back.

#include <malloc.h>

#include <cstdlib>
#include <new>

#include "platform/memory/PageMemory.h"

namespace {

// A charged block of `size` bytes; nullptr when the charge is refused or
// there is no memory.
void* Allocate(std::size_t size) noexcept {
  void* block = std::malloc(size == 0 ? 1 : size);
  if (block != nullptr && !kelvane::memory::Charge(malloc_usable_size(block))) {
    std::free(block);
    return nullptr;
  }
  return block;
}

void* AllocateOrThrow(std::size_t size) {
  void* block = Allocate(size);
  if (block == nullptr) throw std::bad_alloc();
  return block;
}

void Free(void* block) noexcept {
  if (block == nullptr) return;
  kelvane::memory::Release(malloc_usable_size(block));
  std::free(block);
}

}  // namespace

void* operator new(std::size_t size) { return AllocateOrThrow(size); }
void* operator new[](std::size_t size) { return AllocateOrThrow(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return Allocate(size); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return Allocate(size); }
void operator delete(void* block) noexcept { Free(block); }
void operator delete[](void* block) noexcept { Free(block); }
void operator delete(void* block, std::size_t) noexcept { Free(block); }
void operator delete[](void* block, std::size_t) noexcept { Free(block); }
void operator delete(void* block, const std::nothrow_t&) noexcept { Free(block); }
void operator delete[](void* block, const std::nothrow_t&) noexcept { Free(block); }
