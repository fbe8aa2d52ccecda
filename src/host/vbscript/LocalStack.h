#pragma once
// The variables of the procedures that run, each call's frame on top of its
// caller's. A frame's slots lie side by side in chunks that are kept for the
// frames that follow, so that once the stack has grown a call allocates
// nothing, and a slot stays where it is while its frame lives: a ByRef
// parameter of a frame above may point to it.

#include <cstddef>
#include <memory>
#include <vector>

#include "platform/oleaut/Variant.h"

namespace kelvane::host::vbscript {

class LocalStack {
 public:
  struct Slot {
    // The variable the local's name reaches: `value`, or the caller's
    // variable a ByRef parameter stands for.
    oleaut::Variant* place;
    oleaut::Variant value;
  };
  // Where the stack's top was before a frame was pushed.
  struct Mark {
    std::size_t chunk = 0;
    std::size_t top = 0;
  };

  // Pushes a frame of `count` Empty slots, each its own place, and sets
  // `mark` for Pop. Raises std::bad_alloc, with nothing pushed, when the
  // stack cannot grow.
  Slot* Push(std::size_t count, Mark& mark) {
    if (chunks_.empty() || top_ + count > chunks_[chunk_].size) {
      const std::size_t next = chunks_.empty() ? 0 : chunk_ + 1;
      // The chunks above the top are free: one too small is replaced.
      if (next == chunks_.size() || chunks_[next].size < count) {
        const std::size_t size = count > kChunkSize ? count : kChunkSize;
        Chunk chunk{std::make_unique<Slot[]>(size), size};
        if (next == chunks_.size()) chunks_.push_back(std::move(chunk));
        else chunks_[next] = std::move(chunk);
      }
      mark = {chunk_, top_};
      chunk_ = next;
      top_ = 0;
    } else {
      mark = {chunk_, top_};
    }
    Slot* slots = chunks_[chunk_].slots.get() + top_;
    top_ += count;
    for (std::size_t i = 0; i < count; ++i) slots[i].place = &slots[i].value;
    return slots;
  }

  // Pops the frame `slots` that the Push that set `mark` made, which is
  // the top one. Its values die from the last to the first; an object or an
  // array, which may hold objects, after its slot is Empty, while the frame
  // still holds its place: a Class_Terminate that it runs pushes its own
  // frame above.
  void Pop(Slot* slots, std::size_t count, Mark mark) noexcept {
    for (std::size_t i = count; i-- > 0;) {
      oleaut::Variant& value = slots[i].value;
      if (value.IsObject() || value.IsArray()) {
        oleaut::Variant dying = std::move(value);
        value = oleaut::Variant();
      } else {
        value = oleaut::Variant();
      }
    }
    chunk_ = mark.chunk;
    top_ = mark.top;
  }

 private:
  static constexpr std::size_t kChunkSize = 256;
  struct Chunk {
    std::unique_ptr<Slot[]> slots;
    std::size_t size;
  };
  std::vector<Chunk> chunks_;
  std::size_t chunk_ = 0;  // the chunk that holds the top
  std::size_t top_ = 0;    // slots of that chunk in use
};

}  // namespace kelvane::host::vbscript
