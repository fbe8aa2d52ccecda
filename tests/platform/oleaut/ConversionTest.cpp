#include "platform/oleaut/Conversion.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cstdint>
#include <limits>
#include <memory>
#include <ostream>
#include <thread>
#include <vector>

#include "platform/oleaut/AutomationError.h"
#include "platform/oleaut/Dispatch.h"
#include "support/Automation.h"

namespace kelvane::oleaut {

namespace {

constexpr Integer I(int v) { return static_cast<Integer>(v); }
constexpr Byte B(int v) { return static_cast<Byte>(v); }
constexpr auto kTrue = VariantBool::True;
constexpr auto kFalse = VariantBool::False;
const Variant kNull = Variant::Null();
const Variant kNothing = Variant::Nothing();
const Variant kArray = Variant::ByteArray({1, 2}, 0);

Variant Failing(std::int32_t error) {
  return ObjectRef(std::make_shared<ValueObject>(Variant(), error));
}
const Variant kObject = Valued(Variant());
const Variant kPlainObject = ObjectRef(std::make_shared<IUnknown>());

struct ParseCase {
  const char* text;
  std::optional<double> expected;  // nullopt: no number
  std::int32_t error = 0;          // the error expected instead
};

class ParseNumberTest : public testing::TestWithParam<ParseCase> {};

TEST_P(ParseNumberTest, ReadsTextAsNumber) {
  const auto& [text, expected, error] = GetParam();
  if (error != 0) EXPECT_EQ(ErrorOf([&] { ParseNumber(text, NumberFormat{}); }), error);
  else EXPECT_EQ(ParseNumber(text, NumberFormat{}), expected);
}

INSTANTIATE_TEST_SUITE_P(Table, ParseNumberTest, testing::ValuesIn(std::vector<ParseCase>{
    {"1", 1}, {" \t12 \t", 12}, {"-3", -3}, {"+4", 4}, {"1,000", 1000}, {"1,0", 10},
    {"1,234,567.25", 1234567.25}, {",1", {}}, {"1,", {}}, {"1,,0", {}}, {"1,.5", {}}, {"1.0,5", {}},
    {".5", 0.5}, {"5.", 5}, {"-.5", -0.5}, {"0.1", 0.1},
    {"3.14159265358979323846", 3.141592653589793}, {"1.5E3", 1500}, {"1e-2", 0.01}, {"2D2", 200},
    {"2d+1", 20}, {"1e-400", 0}, {"1.7976931348623157e308", DBL_MAX}, {"1e400", {}, 6},
    {"-1e400", {}, 6}, {"1000e306", {}, 6}, {"&HFF", 255}, {"&hff", 255}, {"&o17", 15},
    {"&H7FFF", 32767}, {"&H8000", -32768}, {"&HFFFF", -1}, {"&H10000", 65536},
    {"&H7FFFFFFF", 2147483647}, {"&H80000000", -2147483648.0}, {"&HFFFFFFFF", -1},
    {"&H0000000000FF", 255}, {"&O177777", -1}, {"&O37777777777", -1}, {" &H10 ", 16},
    {"&H100000000", {}, 6}, {"&O40000000000", {}, 6}, {"-&H1", {}}, {"&H", {}}, {"&HG", {}},
    {"&O8", {}}, {"&17", {}}, {"", {}}, {"   ", {}}, {"1 2", {}}, {"1.2.3", {}}, {"abc", {}},
    {"0x10", {}}, {"1e", {}}, {"1e+", {}}, {"e5", {}}, {".", {}}, {"-", {}}, {"- 1", {}},
    {"1-", {}}, {"inf", {}}, {"nan", {}}}));

TEST(NumberFormat, SeparatorsComeFromTheCallingThreadsFormat) {
  SetCurrentNumberFormat({',', '.'});
  EXPECT_EQ(ParseNumber("1.234,5", CurrentNumberFormat()), 1234.5);
  EXPECT_EQ(ToDouble("1,5"), 1.5);
  EXPECT_EQ(ToString(2.5), "2,5");
  std::string elsewhere;
  std::thread([&] { elsewhere = ToString(2.5); }).join();
  SetCurrentNumberFormat({});
  EXPECT_EQ(elsewhere, "2.5");
}

using Converter = Variant (*)(const Variant&);
Variant AsInteger(const Variant& v) { return ToInteger(v); }
Variant AsLong(const Variant& v) { return ToLong(v); }
Variant AsByte(const Variant& v) { return ToByte(v); }
Variant AsSingle(const Variant& v) { return ToSingle(v); }
Variant AsDouble(const Variant& v) { return ToDouble(v); }
Variant AsString(const Variant& v) { return ToString(v); }
Variant AsBoolean(const Variant& v) { return ToBoolean(v); }
Variant AsObject(const Variant& v) { return ToObject(v); }
Variant AsCurrency(const Variant& v) { return ToCurrency(v); }
constexpr Currency Cy(std::int64_t scaled) { return Currency{scaled}; }

struct Case {
  Converter convert;
  Variant input;
  Variant expected;
  std::int32_t error = 0;  // the error expected instead of a result
};

class ConversionTest : public testing::TestWithParam<Case> {};

TEST_P(ConversionTest, FollowsTheRules) {
  const auto& [convert, input, expected, error] = GetParam();
  if (error != 0) EXPECT_EQ(ErrorOf([&] { convert(input); }), error);
  else EXPECT_EQ(convert(input), expected);
}

INSTANTIATE_TEST_SUITE_P(Integer, ConversionTest, testing::ValuesIn(std::vector<Case>{
    {AsInteger, 0.5, I(0)}, {AsInteger, 1.5, I(2)}, {AsInteger, 2.5, I(2)}, {AsInteger, -0.5, I(0)},
    {AsInteger, -1.5, I(-2)}, {AsInteger, -2.5, I(-2)}, {AsInteger, 2.5000001, I(3)},
    {AsInteger, 32767.4, I(32767)}, {AsInteger, 32767.5, {}, 6}, {AsInteger, Long{32768}, {}, 6},
    {AsInteger, -32768.5, I(-32768)}, {AsInteger, -32768.6, {}, 6},
    {AsInteger, Long{-32769}, {}, 6}, {AsInteger, 1.5f, I(2)},
    {AsInteger, std::numeric_limits<Single>::quiet_NaN(), {}, 6}, {AsInteger, kTrue, I(-1)},
    {AsInteger, Variant(), I(0)}, {AsInteger, "2.5", I(2)}, {AsInteger, " &HFFFF ", I(-1)},
    {AsInteger, "&H10000", {}, 6}, {AsInteger, "1e400", {}, 6}, {AsInteger, "abc", {}, 13},
    {AsInteger, "", {}, 13}, {AsInteger, kNull, {}, 94}, {AsInteger, kArray, {}, 13},
    {AsInteger, kNothing, {}, 91}, {AsInteger, Valued(2.5), I(2)},
    {AsInteger, Valued(Valued(I(7))), {}, 13}, {AsInteger, kObject, I(0)},
    {AsInteger, kPlainObject, {}, 13}, {AsInteger, Failing(kMemberNotFound), {}, 13},
    {AsInteger, Failing(5), {}, 5}}));

INSTANTIATE_TEST_SUITE_P(Long, ConversionTest, testing::ValuesIn(std::vector<Case>{
    {AsLong, 0.5, Long{0}}, {AsLong, 1.5, Long{2}}, {AsLong, 2.5, Long{2}},
    {AsLong, -2.5, Long{-2}}, {AsLong, 2147483647.4, Long{INT32_MAX}},
    {AsLong, 2147483647.5, {}, 6}, {AsLong, 2147483648.0, {}, 6},
    {AsLong, -2147483648.5, Long{INT32_MIN}}, {AsLong, -2147483648.6, {}, 6},
    {AsLong, "&H10000", Long{65536}}, {AsLong, "&HFFFFFFFF", Long{-1}},
    {AsLong, "1,000,000", Long{1000000}}, {AsLong, kNull, {}, 94}}));

INSTANTIATE_TEST_SUITE_P(Byte, ConversionTest, testing::ValuesIn(std::vector<Case>{
    {AsByte, 0.5, B(0)}, {AsByte, 1.5, B(2)}, {AsByte, 2.5, B(2)}, {AsByte, -0.5, B(0)},
    {AsByte, 254.5, B(254)}, {AsByte, 255.0, B(255)}, {AsByte, 255.5, {}, 6},
    {AsByte, I(256), {}, 6}, {AsByte, I(-1), {}, 6}, {AsByte, -0.6, {}, 6}, {AsByte, kTrue, B(255)},
    {AsByte, kFalse, B(0)}, {AsByte, "255", B(255)}, {AsByte, "True", {}, 13}}));

INSTANTIATE_TEST_SUITE_P(Currency, ConversionTest, testing::ValuesIn(std::vector<Case>{
    {AsCurrency, 0.000149, Cy(1)}, {AsCurrency, 0.00016, Cy(2)}, {AsCurrency, -0.00016, Cy(-2)},
    {AsCurrency, 2147483647.99, Cy(21474836479900)}, {AsCurrency, I(-32768), Cy(-327680000)},
    {AsCurrency, "-0.5", Cy(-5000)}, {AsCurrency, kTrue, Cy(-10000)}, {AsCurrency, Variant(), Cy(0)},
    {AsCurrency, 1e14, Cy(1000000000000000000)}, {AsCurrency, 1e15, {}, 6},
    {AsCurrency, -1e15, {}, 6}, {AsCurrency, "#TRUE#", {}, 13}, {AsCurrency, kNull, {}, 94},
    {AsCurrency, Valued(0.1), Cy(1000)}, {AsDouble, Cy(-25), -0.0025}, {AsLong, Cy(25000), Long{2}},
    {AsLong, Cy(35000), Long{4}}, {AsString, Cy(-12345), "-1.2345"}, {AsString, Cy(10000), "1"},
    {AsString, Cy(5), "0.0005"}, {AsString, Cy(-15000), "-1.5"},
    {AsString, Cy(INT64_MIN), "-922337203685477.5808"}, {AsBoolean, Cy(1), kTrue}}));

INSTANTIATE_TEST_SUITE_P(Single, ConversionTest, testing::ValuesIn(std::vector<Case>{
    {AsSingle, 0.1, 0.1f}, {AsSingle, Long{16777217}, 16777216.0f},
    {AsSingle, double{FLT_MAX}, FLT_MAX}, {AsSingle, -double{FLT_MAX}, -FLT_MAX},
    {AsSingle, 1e39, {}, 6}, {AsSingle, -1e39, {}, 6}, {AsSingle, "1e39", {}, 6},
    {AsSingle, 1e-50, 0.0f}, {AsSingle, kTrue, -1.0f}, {AsSingle, Variant(), 0.0f},
    {AsSingle, kNull, {}, 94}}));

INSTANTIATE_TEST_SUITE_P(Double, ConversionTest, testing::ValuesIn(std::vector<Case>{
    {AsDouble, 0.1f, double{0.1f}}, {AsDouble, kTrue, -1.0}, {AsDouble, " 1,000.5 ", 1000.5},
    {AsDouble, Variant(), 0.0}, {AsDouble, "1e400", {}, 6}, {AsDouble, "1 2", {}, 13},
    {AsDouble, kNull, {}, 94}, {AsDouble, kNothing, {}, 91}}));

INSTANTIATE_TEST_SUITE_P(String, ConversionTest, testing::ValuesIn(std::vector<Case>{
    {AsString, 2.5, "2.5"}, {AsString, 0.1, "0.1"}, {AsString, 100.0, "100"},
    {AsString, -3.0, "-3"}, {AsString, -0.0, "0"}, {AsString, 1e20, "1E+20"},
    {AsString, 1.5e-7, "1.5E-07"}, {AsString, 1e-5, "1E-05"}, {AsString, 0.0001, "0.0001"},
    {AsString, 1e100, "1E+100"}, {AsString, 1e15, "1E+15"},
    {AsString, 123456789012345.0, "123456789012345"}, {AsString, 1.0 / 3, "0.333333333333333"},
    {AsString, 0.1 + 0.2, "0.3"}, {AsString, 0.1f, "0.1"}, {AsString, 1.0f / 3, "0.3333333"},
    {AsString, 16777216.0f, "1.677722E+07"}, {AsString, I(-32768), "-32768"},
    {AsString, Long{INT32_MIN}, "-2147483648"}, {AsString, B(255), "255"},
    {AsString, kTrue, "True"}, {AsString, kFalse, "False"}, {AsString, Variant(), ""},
    {AsString, Valued("x"), "x"}, {AsString, kNull, {}, 94}, {AsString, kArray, {}, 13},
    {AsString, kNothing, {}, 91}}));

INSTANTIATE_TEST_SUITE_P(Boolean, ConversionTest, testing::ValuesIn(std::vector<Case>{
    {AsBoolean, "True", kTrue}, {AsBoolean, " fAlSe\t", kFalse}, {AsBoolean, "0", kFalse},
    {AsBoolean, "#TRUE#", kTrue}, {AsBoolean, "#fAlSe#", kFalse}, {AsBoolean, "#yes#", {}, 13},
    {AsBoolean, "0.4", kTrue}, {AsBoolean, "&H0", kFalse}, {AsBoolean, "yes", {}, 13},
    {AsBoolean, "", {}, 13}, {AsBoolean, I(0), kFalse}, {AsBoolean, B(2), kTrue},
    {AsBoolean, 0.5, kTrue}, {AsBoolean, Variant(), kFalse}, {AsBoolean, kNull, {}, 94},
    {AsBoolean, kArray, {}, 13}, {AsBoolean, Valued("false"), kFalse}}));

INSTANTIATE_TEST_SUITE_P(Object, ConversionTest, testing::ValuesIn(std::vector<Case>{
    {AsObject, kNothing, kNothing}, {AsObject, kObject, kObject}, {AsObject, Variant(), {}, 424},
    {AsObject, I(1), {}, 424}, {AsObject, "x", {}, 424}, {AsObject, kNull, {}, 424}}));

}  // namespace
}  // namespace kelvane::oleaut
