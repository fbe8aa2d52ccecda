#pragma once
// Arithmetic on plain numbers, Integer, Long and Double, without a variant:
// the path that nearly every sum, count and comparison of a page takes. The
// operators start with it, and the script engine works whole expressions of
// plain numbers out with it. Each step follows the operators' rules; where
// a result would be none of these three types, or an operator would raise
// (an overflow, a zero divisor), the step declines and the general operator
// decides.

#include <cmath>
#include <cstdint>
#include <limits>

#include "platform/oleaut/Operators.h"
#include "platform/oleaut/Variant.h"

namespace kelvane::oleaut {

// A plain number, or none: what a step gives when it declines.
struct PlainNumber {
  // Past None in the order of the operators' ranks: a result takes the higher.
  enum class Type : std::uint8_t { None, Integer, Long, Double };
  Type type = Type::None;
  union {
    std::int64_t whole = 0;  // Integer and Long
    double real;             // Double
  };

  explicit operator bool() const { return type != Type::None; }
  bool IsWhole() const { return type == Type::Integer || type == Type::Long; }
  double AsDouble() const { return IsWhole() ? static_cast<double>(whole) : real; }
  Variant ToVariant() const {
    switch (type) {
      case Type::Integer: return static_cast<Integer>(whole);
      case Type::Long: return static_cast<Long>(whole);
      default: break;
    }
    return real;
  }
};

// `v` as a plain number; none unless it holds an Integer, a Long or a Double.
inline PlainNumber ReadPlain(const Variant& v) {
  PlainNumber n;
  if (const auto* i = v.If<Integer>()) {
    n.type = PlainNumber::Type::Integer;
    n.whole = *i;
  } else if (const auto* l = v.If<Long>()) {
    n.type = PlainNumber::Type::Long;
    n.whole = *l;
  } else if (const auto* d = v.If<double>()) {
    n.type = PlainNumber::Type::Double;
    n.real = *d;
  }
  return n;
}

namespace plain {

inline PlainNumber::Type Higher(PlainNumber a, PlainNumber b) { return a.type > b.type ? a.type : b.type; }

// A whole result of rank `type`: an Integer one that overflows becomes a
// Long, a Long one a Double.
inline PlainNumber Whole(std::int64_t result, PlainNumber::Type type) {
  PlainNumber n;
  if (type == PlainNumber::Type::Integer && FitsIn<Integer>(result)) {
    n.type = PlainNumber::Type::Integer;
    n.whole = result;
  } else if (FitsIn<Long>(result)) {
    n.type = PlainNumber::Type::Long;
    n.whole = result;
  } else {
    n.type = PlainNumber::Type::Double;
    n.real = static_cast<double>(result);
  }
  return n;
}

// A Double result; none when it is not finite, which the operator raises
// as an overflow or gives as it is.
inline PlainNumber Real(double result) {
  PlainNumber n;
  if (std::isfinite(result)) {
    n.type = PlainNumber::Type::Double;
    n.real = result;
  }
  return n;
}

// A whole quotient or remainder in the rank of its sides; none beyond it.
inline PlainNumber Quotient(std::int64_t result, PlainNumber::Type type) {
  PlainNumber n;
  if (type == PlainNumber::Type::Integer ? FitsIn<Integer>(result) : FitsIn<Long>(result)) {
    n.type = type;
    n.whole = result;
  }
  return n;
}

}  // namespace plain

// Each step takes two plain numbers. Longs are 32 bits, so any sum,
// difference or product of two of them is exact in 64.
inline PlainNumber PlainAdd(PlainNumber a, PlainNumber b) {
  if (a.IsWhole() && b.IsWhole()) return plain::Whole(a.whole + b.whole, plain::Higher(a, b));
  return plain::Real(a.AsDouble() + b.AsDouble());
}

inline PlainNumber PlainSubtract(PlainNumber a, PlainNumber b) {
  if (a.IsWhole() && b.IsWhole()) return plain::Whole(a.whole - b.whole, plain::Higher(a, b));
  return plain::Real(a.AsDouble() - b.AsDouble());
}

inline PlainNumber PlainMultiply(PlainNumber a, PlainNumber b) {
  if (a.IsWhole() && b.IsWhole()) return plain::Whole(a.whole * b.whole, plain::Higher(a, b));
  return plain::Real(a.AsDouble() * b.AsDouble());
}

inline PlainNumber PlainDivide(PlainNumber a, PlainNumber b) {
  if (b.AsDouble() == 0.0) return {};
  return plain::Real(a.AsDouble() / b.AsDouble());
}

// \ and Mod on whole sides only: a Double side is rounded first, which the
// operator does. Both sides fit in 32 bits, and a 32-bit division is the
// quicker; the least Long divided by -1 does not fit, and its quotient is
// beyond the rank anyway.
inline PlainNumber PlainIntegerDivide(PlainNumber a, PlainNumber b) {
  if (!a.IsWhole() || !b.IsWhole() || b.whole == 0 || b.whole == -1) return {};
  return plain::Quotient(static_cast<Long>(a.whole) / static_cast<Long>(b.whole), plain::Higher(a, b));
}

inline PlainNumber PlainModulo(PlainNumber a, PlainNumber b) {
  if (!a.IsWhole() || !b.IsWhole() || b.whole == 0) return {};
  if (b.whole == -1) return plain::Quotient(0, plain::Higher(a, b));
  return plain::Quotient(static_cast<Long>(a.whole) % static_cast<Long>(b.whole), plain::Higher(a, b));
}

// The negated Integer -32768 is a Long, the negated least Long a Double.
inline PlainNumber PlainNegate(PlainNumber a) {
  if (a.IsWhole()) return plain::Whole(-a.whole, a.type);
  a.real = -a.real;
  return a;
}

// Whole numbers compare as they are, any other pair as doubles, which hold
// each exactly.
inline Comparison PlainCompare(PlainNumber a, PlainNumber b) {
  if (a.IsWhole() && b.IsWhole())
    return a.whole < b.whole ? Comparison::Less : a.whole > b.whole ? Comparison::Greater : Comparison::Equal;
  const double x = a.AsDouble();
  const double y = b.AsDouble();
  return x < y ? Comparison::Less : x > y ? Comparison::Greater : Comparison::Equal;
}

}  // namespace kelvane::oleaut
