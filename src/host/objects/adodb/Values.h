#pragma once
// Values between the driver and pages: a column of the current row as a
// variant, the ADO type of a column, and variants bound as parameters.
//   NULL                        Null
//   SMALLINT, TINYINT           Integer
//   INTEGER, BIGINT             Long where it fits, else Double
//   REAL                        Single
//   FLOAT, DOUBLE               Double
//   DECIMAL, NUMERIC            Currency where exact and in range, else Double
//   BIT                         Boolean
//   DATE, TIME, TIMESTAMP       Date (6 beyond years 100 to 9999)
//   binary types                Byte array
//   anything else               String

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "host/objects/adodb/Odbc.h"
#include "platform/oleaut/Variant.h"

namespace kelvane::host::adodb {

// ADO's DataTypeEnum.
enum AdoType : std::int32_t {
  adEmpty = 0, adSmallInt = 2, adInteger = 3, adSingle = 4, adDouble = 5, adCurrency = 6, adDate = 7,
  adBSTR = 8, adBoolean = 11, adDecimal = 14, adTinyInt = 16, adUnsignedTinyInt = 17, adUnsignedSmallInt = 18,
  adUnsignedInt = 19, adBigInt = 20, adUnsignedBigInt = 21, adGUID = 72, adBinary = 128, adChar = 129,
  adWChar = 130, adNumeric = 131, adDBDate = 133, adDBTime = 134, adDBTimeStamp = 135, adVarChar = 200,
  adLongVarChar = 201, adVarWChar = 202, adLongVarWChar = 203, adVarBinary = 204, adLongVarBinary = 205,
};

// ADO's type number for a column of `sqlType`.
std::int32_t AdoTypeOf(SQLSMALLINT sqlType);

// `value` as a parameter of ADO type `adoType` takes it: converted to
// a whole number, a double, a currency amount, a date, a Boolean or text
// (the conversion's errors); Empty and Null are Null; an object is its value;
// other types take the value as it is.
oleaut::Variant AsAdoType(const oleaut::Variant& value, std::int32_t adoType);

// Decimal text ("-12.5") as a Currency when its value has at most four
// decimal places and fits; nullopt otherwise.
std::optional<oleaut::Currency> ExactCurrency(std::string_view text);

// Reads the columns of the statement's current row, one after the other.
class ColumnReader {
 public:
  // Column `column` (1-based) of `statement`'s current row; columns must be
  // read in increasing order.
  oleaut::Variant Read(Statement& statement, SQLUSMALLINT column, SQLSMALLINT sqlType);

 private:
  // Appends the whole value of a column read in parts of `cType`; false for NULL.
  bool ReadParts(Statement& statement, SQLUSMALLINT column, SQLSMALLINT cType, std::string& out);
  std::string buffer_;  // one part as the driver writes it
  std::string parts_;   // the value so far
};

// Variants bound as the parameters of a statement, kept alive while it runs.
class ParameterBinding {
 public:
  // Binds `values` as parameters 1 .. n of `statement`, in order. An
  // object stands for its value; 13 for an array other than bytes.
  void Bind(Statement& statement, const std::vector<oleaut::Variant>& values);

 private:
  struct Slot {
    std::int64_t integer = 0;
    double real = 0;
    SQL_TIMESTAMP_STRUCT timestamp{};
    std::string bytes;
    SQLLEN indicator = 0;
  };
  std::vector<Slot> slots_;
};

}  // namespace kelvane::host::adodb
