#include "platform/oleaut/DateTime.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/oleaut/Conversion.h"
#include "platform/oleaut/Operators.h"
#include "support/Automation.h"

namespace kelvane::oleaut {

namespace {

struct SerialCase {
  double year, month, day;
  double days;
  std::string text;
};

class DateSerialTest : public testing::TestWithParam<SerialCase> {};

TEST_P(DateSerialTest, CountsDaysAndWritesUsText) {
  const auto& c = GetParam();
  const Date date = DateSerial(c.year, c.month, c.day);
  EXPECT_EQ(date.days, c.days);
  EXPECT_EQ(ToString(date), c.text);
}

INSTANTIATE_TEST_SUITE_P(Table, DateSerialTest, testing::ValuesIn(std::vector<SerialCase>{
    {1899, 12, 30, 0, "12:00:00 AM"}, {1900, 1, 1, 2, "1/1/1900"},
    {2024, 2, 29, 45351, "2/29/2024"}, {2024, 13, 1, 45658, "1/1/2025"},
    {2024, 3, 0, 45351, "2/29/2024"}, {2024, 0, 1, 45261, "12/1/2023"},
    {24, 2, 29, 45351, "2/29/2024"}, {99, 1, 1, 36161, "1/1/1999"},
    {1899, 12, 29, -1, "12/29/1899"}, {100, 1, 1, -657434, "1/1/100"},
    {9999, 12, 31, 2958465, "12/31/9999"}}));

TEST(DateSerial, RefusesYearsOutOfRange) {
  EXPECT_EQ(ErrorOf([] { DateSerial(10000, 1, 1); }), kInvalidProcedureCall);
  EXPECT_EQ(ErrorOf([] { DateSerial(9999, 12, 32); }), kInvalidProcedureCall);
}

TEST(Date, SplitsTimeAndWeekday) {
  const Date date = CombineDateAndTime(45351, TimeSerial(15, 4, 5));
  EXPECT_EQ(ToString(date), "2/29/2024 3:04:05 PM");
  const DateParts parts = SplitDate(date);
  EXPECT_EQ(parts.weekday, 5);  // a Thursday
  EXPECT_EQ(parts.hour, 15);
  EXPECT_EQ(SplitDate(Date{1}).weekday, 1);    // 1899-12-31, a Sunday
  EXPECT_EQ(SplitDate(Date{-1.25}).hour, 6);   // the fraction's magnitude
  EXPECT_EQ(ToString(Date{0.5}), "12:00:00 PM");
  EXPECT_EQ(ToString(Date{-1.75}), "12/29/1899 6:00:00 PM");
}

struct ParseCase {
  std::string text;
  double days;  // -1e9: no date
};

class ParseDateTest : public testing::TestWithParam<ParseCase> {};

TEST_P(ParseDateTest, ReadsUsAndIsoText) {
  const auto& [text, days] = GetParam();
  const auto parsed = ParseDate(text);
  if (days == -1e9) EXPECT_FALSE(parsed.has_value()) << text;
  else if (parsed) EXPECT_DOUBLE_EQ(parsed->days, days) << text;
  else ADD_FAILURE() << text;
}

INSTANTIATE_TEST_SUITE_P(Table, ParseDateTest, testing::ValuesIn(std::vector<ParseCase>{
    {"2/29/2024", 45351}, {"2024-02-29", 45351}, {"2024/2/29", 45351}, {" 2/29/24 ", 45351},
    {"2/29/2024 3:04:05 PM", 45351 + (15 * 3600 + 4 * 60 + 5) / 86400.0},
    {"12:30 am", 30 * 60 / 86400.0}, {"18:00", 0.75}, {"2/30/2024", -1e9}, {"13/1/2024", -1e9},
    {"24:00", -1e9}, {"13:00 PM", -1e9}, {"2024", -1e9}, {"", -1e9}, {"1/1/2024 x", -1e9},
    {"abc", -1e9}}));

TEST(ToDate, ReadsNumbersTextAndDates) {
  EXPECT_EQ(ToDate(2.5).days, 2.5);
  EXPECT_EQ(ToDate("2/29/2024").days, 45351);
  EXPECT_EQ(ToDate("45351").days, 45351);
  EXPECT_EQ(ErrorOf([] { ToDate("soon"); }), kTypeMismatch);
  EXPECT_EQ(ErrorOf([] { ToDate(Variant::Null()); }), kInvalidUseOfNull);
  EXPECT_EQ(ErrorOf([] { ToDate(1e9); }), kInvalidProcedureCall);
}

TEST(DateArithmetic, AddsDaysAndComparesAsNumbers) {
  EXPECT_EQ(Add(Date{45351}, Integer{1}), Variant(Date{45352}));
  EXPECT_EQ(Compare(Date{45351}, 45351.0), Comparison::Equal);
  EXPECT_EQ(Compare(Date{1}, "1"), Comparison::Less);
  EXPECT_EQ(ToDouble(Date{3.25}), 3.25);
}

}  // namespace
}  // namespace kelvane::oleaut
