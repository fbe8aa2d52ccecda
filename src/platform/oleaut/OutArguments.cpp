#include "platform/oleaut/OutArguments.h"

namespace kelvane::oleaut {

namespace {

thread_local OutArguments* current = nullptr;

}  // namespace

OutArguments::OutArguments() noexcept : previous_(current) { current = this; }

OutArguments::~OutArguments() { current = previous_; }

void SetOutArgument(std::size_t index, Variant value) {
  if (current != nullptr) current->values_.emplace_back(index, std::move(value));
}

}  // namespace kelvane::oleaut
