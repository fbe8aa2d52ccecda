#include "host/objects/adodb/Values.h"

#include <charconv>
#include <cmath>
#include <limits>

#include "platform/oleaut/Conversion.h"
#include "platform/oleaut/DateTime.h"

namespace kelvane::host::adodb {

namespace {

using namespace oleaut;

// The size of one part of a long value read from the driver.
constexpr std::size_t kPartBytes = 8192;
// Beyond these lengths text and bytes are sent as long data types.
constexpr std::size_t kLongText = 4000;
constexpr std::size_t kLongBytes = 8000;

Variant WholeNumber(std::int64_t value) {
  if (value >= std::numeric_limits<Long>::min() && value <= std::numeric_limits<Long>::max())
    return static_cast<Long>(value);
  return static_cast<double>(value);
}

Variant DateOf(int year, int month, int day, int hour, int minute, int second, SQLUINTEGER fraction) {
  if (year < 100 || year > 9999) RaiseRuntimeError(kOverflow);
  const double time = TimeSerial(hour, minute, second + fraction / 1e9);
  return CombineDateAndTime(DateSerial(year, month, day).days, time);
}

std::string DecimalText(Currency amount) {
  const bool negative = amount.scaled < 0;
  // In unsigned arithmetic, so that the smallest amount negates.
  std::uint64_t magnitude = negative ? 0 - static_cast<std::uint64_t>(amount.scaled)
                                     : static_cast<std::uint64_t>(amount.scaled);
  const auto scale = static_cast<std::uint64_t>(Currency::kScale);
  std::string fraction = std::to_string(magnitude % scale);
  return (negative ? "-" : "") + std::to_string(magnitude / scale) + "." +
         std::string(4 - fraction.size(), '0') + fraction;
}

}  // namespace

Variant AsAdoType(const Variant& given, std::int32_t adoType) {
  const Variant v = given.IsObject() ? ValueOf(given) : given;
  if (v.IsNull() || v.IsEmpty() || v.IsMissing()) return Variant::Null();
  switch (adoType) {
    case adSmallInt: case adInteger: case adTinyInt: case adUnsignedTinyInt: case adUnsignedSmallInt:
    case adUnsignedInt:
      return ToLong(v);
    case adBigInt: case adUnsignedBigInt: case adSingle: case adDouble: return ToDouble(v);
    case adCurrency: return ToCurrency(v);
    // Exact amounts stay as they are; text is read as a number.
    case adDecimal: case adNumeric: return v.IsString() ? Variant(ToDouble(v)) : v;
    case adDate: case adDBDate: case adDBTime: case adDBTimeStamp: return ToDate(v);
    case adBoolean: return ToBoolean(v);
    case adBSTR: case adChar: case adWChar: case adVarChar: case adLongVarChar: case adVarWChar:
    case adLongVarWChar:
      return ToString(v);
    default: return v;  // binary, variant, or no type: as the value is
  }
}

std::int32_t AdoTypeOf(SQLSMALLINT sqlType) {
  switch (sqlType) {
    case SQL_SMALLINT: return adSmallInt;
    case SQL_INTEGER: return adInteger;
    case SQL_TINYINT: return adTinyInt;
    case SQL_BIGINT: return adBigInt;
    case SQL_REAL: return adSingle;
    case SQL_FLOAT:
    case SQL_DOUBLE: return adDouble;
    case SQL_DECIMAL:
    case SQL_NUMERIC: return adNumeric;
    case SQL_BIT: return adBoolean;
    case SQL_TYPE_DATE:
    case SQL_DATE: return adDBDate;
    case SQL_TYPE_TIME:
    case SQL_TIME: return adDBTime;
    case SQL_TYPE_TIMESTAMP:
    case SQL_TIMESTAMP: return adDBTimeStamp;
    case SQL_GUID: return adGUID;
    case SQL_BINARY: return adBinary;
    case SQL_VARBINARY: return adVarBinary;
    case SQL_LONGVARBINARY: return adLongVarBinary;
    case SQL_CHAR: return adChar;
    case SQL_WCHAR: return adWChar;
    case SQL_LONGVARCHAR: return adLongVarChar;
    case SQL_WVARCHAR: return adVarWChar;
    case SQL_WLONGVARCHAR: return adLongVarWChar;
    default: return adVarChar;
  }
}

std::optional<Currency> ExactCurrency(std::string_view text) {
  bool negative = false;
  if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }
  const std::size_t point = text.find('.');
  std::string_view whole = text.substr(0, point);
  std::string_view fraction = point == std::string_view::npos ? std::string_view() : text.substr(point + 1);
  while (!fraction.empty() && fraction.back() == '0') fraction.remove_suffix(1);
  if ((whole.empty() && fraction.empty()) || fraction.size() > 4) return std::nullopt;
  // Nineteen significant digits fit in 64 bits unsigned; the range is
  // checked once the value is scaled.
  std::uint64_t scaled = 0;
  std::size_t digits = 0;
  for (std::string_view part : {whole, fraction}) {
    for (const char c : part) {
      if (c < '0' || c > '9') return std::nullopt;
      if ((scaled != 0 || c != '0') && ++digits > 19) return std::nullopt;
      scaled = scaled * 10 + static_cast<std::uint64_t>(c - '0');
    }
  }
  for (std::size_t i = fraction.size(); i < 4; ++i) {
    if (scaled > std::numeric_limits<std::uint64_t>::max() / 10) return std::nullopt;
    scaled *= 10;
  }
  const auto limit = static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max());
  if (scaled > limit + (negative ? 1 : 0)) return std::nullopt;
  return Currency{negative ? static_cast<std::int64_t>(0 - scaled) : static_cast<std::int64_t>(scaled)};
}

bool ColumnReader::ReadParts(Statement& statement, SQLUSMALLINT column, SQLSMALLINT cType, std::string& out) {
  const std::size_t terminator = cType == SQL_C_CHAR ? 1 : 0;
  buffer_.resize(kPartBytes);
  const std::size_t room = buffer_.size() - terminator;
  out.clear();
  for (;;) {
    SQLLEN indicator = 0;
    const SQLRETURN result = SQLGetData(statement.get(), column, cType, buffer_.data(),
                                        static_cast<SQLLEN>(buffer_.size()), &indicator);
    if (result == SQL_NO_DATA) return true;  // every part was read
    statement.Run(result);
    if (indicator == SQL_NULL_DATA) return false;
    const bool more = result == SQL_SUCCESS_WITH_INFO &&
                      (indicator == SQL_NO_TOTAL || static_cast<std::size_t>(indicator) > room);
    out.append(buffer_.data(), more ? room : static_cast<std::size_t>(indicator));
    if (!more) return true;
  }
}

Variant ColumnReader::Read(Statement& statement, SQLUSMALLINT column, SQLSMALLINT sqlType) {
  const auto fixed = [&](SQLSMALLINT cType, void* value, SQLLEN size) {
    SQLLEN indicator = 0;
    statement.Run(SQLGetData(statement.get(), column, cType, value, size, &indicator));
    return indicator != SQL_NULL_DATA;
  };
  switch (sqlType) {
    case SQL_SMALLINT:
    case SQL_TINYINT: {
      SQLINTEGER value = 0;
      if (!fixed(SQL_C_SLONG, &value, sizeof value)) return Variant::Null();
      if (value >= std::numeric_limits<Integer>::min() && value <= std::numeric_limits<Integer>::max())
        return static_cast<Integer>(value);
      return static_cast<Long>(value);
    }
    case SQL_INTEGER:
    case SQL_BIGINT: {
      SQLBIGINT value = 0;
      if (!fixed(SQL_C_SBIGINT, &value, sizeof value)) return Variant::Null();
      return WholeNumber(value);
    }
    case SQL_REAL: {
      SQLREAL value = 0;
      if (!fixed(SQL_C_FLOAT, &value, sizeof value)) return Variant::Null();
      return Single{value};
    }
    case SQL_FLOAT:
    case SQL_DOUBLE: {
      SQLDOUBLE value = 0;
      if (!fixed(SQL_C_DOUBLE, &value, sizeof value)) return Variant::Null();
      return double{value};
    }
    case SQL_BIT: {
      unsigned char value = 0;
      if (!fixed(SQL_C_BIT, &value, sizeof value)) return Variant::Null();
      return ToVariantBool(value != 0);
    }
    case SQL_DECIMAL:
    case SQL_NUMERIC: {
      if (!ReadParts(statement, column, SQL_C_CHAR, parts_)) return Variant::Null();
      if (const auto amount = ExactCurrency(parts_)) return *amount;
      double value = 0;
      const auto [end, error] = std::from_chars(parts_.data(), parts_.data() + parts_.size(), value);
      if (error != std::errc() || end != parts_.data() + parts_.size()) RaiseRuntimeError(kTypeMismatch);
      return value;
    }
    case SQL_TYPE_DATE:
    case SQL_DATE:
    case SQL_TYPE_TIMESTAMP:
    case SQL_TIMESTAMP: {
      SQL_TIMESTAMP_STRUCT value{};
      if (!fixed(SQL_C_TYPE_TIMESTAMP, &value, sizeof value)) return Variant::Null();
      return DateOf(value.year, value.month, value.day, value.hour, value.minute, value.second, value.fraction);
    }
    case SQL_TYPE_TIME:
    case SQL_TIME: {
      SQL_TIME_STRUCT value{};
      if (!fixed(SQL_C_TYPE_TIME, &value, sizeof value)) return Variant::Null();
      return Date{TimeSerial(value.hour, value.minute, value.second)};
    }
    case SQL_BINARY:
    case SQL_VARBINARY:
    case SQL_LONGVARBINARY: {
      if (!ReadParts(statement, column, SQL_C_BINARY, parts_)) return Variant::Null();
      return Variant::ByteArray(std::vector<Byte>(parts_.begin(), parts_.end()), 0);
    }
    default:
      if (!ReadParts(statement, column, SQL_C_CHAR, parts_)) return Variant::Null();
      return parts_;
  }
}

void ParameterBinding::Bind(Statement& statement, const std::vector<Variant>& values) {
  // Every slot is in place before the first is bound: the driver keeps
  // their addresses.
  slots_.assign(values.size(), Slot{});
  for (std::size_t i = 0; i < values.size(); ++i) {
    const Variant value = values[i].IsObject() ? ValueOf(values[i]) : values[i];
    Slot& slot = slots_[i];
    SQLSMALLINT cType = SQL_C_CHAR;
    SQLSMALLINT sqlType = SQL_VARCHAR;
    SQLULEN size = 1;
    SQLSMALLINT digits = 0;
    SQLPOINTER data = nullptr;
    SQLLEN capacity = 0;
    switch (value.Type()) {
      case VarType::Empty:
      case VarType::Null: slot.indicator = SQL_NULL_DATA; break;
      case VarType::Integer:
      case VarType::Long:
      case VarType::Byte:
      case VarType::Boolean:
        slot.integer = value.Type() == VarType::Boolean ? (IsTrue(*value.If<VariantBool>()) ? 1 : 0) : ToLong(value);
        cType = SQL_C_SBIGINT;
        sqlType = value.Type() == VarType::Boolean ? SQL_BIT : SQL_INTEGER;
        size = value.Type() == VarType::Boolean ? 1 : 10;
        data = &slot.integer;
        break;
      case VarType::Single:
      case VarType::Double:
        slot.real = ToDouble(value);
        cType = SQL_C_DOUBLE;
        sqlType = SQL_DOUBLE;
        size = 15;
        data = &slot.real;
        break;
      case VarType::Currency:
        slot.bytes = DecimalText(*value.If<Currency>());
        sqlType = SQL_DECIMAL;
        size = 19;
        digits = 4;
        break;
      case VarType::Date: {
        const DateParts parts = SplitDate(*value.If<Date>());
        slot.timestamp = {static_cast<SQLSMALLINT>(parts.year),   static_cast<SQLUSMALLINT>(parts.month),
                          static_cast<SQLUSMALLINT>(parts.day),    static_cast<SQLUSMALLINT>(parts.hour),
                          static_cast<SQLUSMALLINT>(parts.minute), static_cast<SQLUSMALLINT>(parts.second), 0};
        cType = SQL_C_TYPE_TIMESTAMP;
        sqlType = SQL_TYPE_TIMESTAMP;
        size = 19;
        data = &slot.timestamp;
        break;
      }
      case VarType::String:
        slot.bytes = *value.If<std::string>();
        size = std::max<SQLULEN>(1, slot.bytes.size());
        sqlType = size > kLongText ? SQL_LONGVARCHAR : SQL_VARCHAR;
        break;
      default:
        if (!IsByteArray(value)) RaiseRuntimeError(kTypeMismatch);
        slot.bytes = BytesOf(*value.If<ArrayRef>()->get());
        cType = SQL_C_BINARY;
        size = std::max<SQLULEN>(1, slot.bytes.size());
        sqlType = size > kLongBytes ? SQL_LONGVARBINARY : SQL_VARBINARY;
        break;
    }
    if (data == nullptr && slot.indicator != SQL_NULL_DATA) {
      data = slot.bytes.data();
      capacity = static_cast<SQLLEN>(slot.bytes.size());
      slot.indicator = capacity;
    }
    statement.Run(SQLBindParameter(statement.get(), static_cast<SQLUSMALLINT>(i + 1), SQL_PARAM_INPUT, cType,
                                   sqlType, size, digits, data, capacity, &slot.indicator));
  }
}

}  // namespace kelvane::host::adodb
