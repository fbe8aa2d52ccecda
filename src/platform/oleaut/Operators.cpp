#include "platform/oleaut/Operators.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>
#include <string>

#include "platform/oleaut/AutomationError.h"
#include "platform/oleaut/Conversion.h"
#include "platform/oleaut/Dispatch.h"

namespace kelvane::oleaut {

namespace {

Comparison Order(double lhs, double rhs) {
  if (lhs < rhs) return Comparison::Less;
  return lhs > rhs ? Comparison::Greater : Comparison::Equal;
}

// Byte by byte, each byte unsigned.
Comparison Order(std::string_view lhs, std::string_view rhs) {
  const int order = lhs.compare(rhs);
  if (order < 0) return Comparison::Less;
  return order > 0 ? Comparison::Greater : Comparison::Equal;
}

bool IsNumber(const Variant& v) {
  switch (v.Type()) {
    case VarType::Integer:
    case VarType::Long:
    case VarType::Single:
    case VarType::Double:
    case VarType::Byte:
    case VarType::Boolean: return true;
    default: return false;
  }
}

// The order of the number types in addition: a sum takes the higher of its
// operands' ranks.
enum class Rank { Byte, Integer, Long, Single, Double };

Rank RankOf(VarType type) {
  switch (type) {
    case VarType::Byte: return Rank::Byte;
    case VarType::Integer:
    case VarType::Boolean: return Rank::Integer;
    case VarType::Long: return Rank::Long;
    case VarType::Single: return Rank::Single;
    default: return Rank::Double;
  }
}

template <class T>
bool FitsIn(double x) {
  return x >= std::numeric_limits<T>::min() && x <= std::numeric_limits<T>::max();
}

Variant AddDoubles(double lhs, double rhs) {
  const double sum = lhs + rhs;
  if (std::isinf(sum) && std::isfinite(lhs) && std::isfinite(rhs)) RaiseOverflow();
  return sum;
}

// Sums of the narrower types are exact in a double, and a double sum rounded
// to float is the float sum; each type that overflows moves up one step.
Variant AddNumbers(const Variant& lhs, const Variant& rhs) {
  Rank rank = std::max(RankOf(lhs.Type()), RankOf(rhs.Type()));
  if (rank == Rank::Single && (lhs.Type() == VarType::Long || rhs.Type() == VarType::Long))
    rank = Rank::Double;
  const double a = ToDouble(lhs);
  const double b = ToDouble(rhs);
  const double sum = a + b;
  switch (rank) {
    case Rank::Byte:
      if (FitsIn<Byte>(sum)) return static_cast<Byte>(sum);
      return static_cast<Integer>(sum);
    case Rank::Integer:
      if (FitsIn<Integer>(sum)) return static_cast<Integer>(sum);
      return static_cast<Long>(sum);
    case Rank::Long:
      if (FitsIn<Long>(sum)) return static_cast<Long>(sum);
      return sum;
    case Rank::Single: {
      const auto single = static_cast<Single>(sum);
      if (std::isinf(single) && std::isfinite(sum)) return sum;
      return single;
    }
    case Rank::Double: break;
  }
  return AddDoubles(a, b);
}

}  // namespace

Comparison Compare(const Variant& lhsOperand, const Variant& rhsOperand) {
  const Variant lhs = ValueOf(lhsOperand);
  const Variant rhs = ValueOf(rhsOperand);
  if (lhs.IsNull() || rhs.IsNull()) return Comparison::Null;
  if (lhs.IsArray() || rhs.IsArray()) RaiseRuntimeError(kTypeMismatch);
  if (lhs.IsString() || rhs.IsString()) {
    // Text beside text or Empty compares as text; a number is less than any text.
    if (IsNumber(lhs)) return Comparison::Less;
    if (IsNumber(rhs)) return Comparison::Greater;
    return Order(ToString(lhs), ToString(rhs));
  }
  return Order(ToDouble(lhs), ToDouble(rhs));
}

Comparison CompareWithText(const Variant& lhsOperand, std::string_view rhs) {
  const Variant lhs = ValueOf(lhsOperand);
  if (lhs.IsNull()) return Comparison::Null;
  return Order(ToString(lhs), rhs);
}

Comparison CompareWithNumber(const Variant& lhsOperand, double rhs) {
  const Variant lhs = ValueOf(lhsOperand);
  if (lhs.IsNull()) return Comparison::Null;
  return Order(ToDouble(lhs), rhs);
}

Variant Add(const Variant& lhsOperand, const Variant& rhsOperand) {
  const Variant lhs = ValueOf(lhsOperand);
  const Variant rhs = ValueOf(rhsOperand);
  if (lhs.IsArray() || rhs.IsArray()) RaiseRuntimeError(kTypeMismatch);
  if (lhs.IsNull() || rhs.IsNull()) return Variant::Null();
  if (lhs.IsEmpty()) return rhs.IsEmpty() ? Variant(Integer{0}) : rhs;
  if (rhs.IsEmpty()) return lhs;
  if (lhs.IsString() && rhs.IsString()) return *lhs.If<std::string>() + *rhs.If<std::string>();
  if (lhs.IsString() || rhs.IsString()) return AddDoubles(ToDouble(lhs), ToDouble(rhs));
  return AddNumbers(lhs, rhs);
}

}  // namespace kelvane::oleaut
