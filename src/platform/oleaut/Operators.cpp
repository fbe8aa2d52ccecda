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
#include "platform/oleaut/PlainNumbers.h"

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

// The order of the number types in arithmetic: a result takes the higher of
// its operands' ranks. None marks a side that is no plain number (Empty,
// Null, text, a Date, an object, an array), which an operator first reads as
// one.
enum class Rank { Byte, Integer, Long, Single, Currency, Double, None };

// The helpers of the number-pair path, which every arithmetic operator and
// comparison takes, are inlined into it.
[[gnu::always_inline]] inline Rank RankOf(VarType type) {
  switch (type) {
    case VarType::Byte: return Rank::Byte;
    case VarType::Integer:
    case VarType::Boolean: return Rank::Integer;
    case VarType::Long: return Rank::Long;
    case VarType::Single: return Rank::Single;
    case VarType::Currency: return Rank::Currency;
    case VarType::Double: return Rank::Double;
    default: return Rank::None;
  }
}

// The rank of a result of two sides (Single beside Long is Double); None
// unless both are plain numbers.
[[gnu::always_inline]] inline Rank RankOfPair(const Variant& lhs, const Variant& rhs) {
  const Rank a = RankOf(lhs.Type());
  const Rank b = RankOf(rhs.Type());
  const Rank rank = std::max(a, b);
  if (rank == Rank::Single && (a == Rank::Long || b == Rank::Long)) return Rank::Double;
  return rank;
}

// A Double result of finite operands; 6 when it is not finite.
double Finite(double result, double lhs, double rhs) {
  if (!std::isfinite(result) && std::isfinite(lhs) && std::isfinite(rhs)) RaiseOverflow();
  return result;
}

Variant AddDoubles(double lhs, double rhs) { return Finite(lhs + rhs, lhs, rhs); }

// The value of a side of rank Byte, Integer or Long (a Boolean is -1 or 0).
[[gnu::always_inline]] inline std::int64_t WholeValue(const Variant& v) {
  if (const auto* i = v.If<Integer>()) return *i;
  if (const auto* l = v.If<Long>()) return *l;
  if (const auto* b = v.If<Byte>()) return *b;
  return static_cast<Integer>(*v.If<VariantBool>());
}

// The plain type of the whole rank `rank`, Byte aside.
[[gnu::always_inline]] inline PlainNumber::Type PlainType(Rank rank) {
  return rank <= Rank::Integer ? PlainNumber::Type::Integer : PlainNumber::Type::Long;
}

// A whole result in its rank (Byte, Integer or Long); one beyond the rank
// moves up a step at a time, Byte to Integer to Long to Double, as plain
// numbers do.
[[gnu::always_inline]] inline Variant WholeResult(std::int64_t result, Rank rank) {
  if (rank == Rank::Byte && FitsIn<Byte>(result)) return static_cast<Byte>(result);
  return plain::Whole(result, PlainType(rank)).ToVariant();
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

// The operations, on whole numbers and on doubles alike.
constexpr auto kSum = [](auto a, auto b) { return a + b; };
constexpr auto kDifference = [](auto a, auto b) { return a - b; };
constexpr auto kProduct = [](auto a, auto b) { return a * b; };

// Two numbers of rank `rank` (None: read as Doubles) combined. Whole ranks
// are worked out exactly in 64 bits, which hold any sum, difference or
// product of two Longs. A Single result is worked out in double, exact for
// the narrower types and for products of two floats, and rounded to float
// after; it overflows to Double. A Currency result is worked out on the
// scaled amounts by `onCurrency`.
template <class Operation>
[[gnu::always_inline]] inline Variant Arithmetic(const Variant& lhs, const Variant& rhs, Rank rank, Operation operation,
                   std::int64_t (*onCurrency)(std::int64_t, std::int64_t)) {
  if (rank <= Rank::Long) return WholeResult(operation(WholeValue(lhs), WholeValue(rhs)), rank);
  if (rank == Rank::Currency)
    return Currency{onCurrency(ToCurrency(lhs).scaled, ToCurrency(rhs).scaled)};
  const double a = ToDouble(lhs);
  const double b = ToDouble(rhs);
  const double result = operation(a, b);
  if (rank == Rank::Single) {
    const auto single = static_cast<Single>(result);
    if (std::isinf(single) && std::isfinite(result)) return result;
    return single;
  }
  return Finite(result, a, b);
}

// `step` on both sides when both are plain numbers: the path the operators
// try first. None when either is not, or the step declines.
template <class Step>
[[gnu::always_inline]] inline PlainNumber OnPlain(const Variant& lhs, const Variant& rhs, Step step) {
  const PlainNumber a = ReadPlain(lhs);
  if (!a) return {};
  const PlainNumber b = ReadPlain(rhs);
  if (!b) return {};
  return step(a, b);
}

// A Single beside a Double compares in single precision, so that
// CSng(0.1) = 0.1; other numbers compare as doubles, which hold each exactly.
Comparison OrderNumbers(const Variant& lhs, const Variant& rhs) {
  if (const PlainNumber x = ReadPlain(lhs), y = ReadPlain(rhs); x && y) return PlainCompare(x, y);
  const double a = ToDouble(lhs);
  const double b = ToDouble(rhs);
  const VarType types[] = {lhs.Type(), rhs.Type()};
  const bool mixed = (types[0] == VarType::Single && types[1] == VarType::Double) ||
                     (types[0] == VarType::Double && types[1] == VarType::Single);
  const auto fits = [](double x) { return std::fabs(x) <= std::numeric_limits<Single>::max(); };
  if (mixed && fits(a) && fits(b)) return Order(static_cast<Single>(a), static_cast<Single>(b));
  return Order(a, b);
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

// Runs `numbers(lhs, rhs, rank)` on both sides read as numbers (an object
// as its value, Empty as 0, text as its Double); at once when both are plain
// numbers, as they mostly are. Null on either side gives Null.
template <class Numbers>
Variant OnNumbers(const Variant& lhsOperand, const Variant& rhsOperand, Numbers numbers) {
  if (const Rank rank = RankOfPair(lhsOperand, rhsOperand); rank != Rank::None)
    return numbers(lhsOperand, rhsOperand, rank);
  const Operands operands(lhsOperand, rhsOperand);
  if (operands.AnyNull()) return Variant::Null();
  Variant lhsHolder;
  Variant rhsHolder;
  const Variant& lhs = AsNumber(operands.lhs, lhsHolder);
  const Variant& rhs = AsNumber(operands.rhs, rhsHolder);
  return numbers(lhs, rhs, RankOfPair(lhs, rhs));
}

// A whole quotient or remainder of rank Byte, Integer or Long; 11 for a zero
// divisor, 6 for a result beyond the rank.
template <class Operation>
Variant WholeQuotient(std::int64_t a, std::int64_t b, Rank rank, Operation operation) {
  if (b == 0) RaiseRuntimeError(kDivisionByZero);
  const std::int64_t result = operation(a, b);
  if (rank == Rank::Byte) return static_cast<Byte>(result);
  if (const PlainNumber quotient = plain::Quotient(result, PlainType(rank))) return quotient.ToVariant();
  RaiseOverflow();
}

// \ and Mod: sides of the whole ranks as they are, in their rank; any other
// rounded to a Long, ties to even, the result a Long.
template <class Operation>
Variant WholeArithmetic(const Variant& lhsOperand, const Variant& rhsOperand, Operation operation) {
  return OnNumbers(lhsOperand, rhsOperand, [operation](const Variant& lhs, const Variant& rhs, Rank rank) {
    if (rank <= Rank::Long) return WholeQuotient(WholeValue(lhs), WholeValue(rhs), rank, operation);
    return WholeQuotient(ToLong(lhs), ToLong(rhs), Rank::Long, operation);
  });
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
  if (RankOfPair(lhsOperand, rhsOperand) != Rank::None) return OrderNumbers(lhsOperand, rhsOperand);
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
  if (RankOfPair(lhsOperand, rhs) != Rank::None) return OrderNumbers(lhsOperand, rhs);
  const ValueView view(lhsOperand);
  const Variant& lhs = *view;
  if (lhs.IsNull()) return Comparison::Null;
  if (lhs.IsString()) return Order(ToDouble(lhs), ToDouble(rhs));
  return OrderNumbers(lhs, rhs);
}

Variant Add(const Variant& lhsOperand, const Variant& rhsOperand) {
  if (const PlainNumber r = OnPlain(lhsOperand, rhsOperand, PlainAdd)) return r.ToVariant();
  if (const Rank rank = RankOfPair(lhsOperand, rhsOperand); rank != Rank::None)
    return Arithmetic(lhsOperand, rhsOperand, rank, kSum, CurrencySum);
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
  return Arithmetic(lhs, rhs, RankOfPair(lhs, rhs), kSum, CurrencySum);
}

Variant Subtract(const Variant& lhs, const Variant& rhs) {
  if (const PlainNumber r = OnPlain(lhs, rhs, PlainSubtract)) return r.ToVariant();
  return OnNumbers(lhs, rhs, [](const Variant& a, const Variant& b, Rank rank) -> Variant {
    if (IsDate(a) && IsDate(b)) return Finite(ToDouble(a) - ToDouble(b), 0, 0);
    if (IsDate(a) || IsDate(b)) return Date{Finite(ToDouble(a) - ToDouble(b), 0, 0)};
    return Arithmetic(a, b, rank, kDifference, CurrencyDifference);
  });
}

Variant Multiply(const Variant& lhs, const Variant& rhs) {
  if (const PlainNumber r = OnPlain(lhs, rhs, PlainMultiply)) return r.ToVariant();
  return OnNumbers(lhs, rhs, [](const Variant& a, const Variant& b, Rank rank) {
    return Arithmetic(a, b, rank, kProduct, CurrencyProduct);
  });
}

Variant Divide(const Variant& lhs, const Variant& rhs) {
  if (const PlainNumber r = OnPlain(lhs, rhs, PlainDivide)) return r.ToVariant();
  return OnNumbers(lhs, rhs, [](const Variant& dividend, const Variant& divisor, Rank rank) -> Variant {
    const double a = ToDouble(dividend);
    const double b = ToDouble(divisor);
    if (b == 0.0) RaiseRuntimeError(kDivisionByZero);
    const double quotient = Finite(a / b, a, b);
    if (rank == Rank::Single) return ToSinglePrecision(quotient);
    return quotient;
  });
}

Variant IntegerDivide(const Variant& lhs, const Variant& rhs) {
  if (const PlainNumber r = OnPlain(lhs, rhs, PlainIntegerDivide)) return r.ToVariant();
  return WholeArithmetic(lhs, rhs, [](std::int64_t a, std::int64_t b) { return a / b; });
}

Variant Modulo(const Variant& lhs, const Variant& rhs) {
  if (const PlainNumber r = OnPlain(lhs, rhs, PlainModulo)) return r.ToVariant();
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
  AppendJoinedText(text, rhs);
  return text;
}

bool AppendJoinedText(std::string& text, const Variant& piece) {
  if (const auto* pieceText = piece.If<std::string>()) {
    text += *pieceText;
    return true;
  }
  if (piece.IsObject() || piece.IsArray()) return false;
  if (!piece.IsNull()) text += ToString(piece);
  return true;
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
