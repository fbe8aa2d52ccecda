#pragma once
// A Recordset's Filter criteria and Sort order, read once from the page's
// text and then applied to each held row.
//
// Criteria: clauses `field op value` joined by AND and OR (AND binds
// tighter), in parentheses as wanted. op is =, <>, <, >, <=, >= or LIKE;
// value is 'text' ('' for a quote), #date#, a number or NULL (= and <>
// only). LIKE takes * or % at either end of its text only. A field is a
// name or a [bracketed name]. Text compares without regard to case.
//
// Order: `field [ASC|DESC]` separated by commas.
//
// Text neither reads is 3001.

#include <cstddef>
#include <functional>
#include <span>
#include <string_view>
#include <vector>

#include "platform/oleaut/Variant.h"

namespace kelvane::host::adodb {

// The column index of a field name; raises when the rows have none.
using FieldLookup = std::function<std::size_t(std::string_view)>;

class RecordFilter {
 public:
  static RecordFilter Parse(std::string_view text, const FieldLookup& lookup);

  // Whether the row of these column values passes.
  bool Passes(std::span<const oleaut::Variant> row) const;

  enum class Op { Equal, NotEqual, Less, Greater, LessEqual, GreaterEqual, Like, And, Or };
  // One step of the criteria in postfix order: a comparison of a column
  // with a value, or AND/OR of the two results before it.
  struct Step {
    Op op = Op::Equal;
    std::size_t column = 0;
    oleaut::Variant value;  // Null for NULL
    bool anyBefore = false;  // LIKE: the text may start anywhere
    bool anyAfter = false;   // LIKE: the text may end anywhere
  };

 private:
  std::vector<Step> steps_;
};

class RecordOrder {
 public:
  static RecordOrder Parse(std::string_view text, const FieldLookup& lookup);

  // Whether row `a` comes before row `b`: Null first, text without regard
  // to case.
  bool Before(std::span<const oleaut::Variant> a, std::span<const oleaut::Variant> b) const;
  bool Empty() const { return keys_.empty(); }

 private:
  struct Key {
    std::size_t column;
    bool descending;
  };
  std::vector<Key> keys_;
};

}  // namespace kelvane::host::adodb
