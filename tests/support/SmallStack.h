#pragma once
// Runs a piece of a test on a thread of its own with a stack of a chosen
// size, so that a test can show that work stays within a bound of stack.

#include <pthread.h>

#include <cstddef>
#include <functional>
#include <stdexcept>

namespace kelvane::test {

// Runs `work` on a new thread with `stackBytes` of stack and waits for it.
inline void OnSmallStack(std::size_t stackBytes, std::function<void()> work) {
  pthread_attr_t attributes;
  pthread_attr_init(&attributes);
  pthread_attr_setstacksize(&attributes, stackBytes);
  pthread_t thread;
  const auto run = [](void* argument) -> void* {
    (*static_cast<std::function<void()>*>(argument))();
    return nullptr;
  };
  const int started = pthread_create(&thread, &attributes, run, &work);
  pthread_attr_destroy(&attributes);
  if (started != 0) throw std::runtime_error("no thread with a small stack");
  pthread_join(thread, nullptr);
}

}  // namespace kelvane::test
