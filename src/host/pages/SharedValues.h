#pragma once
// What pages keep beyond one request: named values, names without regard to
// case, kept in the order first set. Values are plain data (numbers, text,
// dates, arrays of them): an object lives on the thread of the page that
// made it and cannot outlive it. What values hold may be counted against a
// budget that many sets of values share. Safe to use from several threads.

#include <atomic>
#include <cstddef>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "platform/oleaut/Variant.h"

namespace kelvane::host {

// Bytes that sets of values may hold between them.
class ValueBudget {
 public:
  explicit ValueBudget(std::size_t limit) : limit_(limit) {}

  // Counts `bytes` more; false, counting nothing, when that would pass the limit.
  bool Take(std::size_t bytes) noexcept;
  // Counts `bytes` taken before as free again.
  void Give(std::size_t bytes) noexcept;

 private:
  const std::size_t limit_;
  std::atomic<std::size_t> used_{0};
};

class SharedValues {
 public:
  // Counted against `budget`, when given, which must outlive the values.
  explicit SharedValues(ValueBudget* budget = nullptr) : budget_(budget) {}
  ~SharedValues();
  SharedValues(const SharedValues&) = delete;
  SharedValues& operator=(const SharedValues&) = delete;

  // Empty when there is no such value.
  oleaut::Variant Get(std::string_view name) const;
  // Sets a value. Sets nothing, the value before staying, and raises: 13
  // "Type mismatch" for an object or an array holding one; 28 "Out of stack
  // space" for arrays nested more than kDeepestArrays deep; 7 "Out of
  // memory" when the budget cannot hold it, with its name, in place of the
  // value before.
  void Set(std::string_view name, oleaut::Variant value);
  void Remove(std::string_view name);
  void Clear();
  std::vector<std::string> Names() const;
  std::size_t Count() const;

  // Arrays in arrays, this deep at most: deeper ones would take the stack
  // of whatever thread frees them.
  static constexpr std::size_t kDeepestArrays = 64;

 private:
  struct Entry {
    std::string name;
    oleaut::Variant value;
    std::size_t bytes;  // counted for the entry, name and value
  };

  // Gives `bytes` back to the budget.
  void Free(std::size_t bytes) noexcept;

  ValueBudget* const budget_;
  mutable std::mutex mutex_;
  std::vector<Entry> values_;
  std::size_t bytes_ = 0;  // counted for all entries
};

}  // namespace kelvane::host
