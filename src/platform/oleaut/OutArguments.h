#pragma once
// Values a method hands back through its arguments, as a ByRef parameter
// does (a connection's Execute tells how many rows it changed): the method
// sets them while it runs, and the language that called it assigns each to
// the variable it passed once the call returns. A caller that passes no
// variables, or a language that has none to pass, takes nothing back.

#include <cstddef>
#include <utility>
#include <vector>

#include "platform/oleaut/Variant.h"

namespace kelvane::oleaut {

// Collects what the call the calling thread makes next hands back, until
// destroyed; scopes nest, and a call sets its values in the innermost.
class OutArguments {
 public:
  OutArguments() noexcept;
  ~OutArguments();
  OutArguments(const OutArguments&) = delete;
  OutArguments& operator=(const OutArguments&) = delete;

  // The values set, each with the position of its argument, in the order
  // they were set.
  std::vector<std::pair<std::size_t, Variant>> Take() { return std::move(values_); }

 private:
  friend void SetOutArgument(std::size_t index, Variant value);
  OutArguments* previous_;
  std::vector<std::pair<std::size_t, Variant>> values_;
};

// Hands `value` back through argument `index` (from 0) of the call running
// on the thread; nothing when no caller collects it.
void SetOutArgument(std::size_t index, Variant value);

}  // namespace kelvane::oleaut
