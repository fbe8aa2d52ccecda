#include "host/pages/SharedValues.h"

#include <algorithm>
#include <unordered_map>
#include <utility>

#include "platform/oleaut/AutomationError.h"
#include "platform/oleaut/Dispatch.h"

namespace kelvane::host {

namespace {

using oleaut::ArrayRef;
using oleaut::SafeArray;
using oleaut::SameName;
using oleaut::Variant;

// What `text` holds on the heap: nothing while it fits in the string itself.
std::size_t HeapOf(const std::string& text) {
  static const std::size_t inPlace = std::string().capacity();
  return text.capacity() > inPlace ? text.capacity() + 1 : 0;
}

// What `array` holds itself, its elements' own heap aside.
std::size_t OwnBytes(const SafeArray& array) {
  return sizeof array + array.bytes.capacity() + array.elements.capacity() * sizeof(Variant) +
         array.shape.capacity() * sizeof(std::size_t);
}

// What `value` holds beyond the variant itself: its text, or its arrays and
// their texts, an array met twice counted once. Raises 13 for an object in
// it and 28 for arrays nested too deep. Walks arrays without recursion, so
// that no nesting reaches the stack.
std::size_t HeldBytes(const Variant& value) {
  if (value.IsObject()) oleaut::RaiseRuntimeError(oleaut::kTypeMismatch);
  if (const auto* text = value.If<std::string>()) return HeapOf(*text);
  const auto* top = value.If<ArrayRef>();
  if (top == nullptr || !*top) return 0;

  // The arrays walked, each with its height: the most arrays from it to a
  // value that is no array, itself included.
  std::unordered_map<const SafeArray*, std::size_t> heights;
  struct Step {
    const SafeArray* array;
    std::size_t next;     // the element to look at next
    std::size_t tallest;  // the tallest array among the elements looked at
  };
  std::vector<Step> path{{top->get(), 0, 0}};
  std::size_t bytes = 0;
  while (!path.empty()) {
    Step& step = path.back();
    if (step.next == step.array->elements.size()) {
      const std::size_t height = step.tallest + 1;
      if (height > SharedValues::kDeepestArrays) oleaut::RaiseRuntimeError(oleaut::kOutOfStackSpace);
      heights.emplace(step.array, height);
      bytes += OwnBytes(*step.array);
      path.pop_back();
      if (!path.empty()) path.back().tallest = std::max(path.back().tallest, height);
      continue;
    }
    const Variant& element = step.array->elements[step.next++];
    if (element.IsObject()) oleaut::RaiseRuntimeError(oleaut::kTypeMismatch);
    if (const auto* text = element.If<std::string>()) bytes += HeapOf(*text);
    const auto* inner = element.If<ArrayRef>();
    if (inner == nullptr || !*inner) continue;
    if (const auto known = heights.find(inner->get()); known != heights.end()) {
      step.tallest = std::max(step.tallest, known->second);
    } else {
      if (path.size() == SharedValues::kDeepestArrays) oleaut::RaiseRuntimeError(oleaut::kOutOfStackSpace);
      path.push_back({inner->get(), 0, 0});
    }
  }
  return bytes;
}

// Matches the entry named `name`, in any case.
auto Named(std::string_view name) {
  return [name](const auto& entry) { return SameName(entry.name, name); };
}

}  // namespace

bool ValueBudget::Take(std::size_t bytes) noexcept {
  std::size_t used = used_.load(std::memory_order_relaxed);
  do {
    if (bytes > limit_ - used) return false;
  } while (!used_.compare_exchange_weak(used, used + bytes, std::memory_order_relaxed));
  return true;
}

void ValueBudget::Give(std::size_t bytes) noexcept { used_.fetch_sub(bytes, std::memory_order_relaxed); }

SharedValues::~SharedValues() { Free(bytes_); }

void SharedValues::Free(std::size_t bytes) noexcept {
  if (budget_ != nullptr) budget_->Give(bytes);
}

Variant SharedValues::Get(std::string_view name) const {
  const std::lock_guard lock(mutex_);
  const auto entry = std::find_if(values_.begin(), values_.end(), Named(name));
  return entry == values_.end() ? Variant() : entry->value;
}

void SharedValues::Set(std::string_view name, Variant value) {
  const std::size_t held = sizeof(Entry) + HeldBytes(value);
  const std::lock_guard lock(mutex_);
  auto entry = std::find_if(values_.begin(), values_.end(), Named(name));
  if (entry == values_.end()) {
    Entry& fresh = values_.emplace_back(Entry{std::string(name), std::move(value), 0});
    fresh.bytes = held + HeapOf(fresh.name);
    if (budget_ != nullptr && !budget_->Take(fresh.bytes)) {
      values_.pop_back();
      oleaut::RaiseRuntimeError(oleaut::kOutOfMemory);
    }
    bytes_ += fresh.bytes;
    return;
  }
  const std::size_t bytes = held + HeapOf(entry->name);
  if (bytes > entry->bytes && budget_ != nullptr && !budget_->Take(bytes - entry->bytes))
    oleaut::RaiseRuntimeError(oleaut::kOutOfMemory);
  if (bytes < entry->bytes) Free(entry->bytes - bytes);
  bytes_ = bytes_ - entry->bytes + bytes;
  entry->bytes = bytes;
  entry->value = std::move(value);
}

void SharedValues::Remove(std::string_view name) {
  const std::lock_guard lock(mutex_);
  const auto entry = std::find_if(values_.begin(), values_.end(), Named(name));
  if (entry == values_.end()) return;
  Free(entry->bytes);
  bytes_ -= entry->bytes;
  values_.erase(entry);
}

void SharedValues::Clear() {
  const std::lock_guard lock(mutex_);
  values_.clear();
  Free(std::exchange(bytes_, 0));
}

std::vector<std::string> SharedValues::Names() const {
  const std::lock_guard lock(mutex_);
  std::vector<std::string> names;
  names.reserve(values_.size());
  for (const auto& entry : values_) names.push_back(entry.name);
  return names;
}

std::size_t SharedValues::Count() const {
  const std::lock_guard lock(mutex_);
  return values_.size();
}

}  // namespace kelvane::host
