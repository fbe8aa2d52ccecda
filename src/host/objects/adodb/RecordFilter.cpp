#include "host/objects/adodb/RecordFilter.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <compare>
#include <string>

#include "host/objects/adodb/AdoErrors.h"
#include "platform/oleaut/Conversion.h"
#include "platform/oleaut/DateTime.h"
#include "platform/oleaut/Dispatch.h"
#include "platform/oleaut/Operators.h"

namespace kelvane::host::adodb {

namespace {

using namespace oleaut;
using Op = RecordFilter::Op;
using Step = RecordFilter::Step;

constexpr const char* kRecordset = "ADODB.Recordset";
// Parentheses nest this deep at most; the evaluation's stack is bounded by it.
constexpr int kMaxDepth = 32;
constexpr std::size_t kMaxStack = 2 * kMaxDepth + 4;

[[noreturn]] void Unreadable() { RaiseAdo(kWrongArguments, kRecordset); }

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
bool IsNameChar(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
         static_cast<unsigned char>(c) >= 0x80;
}

std::strong_ordering CompareFolded(std::string_view a, std::string_view b) {
  return std::lexicographical_compare_three_way(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    return static_cast<unsigned char>(FoldChar(x)) <=> static_cast<unsigned char>(FoldChar(y));
  });
}

Comparison FromOrdering(std::strong_ordering order) {
  return order < 0 ? Comparison::Less : order > 0 ? Comparison::Greater : Comparison::Equal;
}

// The page's text read piece by piece.
class Reader {
 public:
  Reader(std::string_view text, const FieldLookup& lookup) : text_(text), lookup_(lookup) {}

  bool AtEnd() {
    SkipSpaces();
    return at_ == text_.size();
  }

  bool Take(char c) {
    SkipSpaces();
    if (at_ < text_.size() && text_[at_] == c) {
      ++at_;
      return true;
    }
    return false;
  }

  // A word such as AND or ASC, without regard to case, standing alone.
  bool TakeWord(std::string_view word) {
    SkipSpaces();
    if (text_.size() - at_ < word.size() || !SameName(text_.substr(at_, word.size()), word)) return false;
    if (at_ + word.size() < text_.size() && IsNameChar(text_[at_ + word.size()])) return false;
    at_ += word.size();
    return true;
  }

  std::size_t Field() {
    SkipSpaces();
    std::string_view name;
    if (Take('[')) {
      const std::size_t close = text_.find(']', at_);
      if (close == std::string_view::npos) Unreadable();
      name = text_.substr(at_, close - at_);
      at_ = close + 1;
    } else {
      const std::size_t start = at_;
      while (at_ < text_.size() && IsNameChar(text_[at_])) ++at_;
      name = text_.substr(start, at_ - start);
    }
    if (name.empty()) Unreadable();
    return lookup_(name);
  }

  Op Operator() {
    if (TakeWord("like")) return Op::Like;
    if (Take('=')) return Op::Equal;
    if (Take('<')) return Take('>') ? Op::NotEqual : Take('=') ? Op::LessEqual : Op::Less;
    if (Take('>')) return Take('=') ? Op::GreaterEqual : Op::Greater;
    Unreadable();
  }

  Variant Value() {
    if (TakeWord("null")) return Variant::Null();
    if (Take('\'')) {
      std::string text;
      for (;;) {
        if (at_ == text_.size()) Unreadable();
        const char c = text_[at_++];
        if (c != '\'') {
          text += c;
        } else if (at_ < text_.size() && text_[at_] == '\'') {
          text += c;
          ++at_;
        } else {
          return text;
        }
      }
    }
    if (Take('#')) {
      const std::size_t close = text_.find('#', at_);
      if (close == std::string_view::npos) Unreadable();
      const auto date = ParseDate(text_.substr(at_, close - at_));
      if (!date) Unreadable();
      at_ = close + 1;
      return *date;
    }
    SkipSpaces();
    double number = 0;
    const char* first = text_.data() + at_;
    const char* last = text_.data() + text_.size();
    if (first != last && *first == '+') ++first;
    const auto [end, error] = std::from_chars(first, last, number);
    if (error != std::errc() || (end != last && IsNameChar(*end))) Unreadable();
    at_ = static_cast<std::size_t>(end - text_.data());
    return number;
  }

 private:
  void SkipSpaces() {
    while (at_ < text_.size() && IsSpace(text_[at_])) ++at_;
  }

  std::string_view text_;
  const FieldLookup& lookup_;
  std::size_t at_ = 0;
};

// Criteria read into postfix steps, with the stack depth they need.
class CriteriaParser {
 public:
  CriteriaParser(Reader& reader, std::vector<Step>& steps) : reader_(reader), steps_(steps) {}

  void Or(int depth) {
    And(depth);
    while (reader_.TakeWord("or")) {
      And(depth);
      Push(Op::Or);
    }
  }

 private:
  void And(int depth) {
    Clause(depth);
    while (reader_.TakeWord("and")) {
      Clause(depth);
      Push(Op::And);
    }
  }

  void Clause(int depth) {
    if (reader_.Take('(')) {
      if (depth == kMaxDepth) Unreadable();
      Or(depth + 1);
      if (!reader_.Take(')')) Unreadable();
      return;
    }
    Step step;
    step.column = reader_.Field();
    step.op = reader_.Operator();
    step.value = reader_.Value();
    if (step.value.IsNull() && step.op != Op::Equal && step.op != Op::NotEqual) Unreadable();
    if (step.op == Op::Like) ReadPattern(step);
    steps_.push_back(std::move(step));
    if (++stack_ > kMaxStack) Unreadable();
  }

  // A LIKE's text: its wildcards at either end become flags.
  static void ReadPattern(Step& step) {
    const auto* text = step.value.If<std::string>();
    if (text == nullptr) Unreadable();
    std::string_view pattern = *text;
    const auto wild = [](char c) { return c == '*' || c == '%'; };
    step.anyBefore = !pattern.empty() && wild(pattern.front());
    if (step.anyBefore) pattern.remove_prefix(1);
    step.anyAfter = !pattern.empty() && wild(pattern.back());
    if (step.anyAfter) pattern.remove_suffix(1);
    if (std::ranges::any_of(pattern, wild)) Unreadable();
    step.value = std::string(pattern);
  }

  void Push(Op op) {
    Step step;
    step.op = op;
    steps_.push_back(std::move(step));
    --stack_;
  }

  Reader& reader_;
  std::vector<Step>& steps_;
  std::size_t stack_ = 0;
};

bool Like(std::string_view text, const Step& step) {
  const std::string_view pattern = *step.value.If<std::string>();
  if (text.size() < pattern.size()) return false;
  const auto same = [&](std::size_t at) { return CompareFolded(text.substr(at, pattern.size()), pattern) == 0; };
  if (step.anyBefore && step.anyAfter) {
    for (std::size_t at = 0; at + pattern.size() <= text.size(); ++at)
      if (same(at)) return true;
    return false;
  }
  if (step.anyBefore) return same(text.size() - pattern.size());
  if (step.anyAfter) return same(0);
  return text.size() == pattern.size() && same(0);
}

// A column's value beside a criterion's text: a number or date column
// reads the text as its own type.
Comparison CompareWithCriterionText(const Variant& field, const std::string& text) {
  if (const auto* date = field.If<Date>()) {
    const auto given = ParseDate(text);
    if (!given) Unreadable();
    return CompareWithNumber(*date, *given);
  }
  if (HoldsNumber(field)) {
    const auto number = ParseNumber(text, CurrentNumberFormat());
    if (!number) Unreadable();
    return CompareWithNumber(field, *number);
  }
  if (const auto* own = field.If<std::string>()) return FromOrdering(CompareFolded(*own, text));
  return FromOrdering(CompareFolded(ToString(field), text));
}

bool Holds(const Step& step, const Variant& field) {
  if (step.value.IsNull()) return (step.op == Op::Equal) == field.IsNull();
  if (field.IsNull()) return false;
  if (step.op == Op::Like) {
    if (const auto* own = field.If<std::string>()) return Like(*own, step);
    return Like(ToString(field), step);
  }
  const auto* text = step.value.If<std::string>();
  const Comparison c =
      text != nullptr ? CompareWithCriterionText(field, *text) : CompareWithNumber(field, step.value);
  switch (step.op) {
    case Op::Equal: return c == Comparison::Equal;
    case Op::NotEqual: return c != Comparison::Equal;
    case Op::Less: return c == Comparison::Less;
    case Op::Greater: return c == Comparison::Greater;
    case Op::LessEqual: return c == Comparison::Less || c == Comparison::Equal;
    case Op::GreaterEqual: return c == Comparison::Greater || c == Comparison::Equal;
    default: return false;
  }
}

}  // namespace

RecordFilter RecordFilter::Parse(std::string_view text, const FieldLookup& lookup) {
  RecordFilter filter;
  Reader reader(text, lookup);
  CriteriaParser(reader, filter.steps_).Or(0);
  if (!reader.AtEnd()) Unreadable();
  return filter;
}

bool RecordFilter::Passes(std::span<const Variant> row) const {
  std::array<bool, kMaxStack> stack{};
  std::size_t depth = 0;
  for (const Step& step : steps_) {
    if (step.op == Op::And || step.op == Op::Or) {
      const bool right = stack[--depth];
      bool& left = stack[depth - 1];
      left = step.op == Op::And ? left && right : left || right;
    } else {
      stack[depth++] = Holds(step, row[step.column]);
    }
  }
  return stack[0];
}

RecordOrder RecordOrder::Parse(std::string_view text, const FieldLookup& lookup) {
  RecordOrder order;
  Reader reader(text, lookup);
  if (reader.AtEnd()) return order;
  do {
    const std::size_t column = reader.Field();
    const bool descending = reader.TakeWord("desc");
    if (!descending) reader.TakeWord("asc");
    order.keys_.push_back({column, descending});
  } while (reader.Take(','));
  if (!reader.AtEnd()) Unreadable();
  return order;
}

bool RecordOrder::Before(std::span<const Variant> a, std::span<const Variant> b) const {
  for (const Key& key : keys_) {
    const Variant& x = a[key.column];
    const Variant& y = b[key.column];
    Comparison c;
    if (x.IsNull() || y.IsNull()) {
      c = x.IsNull() == y.IsNull() ? Comparison::Equal : x.IsNull() ? Comparison::Less : Comparison::Greater;
    } else if (x.IsString() && y.IsString()) {
      c = FromOrdering(CompareFolded(*x.If<std::string>(), *y.If<std::string>()));
    } else {
      c = Compare(x, y);
    }
    if (c == Comparison::Equal) continue;
    return (c == Comparison::Less) != key.descending;
  }
  return false;
}

}  // namespace kelvane::host::adodb
