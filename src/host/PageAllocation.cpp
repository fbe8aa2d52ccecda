// The process's operator new and delete, charging the page memory meter of
// the calling thread, so that what a page causes through them is held to
// its limit: every program that links the host library compiles this in.
// The other forms (arrays, nothrow, sized delete) reach these. Blocks are
// charged at their usable size, which is what delete gives back.

#include <malloc.h>

#include <cstdlib>
#include <new>

#include "platform/memory/PageMemory.h"

void* operator new(std::size_t size) {
  void* block = std::malloc(size == 0 ? 1 : size);
  if (block == nullptr) throw std::bad_alloc();
  if (!kelvane::memory::Charge(malloc_usable_size(block))) {
    std::free(block);
    throw std::bad_alloc();
  }
  return block;
}

void operator delete(void* block) noexcept {
  if (block == nullptr) return;
  kelvane::memory::Release(malloc_usable_size(block));
  std::free(block);
}

void operator delete(void* block, std::size_t) noexcept { operator delete(block); }
