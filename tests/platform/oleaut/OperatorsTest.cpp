#include "platform/oleaut/Operators.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <limits>
#include <memory>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "platform/oleaut/AutomationError.h"
#include "platform/oleaut/Conversion.h"
#include "platform/oleaut/Dispatch.h"
#include "support/Automation.h"

namespace kelvane::oleaut {

namespace {

constexpr Integer I(int v) { return static_cast<Integer>(v); }
constexpr Byte B(int v) { return static_cast<Byte>(v); }
constexpr auto kTrue = VariantBool::True;
constexpr auto kFalse = VariantBool::False;
const Variant kNull = Variant::Null();
const Variant kEmpty;
constexpr Currency Cy(std::int64_t scaled) { return Currency{scaled}; }


using enum Comparison;
using Comparer = Comparison (*)(const Variant&, const Variant&);
// The typed right-hand sides: a text or a number, held in the variant.
Comparison WithText(const Variant& lhs, const Variant& rhs) {
  return CompareWithText(lhs, *rhs.If<std::string>());
}
Comparison WithNumber(const Variant& lhs, const Variant& rhs) {
  return CompareWithNumber(lhs, rhs);
}

struct CompareCase {
  Comparer compare;
  Variant lhs;
  Variant rhs;
  Comparison expected;
};

class CompareTest : public testing::TestWithParam<CompareCase> {};

TEST_P(CompareTest, OrdersByTheStaticTypes) {
  const auto& [compare, lhs, rhs, expected] = GetParam();
  EXPECT_EQ(compare(lhs, rhs), expected);
}

INSTANTIATE_TEST_SUITE_P(Table, CompareTest, testing::ValuesIn(std::vector<CompareCase>{
    {Compare, kNull, I(1), Null}, {Compare, "a", kNull, Null}, {Compare, kNull, kNull, Null},
    {Compare, kEmpty, kEmpty, Equal}, {Compare, kEmpty, I(0), Equal}, {Compare, kEmpty, I(1), Less},
    {Compare, kEmpty, -1.0, Greater}, {Compare, kEmpty, "", Equal}, {Compare, "a", kEmpty, Greater},
    {Compare, I(2), 2.0, Equal}, {Compare, I(2), Long{3}, Less}, {Compare, B(255), I(-1), Greater},
    {Compare, kTrue, I(-1), Equal}, {Compare, kFalse, 0.0f, Equal}, {Compare, 0.1, 0.1f, Equal},
    {Compare, 0.1f, 0.10000000001, Equal}, {Compare, 0.1f, Long{1}, Less}, {Compare, 1e300, 1.0f, Greater},
    {Compare, Cy(1000), 0.1, Equal}, {Compare, Cy(1), I(0), Greater}, {Compare, Cy(1), "", Less},
    {Compare, Variant::ByteArray({1, 2}, 0), Variant::ByteArray({1, 3}, 0), Less},
    {Compare, Variant::ByteArray({1}, 0), Variant::ByteArray({1}, 1), Equal},
    {Compare, "a", "b", Less}, {Compare, "B", "a", Less}, {Compare, "abc", "ab", Greater},
    {Compare, "\xC3\xA9", "z", Greater}, {Compare, "10", "9", Less}, {Compare, I(1), "1", Less},
    {Compare, "0", I(5), Greater}, {Compare, 1e300, "", Less}, {Compare, Valued(I(3)), 3.0, Equal},
    {Compare, Valued(kNull), I(3), Null}, {WithText, kNull, "", Null},
    {WithText, I(0), "", Greater}, {WithText, kEmpty, "", Equal}, {WithText, I(10), "9", Less},
    {WithText, 2.5, "2.5", Equal}, {WithText, 0.1f, "0.1", Equal}, {WithText, kTrue, "True", Equal},
    {WithText, "abc", "abd", Less}, {WithText, I(1), "01", Greater},
    {WithText, Valued("b"), "a", Greater}, {WithNumber, kNull, 0.0, Null},
    {WithNumber, "0", 0.0, Equal}, {WithNumber, kEmpty, 0.0, Equal},
    {WithNumber, "10", 9.0, Greater}, {WithNumber, " 1,000 ", 1000.0, Equal},
    {WithNumber, "&HFFFF", -1.0, Equal}, {WithNumber, kTrue, -1.0, Equal},
    {WithNumber, 0.1f, 0.1, Equal}, {WithNumber, 1e-6, 1e-6f, Equal},
    {WithNumber, I(-3), -2.0, Less}}));

TEST(Compare, NumberPairsOrderAlikeForAnObjectsValue) {
  const struct {
    Variant lhs, rhs;
    Comparison expected;
  } cases[] = {{I(2), Long{3}, Less}, {Long{5}, 5.0, Equal}, {0.1f, 0.1, Equal}, {Long{-1}, B(255), Less},
               {kTrue, I(-1), Equal}, {Long{40000}, I(-32768), Greater}, {2.5, I(2), Greater}};
  for (const auto& c : cases) {
    for (const Comparer compare : {Compare, WithNumber}) {
      EXPECT_EQ(compare(c.lhs, c.rhs), c.expected) << testing::PrintToString(c.lhs);
      EXPECT_EQ(compare(Valued(c.lhs), c.rhs), c.expected) << testing::PrintToString(c.lhs);
    }
  }
}

TEST(Compare, RaisesForOperandsWithoutAValue) {
  EXPECT_EQ(ErrorOf([] { CompareWithNumber("abc", 0); }), kTypeMismatch);
  EXPECT_EQ(ErrorOf([] { Compare(Variant::ByteArray({1}, 0), I(1)); }), kTypeMismatch);
  EXPECT_EQ(ErrorOf([] { CompareWithText(Variant::ByteArray({1}, 0), ""); }), kTypeMismatch);
  EXPECT_EQ(ErrorOf([] { Compare(Variant::Nothing(), I(1)); }), kObjectNotSet);
  EXPECT_EQ(ErrorOf([] { Compare(ObjectRef(std::make_shared<IUnknown>()), I(1)); }), kTypeMismatch);
}

struct AddCase {
  Variant lhs;
  Variant rhs;
  Variant expected;
  std::int32_t error = 0;  // the error expected instead of a sum
};

class AddTest : public testing::TestWithParam<AddCase> {};

TEST_P(AddTest, AddsInTheWiderType) {
  const auto& [lhs, rhs, expected, error] = GetParam();
  if (error != 0) EXPECT_EQ(ErrorOf([&] { Add(lhs, rhs); }), error);
  else EXPECT_EQ(Add(lhs, rhs), expected);
}

INSTANTIATE_TEST_SUITE_P(Table, AddTest, testing::ValuesIn(std::vector<AddCase>{
    {kEmpty, I(2), I(2)}, {"100", I(2), 102.0}, {kNull, I(2), kNull}, {I(2), kNull, kNull},
    {kNull, "a", kNull}, {kEmpty, kEmpty, I(0)}, {kEmpty, kTrue, kTrue}, {B(7), kEmpty, B(7)},
    {kEmpty, "x", "x"}, {"a", "b", "ab"}, {"", kEmpty, ""}, {I(1), "2.5", 3.5}, {"1", kTrue, 0.0},
    {"abc", I(2), {}, kTypeMismatch}, {"1e400", I(1), {}, kOverflow}, {I(32765), I(2), I(32767)},
    {I(32767), I(2), Long{32769}}, {I(-32768), I(-1), Long{-32769}}, {kTrue, kTrue, I(-2)},
    {kTrue, B(1), I(0)}, {B(200), B(55), B(255)}, {B(200), B(56), I(256)}, {B(1), I(1), I(2)},
    {I(1), Long{1}, Long{2}}, {Long{2147483647}, Long{-1}, Long{2147483646}},
    {Long{2147483647}, Long{1}, 2147483648.0}, {Long{-2147483647 - 1}, I(-1), -2147483649.0},
    {1.5f, I(1), 2.5f}, {0.1f, 0.2f, 0.1f + 0.2f}, {B(1), 0.5f, 1.5f}, {Long{1}, 0.5f, 1.5},
    {FLT_MAX, FLT_MAX, 2.0 * FLT_MAX}, {0.5f, 0.25, 0.75}, {I(1), 0.5, 1.5},
    {1e308, 1e308, {}, kOverflow}, {Valued(I(2)), I(3), I(5)}, {Valued(kNull), I(3), kNull},
    {Variant::Nothing(), I(1), {}, kObjectNotSet},
    {Variant::ByteArray({1}, 0), I(1), {}, kTypeMismatch}, {Cy(10000), I(1), Cy(20000)},
    {Cy(1), Long{1}, Cy(10001)}, {Cy(1), 1.5f, Cy(15001)}, {Cy(5000), 0.25, 0.75}, {kTrue, Cy(1), Cy(-9999)},
    {Cy(5000), "1", 1.5}, {Cy(INT64_MAX), Cy(1), {}, kOverflow}, {Date{1.0}, Cy(10000), Date{2.0}}}));

using Binary = Variant (*)(const Variant&, const Variant&);

struct OperatorCase {
  Binary op;
  Variant lhs;
  Variant rhs;
  Variant expected;
  std::int32_t error = 0;
};

class OperatorTest : public testing::TestWithParam<OperatorCase> {};

TEST_P(OperatorTest, GivesTheRuntimesResult) {
  const auto& [op, lhs, rhs, expected, error] = GetParam();
  if (error != 0) EXPECT_EQ(ErrorOf([&] { op(lhs, rhs); }), error);
  else EXPECT_EQ(op(lhs, rhs), expected);
}

INSTANTIATE_TEST_SUITE_P(Arithmetic, OperatorTest, testing::ValuesIn(std::vector<OperatorCase>{
    {Subtract, I(5), I(7), I(-2)}, {Subtract, I(-32768), I(1), Long{-32769}},
    {Subtract, kEmpty, kEmpty, I(0)}, {Subtract, "5", I(2), 3.0}, {Subtract, kNull, I(1), kNull},
    {Subtract, "a", I(1), {}, kTypeMismatch}, {Subtract, Date{10.5}, Date{2.0}, 8.5},
    {Subtract, Date{10.5}, I(2), Date{8.5}}, {Subtract, B(0), B(1), I(-1)},
    {Multiply, I(200), I(200), Long{40000}}, {Multiply, Long{65536}, Long{65536}, 4294967296.0},
    {Multiply, kTrue, I(3), I(-3)}, {Multiply, 1.5f, I(2), 3.0f}, {Multiply, kEmpty, I(4), I(0)},
    {Multiply, 1e200, 1e200, {}, kOverflow}, {Multiply, I(2), kNull, kNull},
    {Multiply, Cy(1), Cy(5000), Cy(0)}, {Multiply, Cy(3), Cy(5000), Cy(2)}, {Multiply, Cy(-3), Cy(5000), Cy(-2)},
    {Multiply, Cy(12345), I(3), Cy(37035)}, {Multiply, Cy(INT64_MAX), I(2), {}, kOverflow},
    {Subtract, Cy(1), Cy(3), Cy(-2)}, {Divide, Cy(10000), I(4), 0.25}, {IntegerDivide, Cy(75000), I(2), Long{4}},
    {Divide, I(1), I(2), 0.5}, {Divide, I(1), I(0), {}, kDivisionByZero},
    {Divide, 1.0f, 4.0f, 0.25f}, {Divide, Long{1}, 4.0f, 0.25}, {Divide, kNull, I(0), kNull},
    {Divide, kEmpty, I(0), {}, kDivisionByZero},
    {IntegerDivide, 7.5, I(2), Long{4}}, {IntegerDivide, 6.5, I(2), Long{3}},
    {IntegerDivide, I(-7), I(2), I(-3)}, {IntegerDivide, Long{100000}, I(3), Long{33333}},
    {IntegerDivide, I(1), 0.4, {}, kDivisionByZero}, {IntegerDivide, 3e10, I(1), {}, kOverflow},
    {IntegerDivide, B(9), B(2), B(4)}, {IntegerDivide, "9", I(2), Long{4}},
    {Modulo, I(7), I(3), I(1)}, {Modulo, I(-7), I(3), I(-1)}, {Modulo, 7.5, I(3), Long{2}},
    {Modulo, 5.5, 2.5, Long{0}}, {Modulo, I(1), I(0), {}, kDivisionByZero},
    {Modulo, kNull, I(0), kNull}, {Power, I(2), I(10), 1024.0}, {Power, I(-8), 1.0 / 3, {}, 5},
    {Power, I(10), I(400), {}, kOverflow}, {Power, kNull, I(2), kNull},
    {Concatenate, "a", I(1), "a1"}, {Concatenate, kNull, "b", "b"}, {Concatenate, kNull, kNull, kNull},
    {Concatenate, kEmpty, kTrue, "True"}, {Concatenate, 2.5, kEmpty, "2.5"},
    {Concatenate, Cy(12500), "", "1.25"}, {Concatenate, Variant::ByteArray({1}, 0), Variant::ByteArray({2}, 5), Variant::ByteArray({1, 2}, 0)},
    {Concatenate, kEmpty, Variant::ByteArray({9}, 0), Variant::ByteArray({9}, 0)},
    {Concatenate, Variant::ByteArray({1}, 0), "A\xC3\xA9", Variant::ByteArray({1, 65, 0, 0xE9, 0}, 0)},
    {Concatenate, kNull, Variant::ByteArray({1}, 0), Variant::ByteArray({1}, 0)},
    {Concatenate, Variant::ByteArray({}, 0), "\xF8\x80\x80\x80\xC3",
     Variant::ByteArray({0xF8, 0, 0x80, 0, 0x80, 0, 0x80, 0, 0xC3, 0}, 0)},
    {Concatenate, Variant::ByteArray({}, 0), "\xF0\x9F\x98\x80", Variant::ByteArray({0x3D, 0xD8, 0x00, 0xDE}, 0)},
    {Concatenate, "a", Variant(ArrayRef(std::make_shared<const SafeArray>())), {}, kTypeMismatch}}));

// Number pairs, the operators' common case, give the same result (or error)
// whether a side is the number itself or an object standing for it.
class NumberPairTest : public testing::TestWithParam<OperatorCase> {};

TEST_P(NumberPairTest, GivesTheSameResultForAnObjectsValue) {
  const auto& [op, lhs, rhs, expected, error] = GetParam();
  for (const auto& [a, b] : {std::pair{lhs, rhs}, std::pair{Valued(lhs), rhs}, std::pair{lhs, Valued(rhs)}}) {
    if (error != 0) EXPECT_EQ(ErrorOf([&] { op(a, b); }), error);
    else EXPECT_EQ(op(a, b), expected);
  }
}

constexpr Long L(std::int64_t v) { return static_cast<Long>(v); }
constexpr Long kLeastLong = std::numeric_limits<Long>::min();

INSTANTIATE_TEST_SUITE_P(Table, NumberPairTest, testing::ValuesIn(std::vector<OperatorCase>{
    {Add, I(32767), I(1), L(32768)}, {Add, I(-32768), I(-1), L(-32769)}, {Add, I(32767), L(1), L(32768)},
    {Add, L(2147483647), L(1), 2147483648.0}, {Add, kLeastLong, I(-1), -2147483649.0},
    {Add, B(255), B(1), I(256)}, {Add, kTrue, I(1), I(0)}, {Add, kTrue, kTrue, I(-2)},
    {Add, kTrue, B(255), I(254)}, {Add, I(1), 0.5, 1.5}, {Add, L(1), 2.5, 3.5}, {Add, 0.5, 0.25, 0.75},
    {Add, 1e308, 1e308, {}, kOverflow}, {Subtract, I(-32768), I(1), L(-32769)},
    {Subtract, kLeastLong, L(1), -2147483649.0}, {Subtract, B(0), B(1), I(-1)}, {Subtract, 2.5, I(1), 1.5},
    {Subtract, L(-2147483647), I(1), kLeastLong}, {Multiply, I(181), I(181), I(32761)},
    {Multiply, I(182), I(182), L(33124)}, {Multiply, I(-32768), I(-1), L(32768)},
    {Multiply, L(46341), L(46341), 2147488281.0}, {Multiply, L(65536), L(65536), 4294967296.0},
    {Multiply, L(2147483647), L(2147483647), 2147483647.0 * 2147483647.0},
    {Multiply, B(15), B(17), B(255)}, {Multiply, B(16), B(16), I(256)}, {Multiply, B(255), B(255), L(65025)},
    {Multiply, kTrue, I(3), I(-3)}, {Multiply, 1.5, I(2), 3.0}, {Multiply, 1e200, L(1), 1e200},
    {Modulo, I(-7), I(3), I(-1)}, {Modulo, I(7), I(-3), I(1)}, {Modulo, L(-100000), I(7), L(-5)},
    {Modulo, 7.5, I(2), L(0)}, {Modulo, 6.5, I(4), L(2)}, {Modulo, -2.5, I(4), L(-2)},
    {Modulo, B(9), B(4), B(1)}, {Modulo, kTrue, I(2), I(-1)}, {Modulo, I(1), I(0), {}, kDivisionByZero},
    {Modulo, I(5), 0.4, {}, kDivisionByZero}, {Modulo, 3e9, I(2), {}, kOverflow},
    {IntegerDivide, I(-7), I(2), I(-3)}, {IntegerDivide, 2.5, I(1), L(2)}, {IntegerDivide, 3.5, I(1), L(4)},
    {IntegerDivide, B(200), B(3), B(66)}, {IntegerDivide, L(100000), L(-3), L(-33333)},
    {IntegerDivide, kLeastLong, L(-1), {}, kOverflow}, {Divide, I(1), L(4), 0.25},
    {IntegerDivide, I(-32768), I(-1), {}, kOverflow}, {IntegerDivide, I(7), I(-1), I(-7)},
    {IntegerDivide, L(7), I(-1), L(-7)}, {Modulo, kLeastLong, L(-1), L(0)}, {Modulo, I(-32768), I(-1), I(0)},
    {Modulo, I(7), L(3), L(1)}, {Divide, I(0), I(0), {}, kDivisionByZero}, {Divide, 1e308, 1e-10, {}, kOverflow},
    {Divide, I(-7), I(2), -3.5}, {Subtract, 1e308, -1e308, {}, kOverflow}, {Add, 1e308, -1e308, 0.0},
    {Multiply, kLeastLong, I(-1), 2147483648.0}, {Multiply, I(-1), I(0), I(0)}, {Subtract, I(0), I(0), I(0)},
    {Divide, 1.0f, I(4), 0.25f}}));

INSTANTIATE_TEST_SUITE_P(Bitwise, OperatorTest, testing::ValuesIn(std::vector<OperatorCase>{
    {And, kTrue, kFalse, kFalse}, {And, kTrue, kTrue, kTrue}, {And, I(12), I(10), I(8)},
    {And, kTrue, I(6), I(6)}, {And, B(12), B(10), B(8)}, {And, Long{65535}, I(-1), Long{65535}},
    {And, kNull, kFalse, kFalse}, {And, kNull, kTrue, kNull}, {And, I(0), kNull, I(0)},
    {Or, kNull, kTrue, kTrue}, {Or, kNull, kFalse, kNull}, {Or, I(12), I(3), I(15)},
    {Or, kEmpty, kEmpty, I(0)}, {Xor, kTrue, kTrue, kFalse}, {Xor, kNull, kTrue, kNull},
    {Xor, I(5), I(3), I(6)}, {Eqv, kTrue, kFalse, kFalse}, {Eqv, kFalse, kFalse, kTrue},
    {Eqv, kNull, kFalse, kNull}, {Imp, kTrue, kFalse, kFalse}, {Imp, kFalse, kNull, kTrue},
    {Imp, kNull, kTrue, kTrue}, {Imp, kTrue, kNull, kNull}, {Imp, kNull, kFalse, kNull},
    {And, "True", kTrue, kTrue}, {And, "6", I(3), Long{2}}, {Or, 3e10, I(1), {}, kOverflow}}));

struct UnaryCase {
  Variant (*op)(const Variant&);
  Variant operand;
  Variant expected;
};

class UnaryTest : public testing::TestWithParam<UnaryCase> {};

TEST_P(UnaryTest, GivesTheRuntimesResult) {
  const auto& [op, operand, expected] = GetParam();
  EXPECT_EQ(op(operand), expected);
}

INSTANTIATE_TEST_SUITE_P(Table, UnaryTest, testing::ValuesIn(std::vector<UnaryCase>{
    {Negate, I(-32768), Long{32768}}, {Negate, Long{-2147483647 - 1}, 2147483648.0},
    {Negate, kEmpty, I(0)}, {Negate, kTrue, I(1)}, {Negate, B(5), I(-5)}, {Negate, "2", -2.0},
    {Negate, kNull, kNull}, {Negate, 1.5f, -1.5f}, {Negate, Cy(5), Cy(-5)}, {Not, kTrue, kFalse}, {Not, I(0), I(-1)},
    {Not, kEmpty, I(-1)}, {Not, B(1), B(254)}, {Not, Long{5}, Long{-6}}, {Not, kNull, kNull},
    {Not, 2.6, Long{-4}}}));

}  // namespace
}  // namespace kelvane::oleaut
