#include "platform/oleaut/Operators.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/oleaut/AutomationError.h"
#include "platform/oleaut/Conversion.h"
#include "platform/oleaut/DateTime.h"
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

// The order of the number types in addition: a sum takes the higher of its
// operands' ranks.
enum class Rank { Byte, Integer, Long, Single, Currency, Double };

Rank RankOf(VarType type) {
  switch (type) {
    case VarType::Byte: return Rank::Byte;
    case VarType::Integer:
    case VarType::Boolean: return Rank::Integer;
    case VarType::Long: return Rank::Long;
    case VarType::Single: return Rank::Single;
    case VarType::Currency: return Rank::Currency;
    default: return Rank::Double;
  }
}

template <class T>
bool FitsIn(double x) {
  return x >= std::numeric_limits<T>::min() && x <= std::numeric_limits<T>::max();
}

// A Double result of finite operands; 6 when it is not finite.
double Finite(double result, double lhs, double rhs) {
  if (!std::isfinite(result) && std::isfinite(lhs) && std::isfinite(rhs)) RaiseOverflow();
  return result;
}

Variant AddDoubles(double lhs, double rhs) { return Finite(lhs + rhs, lhs, rhs); }

Rank RankOfPair(const Variant& lhs, const Variant& rhs) {
  Rank rank = std::max(RankOf(lhs.Type()), RankOf(rhs.Type()));
  if (rank == Rank::Single && (lhs.Type() == VarType::Long || rhs.Type() == VarType::Long))
    rank = Rank::Double;
  return rank;
}

// Currency arithmetic on the scaled amounts, exact: sums as they are,
// products scaled back and rounded to four places, ties to even. A result
// beyond the range raises 6: Currency is not promoted.
std::int64_t CurrencySum(std::int64_t a, std::int64_t b) { return CheckedAdd(a, b); }
std::int64_t CurrencyDifference(std::int64_t a, std::int64_t b) { return CheckedSub(a, b); }
// The compilers' 128-bit integer, which holds any product of two amounts.
__extension__ using Wide = __int128;

std::int64_t CurrencyProduct(std::int64_t a, std::int64_t b) {
  const Wide product = static_cast<Wide>(a) * b;
  Wide quotient = product / Currency::kScale;
  const Wide remainder = product % Currency::kScale;
  const Wide twice = (remainder < 0 ? -remainder : remainder) * 2;
  if (twice > Currency::kScale || (twice == Currency::kScale && quotient % 2 != 0))
    quotient += product < 0 ? -1 : 1;
  if (quotient < std::numeric_limits<std::int64_t>::min() ||
      quotient > std::numeric_limits<std::int64_t>::max())
    RaiseOverflow();
  return static_cast<std::int64_t>(quotient);
}

// Results of the narrower types are exact in a double (products of two
// floats too), and a double result rounded to float is the float result;
// each type that overflows moves up one step. Currency results are worked
// out on the scaled amounts by `onCurrency`.
template <class Operation>
Variant Arithmetic(const Variant& lhs, const Variant& rhs, Operation operation,
                   std::int64_t (*onCurrency)(std::int64_t, std::int64_t)) {
  const Rank rank = RankOfPair(lhs, rhs);
  if (rank == Rank::Currency)
    return Currency{onCurrency(ToCurrency(lhs).scaled, ToCurrency(rhs).scaled)};
  const double a = ToDouble(lhs);
  const double b = ToDouble(rhs);
  const double sum = operation(a, b);
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
    case Rank::Currency:
    case Rank::Double: break;
  }
  return Finite(sum, a, b);
}

// A Single beside a Double compares in single precision, so that
// CSng(0.1) = 0.1; other numbers compare as doubles, which hold each exactly.
Comparison OrderNumbers(const Variant& lhs, const Variant& rhs) {
  const double a = ToDouble(lhs);
  const double b = ToDouble(rhs);
  const VarType types[] = {lhs.Type(), rhs.Type()};
  const bool mixed = (types[0] == VarType::Single && types[1] == VarType::Double) ||
                     (types[0] == VarType::Double && types[1] == VarType::Single);
  const auto fits = [](double x) { return std::fabs(x) <= std::numeric_limits<Single>::max(); };
  if (mixed && fits(a) && fits(b)) return Order(static_cast<Single>(a), static_cast<Single>(b));
  return Order(a, b);
}

Variant AddNumbers(const Variant& lhs, const Variant& rhs) {
  return Arithmetic(lhs, rhs, [](double a, double b) { return a + b; }, CurrencySum);
}

// A variant as an operator sees it (ValueOf), held without a copy unless
// it is an object, whose value it holds.
class ValueView {
 public:
  explicit ValueView(const Variant& v) : held_(v.IsObject() ? ValueOf(v) : Variant()), value_(v.IsObject() ? held_ : v) {}
  ValueView(const ValueView&) = delete;
  ValueView& operator=(const ValueView&) = delete;
  const Variant& operator*() const { return value_; }

 private:
  Variant held_;
  const Variant& value_;
};

// The operands of an arithmetic operator, each standing for its value; 13
// for an array. Null is left to the caller.
struct Operands {
  Operands(const Variant& lhsOperand, const Variant& rhsOperand)
      : lhsView(lhsOperand), rhsView(rhsOperand), lhs(*lhsView), rhs(*rhsView) {
    if (lhs.IsArray() || rhs.IsArray()) RaiseRuntimeError(kTypeMismatch);
  }
  bool AnyNull() const { return lhs.IsNull() || rhs.IsNull(); }

  ValueView lhsView;
  ValueView rhsView;
  const Variant& lhs;
  const Variant& rhs;
};

// Empty and text as numbers: Empty is Integer 0, text its Double (made in
// `holder`); anything else is itself.
const Variant& AsNumber(const Variant& v, Variant& holder) {
  if (v.IsEmpty()) return holder = Integer{0};
  if (v.IsString()) return holder = ToDouble(v);
  return v;
}

bool IsDate(const Variant& v) { return v.Type() == VarType::Date; }

// The whole-number operand of \ and Mod, and whether it is Integer-sized.
struct WholeNumber {
  Long value;
  bool narrow;
};

WholeNumber WholeOf(const Variant& v) {
  switch (v.Type()) {
    case VarType::Empty:
    case VarType::Byte:
    case VarType::Integer:
    case VarType::Boolean: return {ToLong(v), true};
    default: return {ToLong(v), false};
  }
}

template <class Operation>
Variant WholeArithmetic(const Variant& lhsOperand, const Variant& rhsOperand, Operation operation) {
  const Operands operands(lhsOperand, rhsOperand);
  if (operands.AnyNull()) return Variant::Null();
  const WholeNumber a = WholeOf(operands.lhs);
  const WholeNumber b = WholeOf(operands.rhs);
  if (b.value == 0) RaiseRuntimeError(kDivisionByZero);
  const std::int64_t result = operation(std::int64_t{a.value}, std::int64_t{b.value});
  if (a.narrow && b.narrow && operands.lhs.Type() == VarType::Byte &&
      operands.rhs.Type() == VarType::Byte)
    return static_cast<Byte>(result);
  if (a.narrow && b.narrow) return CheckedNarrow<Integer>(result);
  return CheckedNarrow<Long>(result);
}

// The kinds of bitwise operand, in the order a result takes the wider.
enum class BitKind { Boolean, Byte, Integer, Long };

struct BitOperand {
  Long value;
  BitKind kind;
};

BitOperand BitOperandOf(const Variant& v) {
  switch (v.Type()) {
    case VarType::Boolean: return {static_cast<Integer>(*v.If<VariantBool>()), BitKind::Boolean};
    case VarType::Byte: return {*v.If<Byte>(), BitKind::Byte};
    case VarType::Empty: return {0, BitKind::Integer};
    case VarType::Integer: return {*v.If<Integer>(), BitKind::Integer};
    case VarType::String: {
      const std::string& text = *v.If<std::string>();
      if (!ParseNumber(text, CurrentNumberFormat()))
        return {static_cast<Integer>(ToBoolean(v)), BitKind::Boolean};
      return {ToLong(v), BitKind::Long};
    }
    default: return {ToLong(v), BitKind::Long};
  }
}

Variant BitResult(Long value, BitKind kind) {
  switch (kind) {
    case BitKind::Boolean: return ToVariantBool(value != 0);
    case BitKind::Byte: return static_cast<Byte>(value);
    case BitKind::Integer: return static_cast<Integer>(value);
    case BitKind::Long: break;
  }
  return value;
}

// The kind of a result of two sides: Booleans stay Boolean, Bytes Byte;
// a Boolean beside a Byte or Integer widens to Integer.
BitKind Wider(BitKind a, BitKind b) {
  if (a == b) return a;
  return std::max({a, b, BitKind::Integer});
}

// One bitwise operator. `decides(known)` tells whether a known side alone
// gives the result when the other side is Null (and which result).
template <class Operation, class Decide>
Variant Bitwise(const Variant& lhsOperand, const Variant& rhsOperand, Operation operation,
                Decide decides) {
  const Operands operands(lhsOperand, rhsOperand);
  if (operands.lhs.IsNull() && operands.rhs.IsNull()) return Variant::Null();
  if (operands.AnyNull()) {
    const bool nullOnLeft = operands.lhs.IsNull();
    const BitOperand known = BitOperandOf(nullOnLeft ? operands.rhs : operands.lhs);
    if (const auto result = decides(known.value, nullOnLeft)) return BitResult(*result, known.kind);
    return Variant::Null();
  }
  const BitOperand a = BitOperandOf(operands.lhs);
  const BitOperand b = BitOperandOf(operands.rhs);
  return BitResult(operation(a.value, b.value), Wider(a.kind, b.kind));
}

std::optional<Long> NeverDecides(Long, bool) { return std::nullopt; }

}  // namespace

bool HoldsNumber(const Variant& v) {
  switch (v.Type()) {
    case VarType::Integer:
    case VarType::Long:
    case VarType::Single:
    case VarType::Double:
    case VarType::Byte:
    case VarType::Currency:
    case VarType::Date:
    case VarType::Boolean: return true;
    default: return false;
  }
}

Comparison Compare(const Variant& lhsOperand, const Variant& rhsOperand) {
  const ValueView lhsView(lhsOperand);
  const ValueView rhsView(rhsOperand);
  const Variant& lhs = *lhsView;
  const Variant& rhs = *rhsView;
  if (lhs.IsNull() || rhs.IsNull()) return Comparison::Null;
  if (IsByteArray(lhs) && IsByteArray(rhs))
    return Order(BytesOf(**lhs.If<ArrayRef>()), BytesOf(**rhs.If<ArrayRef>()));
  if (lhs.IsArray() || rhs.IsArray()) RaiseRuntimeError(kTypeMismatch);
  if (lhs.IsString() || rhs.IsString()) {
    // Text beside text or Empty compares as text; a number is less than any text.
    if (HoldsNumber(lhs)) return Comparison::Less;
    if (HoldsNumber(rhs)) return Comparison::Greater;
    return Order(ToString(lhs), ToString(rhs));
  }
  return OrderNumbers(lhs, rhs);
}

Comparison CompareWithText(const Variant& lhsOperand, std::string_view rhs) {
  const ValueView view(lhsOperand);
  const Variant& lhs = *view;
  if (lhs.IsNull()) return Comparison::Null;
  return Order(ToString(lhs), rhs);
}

Comparison CompareWithNumber(const Variant& lhsOperand, const Variant& rhs) {
  const ValueView view(lhsOperand);
  const Variant& lhs = *view;
  if (lhs.IsNull()) return Comparison::Null;
  if (lhs.IsString()) return Order(ToDouble(lhs), ToDouble(rhs));
  return OrderNumbers(lhs, rhs);
}

Variant Add(const Variant& lhsOperand, const Variant& rhsOperand) {
  const Operands operands(lhsOperand, rhsOperand);
  const Variant& lhs = operands.lhs;
  const Variant& rhs = operands.rhs;
  if (lhs.IsNull() || rhs.IsNull()) return Variant::Null();
  if (lhs.IsEmpty()) return rhs.IsEmpty() ? Variant(Integer{0}) : rhs;
  if (rhs.IsEmpty()) return lhs;
  if (lhs.IsString() && rhs.IsString()) return *lhs.If<std::string>() + *rhs.If<std::string>();
  if (lhs.IsString() || rhs.IsString()) return AddDoubles(ToDouble(lhs), ToDouble(rhs));
  if (IsDate(lhs) || IsDate(rhs)) {
    const double a = ToDouble(lhs);
    const double b = ToDouble(rhs);
    return Date{Finite(a + b, a, b)};
  }
  return AddNumbers(lhs, rhs);
}

Variant Subtract(const Variant& lhsOperand, const Variant& rhsOperand) {
  const Operands operands(lhsOperand, rhsOperand);
  if (operands.AnyNull()) return Variant::Null();
  Variant lhsHolder;
  Variant rhsHolder;
  const Variant& lhs = AsNumber(operands.lhs, lhsHolder);
  const Variant& rhs = AsNumber(operands.rhs, rhsHolder);
  const auto difference = [](double a, double b) { return a - b; };
  if (IsDate(lhs) && IsDate(rhs)) return Finite(ToDouble(lhs) - ToDouble(rhs), 0, 0);
  if (IsDate(lhs) || IsDate(rhs)) return Date{Finite(ToDouble(lhs) - ToDouble(rhs), 0, 0)};
  return Arithmetic(lhs, rhs, difference, CurrencyDifference);
}

Variant Multiply(const Variant& lhsOperand, const Variant& rhsOperand) {
  const Operands operands(lhsOperand, rhsOperand);
  if (operands.AnyNull()) return Variant::Null();
  Variant lhsHolder;
  Variant rhsHolder;
  return Arithmetic(AsNumber(operands.lhs, lhsHolder), AsNumber(operands.rhs, rhsHolder),
                    [](double a, double b) { return a * b; }, CurrencyProduct);
}

Variant Divide(const Variant& lhsOperand, const Variant& rhsOperand) {
  const Operands operands(lhsOperand, rhsOperand);
  if (operands.AnyNull()) return Variant::Null();
  Variant lhsHolder;
  Variant rhsHolder;
  const Variant& lhs = AsNumber(operands.lhs, lhsHolder);
  const Variant& rhs = AsNumber(operands.rhs, rhsHolder);
  const double a = ToDouble(lhs);
  const double b = ToDouble(rhs);
  if (b == 0.0) RaiseRuntimeError(kDivisionByZero);
  const double quotient = Finite(a / b, a, b);
  if (RankOfPair(lhs, rhs) == Rank::Single) return ToSinglePrecision(quotient);
  return quotient;
}

Variant IntegerDivide(const Variant& lhs, const Variant& rhs) {
  return WholeArithmetic(lhs, rhs, [](std::int64_t a, std::int64_t b) { return a / b; });
}

Variant Modulo(const Variant& lhs, const Variant& rhs) {
  return WholeArithmetic(lhs, rhs, [](std::int64_t a, std::int64_t b) { return a % b; });
}

Variant Power(const Variant& lhsOperand, const Variant& rhsOperand) {
  const Operands operands(lhsOperand, rhsOperand);
  if (operands.AnyNull()) return Variant::Null();
  const double a = ToDouble(operands.lhs);
  const double b = ToDouble(operands.rhs);
  const double power = std::pow(a, b);
  if (std::isnan(power) && !std::isnan(a) && !std::isnan(b)) RaiseRuntimeError(kInvalidProcedureCall);
  return Finite(power, a, b);
}

Variant Negate(const Variant& operandValue) {
  const Variant operand = ValueOf(operandValue);
  switch (operand.Type()) {
    case VarType::Null: return operand;
    case VarType::Empty: return Integer{0};
    case VarType::Boolean:
    case VarType::Byte:
    case VarType::Integer: {
      const Long negated = -static_cast<Long>(ToDouble(operand));
      if (FitsIn<Integer>(negated)) return static_cast<Integer>(negated);
      return negated;
    }
    case VarType::Long: {
      const Long value = *operand.If<Long>();
      if (value == std::numeric_limits<Long>::min()) return -static_cast<double>(value);
      return -value;
    }
    case VarType::Single: return -*operand.If<Single>();
    case VarType::Currency: return Currency{CheckedSub<std::int64_t>(0, operand.If<Currency>()->scaled)};
    case VarType::Date: return Date{-operand.If<Date>()->days};
    default: return -ToDouble(operand);
  }
}

namespace {

// The bytes a side adds to a byte string: none for Null and Empty, a byte
// array's own, text's UTF-16 code units.
std::string ByteStringPart(const Variant& v) {
  if (v.IsNull() || v.IsEmpty()) return {};
  if (const auto* array = v.If<ArrayRef>(); array != nullptr && IsByteArray(v))
    return std::string(BytesOf(**array));
  return ToUtf16Bytes(ToString(v));
}

Variant JoinByteStrings(const Variant& lhs, const Variant& rhs) {
  const std::string bytes = ByteStringPart(lhs) + ByteStringPart(rhs);
  return Variant::ByteArray(std::vector<Byte>(bytes.begin(), bytes.end()), 0);
}

}  // namespace

Variant Concatenate(const Variant& lhsOperand, const Variant& rhsOperand) {
  const ValueView lhsView(lhsOperand);
  const ValueView rhsView(rhsOperand);
  const Variant& lhs = *lhsView;
  const Variant& rhs = *rhsView;
  if (lhs.IsNull() && rhs.IsNull()) return Variant::Null();
  if (IsByteArray(lhs) || IsByteArray(rhs)) return JoinByteStrings(lhs, rhs);
  if (lhs.IsArray() || rhs.IsArray()) RaiseRuntimeError(kTypeMismatch);
  std::string text = lhs.IsNull() ? std::string() : ToString(lhs);
  if (!rhs.IsNull()) text += ToString(rhs);
  return text;
}

Variant Not(const Variant& operandValue) {
  const Variant operand = ValueOf(operandValue);
  if (operand.IsNull()) return operand;
  if (operand.IsArray()) RaiseRuntimeError(kTypeMismatch);
  const BitOperand bits = BitOperandOf(operand);
  return BitResult(~bits.value, bits.kind);
}

Variant And(const Variant& lhs, const Variant& rhs) {
  return Bitwise(lhs, rhs, [](Long a, Long b) { return a & b; },
                 [](Long known, bool) -> std::optional<Long> {
                   if (known == 0) return 0;
                   return std::nullopt;
                 });
}

Variant Or(const Variant& lhs, const Variant& rhs) {
  return Bitwise(lhs, rhs, [](Long a, Long b) { return a | b; },
                 [](Long known, bool) -> std::optional<Long> {
                   if (known == -1) return -1;
                   return std::nullopt;
                 });
}

Variant Xor(const Variant& lhs, const Variant& rhs) {
  return Bitwise(lhs, rhs, [](Long a, Long b) { return a ^ b; }, NeverDecides);
}

Variant Eqv(const Variant& lhs, const Variant& rhs) {
  return Bitwise(lhs, rhs, [](Long a, Long b) { return ~(a ^ b); }, NeverDecides);
}

Variant Imp(const Variant& lhs, const Variant& rhs) {
  return Bitwise(lhs, rhs, [](Long a, Long b) { return ~a | b; },
                 [](Long known, bool nullOnLeft) -> std::optional<Long> {
                   if ((nullOnLeft && known == -1) || (!nullOnLeft && known == 0)) return -1;
                   return std::nullopt;
                 });
}

}  // namespace kelvane::oleaut
