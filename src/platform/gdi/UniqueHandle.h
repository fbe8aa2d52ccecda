#pragma once
// Owning wrappers for GDI handles: the object is deleted when the wrapper goes.

#include <utility>

#include "platform/gdi/Gdi.h"

namespace kelvane::gdi {

template <BOOL (*Delete)(HGDIOBJ)>
class UniqueHandle {
 public:
  UniqueHandle() = default;
  explicit UniqueHandle(HGDIOBJ handle) : handle_(handle) {}
  ~UniqueHandle() { reset(); }
  UniqueHandle(UniqueHandle&& other) noexcept : handle_(std::exchange(other.handle_, 0)) {}
  UniqueHandle& operator=(UniqueHandle&& other) noexcept {
    if (this != &other) reset(std::exchange(other.handle_, 0));
    return *this;
  }

  HGDIOBJ get() const { return handle_; }
  explicit operator bool() const { return handle_ != 0; }
  HGDIOBJ release() { return std::exchange(handle_, 0); }
  void reset(HGDIOBJ handle = 0) {
    if (handle_ != 0) Delete(handle_);
    handle_ = handle;
  }

 private:
  HGDIOBJ handle_ = 0;
};

using UniqueObject = UniqueHandle<DeleteObject>;
using UniqueDC = UniqueHandle<DeleteDC>;

}  // namespace kelvane::gdi
