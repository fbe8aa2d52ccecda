#include "host/objects/adodb/Values.h"

#include <gtest/gtest.h>

#include "host/objects/adodb/AdoErrors.h"
#include "platform/oleaut/Conversion.h"

namespace kelvane::host::adodb {
namespace {

TEST(ExactCurrency, TakesFourPlacesWithinRangeAndNothingElse) {
  const struct {
    const char* text;
    std::optional<std::int64_t> scaled;
  } cases[] = {
      {"0", 0},
      {"12.5", 125000},
      {"-12.50", -125000},
      {"+3.1416", 31416},
      {"0.00001", std::nullopt},  // a fifth place
      {"1.23450", 12345},        // trailing zeros are no places
      {"922337203685477.5807", INT64_MAX},
      {"922337203685477.5808", std::nullopt},
      {"-922337203685477.5808", INT64_MIN},
      {"99999999999999999999", std::nullopt},
      {"00000000000000000000000001", 10000},
      {"", std::nullopt},
      {".", std::nullopt},
      {"1e5", std::nullopt},
      {"12a", std::nullopt},
  };
  for (const auto& c : cases) {
    const auto amount = ExactCurrency(c.text);
    ASSERT_EQ(amount.has_value(), c.scaled.has_value()) << c.text;
    if (amount) {
      EXPECT_EQ(amount->scaled, *c.scaled) << c.text;
    }
  }
}

TEST(AsAdoType, ConvertsAParameterToItsDeclaredType) {
  using oleaut::Variant;
  using oleaut::VarType;
  const struct {
    Variant value;
    std::int32_t type;
    VarType bound;
    const char* text;
  } cases[] = {
      {Variant("8"), adInteger, VarType::Long, "8"},
      {Variant(2.5), adSmallInt, VarType::Long, "2"},  // ties to even
      {Variant("2.5"), adDouble, VarType::Double, "2.5"},
      {Variant("12.34567"), adCurrency, VarType::Currency, "12.3457"},
      {Variant("2/29/2024"), adDBTimeStamp, VarType::Date, "2/29/2024"},
      {Variant("true"), adBoolean, VarType::Boolean, "True"},
      {Variant(oleaut::Long{42}), adVarChar, VarType::String, "42"},
      {Variant("1.5"), adNumeric, VarType::Double, "1.5"},
      {Variant(oleaut::Long{7}), adNumeric, VarType::Long, "7"},
      {Variant(), adInteger, VarType::Null, ""},
      {Variant::Null(), adVarChar, VarType::Null, ""},
      {Variant("x"), adEmpty, VarType::String, "x"},
      {Variant(oleaut::Long{3}), adVarBinary, VarType::Long, "3"},
  };
  for (const auto& c : cases) {
    const Variant bound = AsAdoType(c.value, c.type);
    EXPECT_EQ(bound.Type(), c.bound) << c.text;
    if (!bound.IsNull()) {
      EXPECT_EQ(oleaut::ToString(bound), c.text) << c.type;
    }
  }
  EXPECT_THROW(AsAdoType(Variant("x"), adInteger), oleaut::AutomationError);
}

TEST(NumberForState, GivesAdoNumbersByTheLongestPrefix) {
  const struct {
    const char* state;
    std::int32_t number;
  } cases[] = {
      {"42000", -2147217900}, {"42601", -2147217900}, {"37000", -2147217900}, {"42S02", -2147217865},
      {"42P01", -2147217865}, {"42S22", -2147217900}, {"23505", -2147217873}, {"22003", -2147217833},
      {"22018", -2147217913}, {"28000", -2147217843}, {"HYT00", -2147217871}, {"HY008", -2147217842},
      {"07002", -2147217904}, {"HY000", -2147467259}, {"08001", -2147467259}, {"IM002", -2147467259},
      {"", -2147467259},
  };
  for (const auto& c : cases) EXPECT_EQ(NumberForState(c.state), c.number) << c.state;
}

TEST(AdoTypeOf, NumbersColumnsAsAdoDoes) {
  const struct {
    SQLSMALLINT sqlType;
    std::int32_t adoType;
  } cases[] = {
      {SQL_SMALLINT, 2},     {SQL_INTEGER, 3},        {SQL_REAL, 4},      {SQL_DOUBLE, 5},
      {SQL_FLOAT, 5},        {SQL_BIT, 11},           {SQL_BIGINT, 20},   {SQL_NUMERIC, 131},
      {SQL_DECIMAL, 131},    {SQL_TYPE_DATE, 133},    {SQL_TYPE_TIME, 134}, {SQL_TYPE_TIMESTAMP, 135},
      {SQL_VARCHAR, 200},    {SQL_LONGVARCHAR, 201},  {SQL_WVARCHAR, 202}, {SQL_BINARY, 128},
      {SQL_VARBINARY, 204},  {SQL_LONGVARBINARY, 205},
  };
  for (const auto& c : cases) EXPECT_EQ(AdoTypeOf(c.sqlType), c.adoType) << c.sqlType;
}

}  // namespace
}  // namespace kelvane::host::adodb
