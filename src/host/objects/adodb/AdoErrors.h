#pragma once
// The errors the database objects raise: ADO's own (a record past the end,
// an object closed or open) and the driver's, numbered from the SQLSTATE
// of the driver's first record (for the general HY000, from its message).

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/oleaut/AutomationError.h"

namespace kelvane::host::adodb {

// ADO's numbers.
enum AdoErrorNumber : std::int32_t {
  kNoCurrentRecord = 3021,        // EOF or BOF
  kWrongArguments = 3001,         // arguments of the wrong type or range
  kOpeningFile = 3002,            // a stream's file could not be opened
  kWriteFile = 3004,              // a stream's file could not be written
  kNotAllowedHere = 3219,         // not allowed in this context
  kNotInCollection = 3265,        // no item of that name or ordinal
  kObjectClosed = 3704,           // operation not allowed when closed
  kObjectOpen = 3705,             // operation not allowed when open
  kConnectionNotUsable = 3709,    // the connection is closed or invalid here
  kNotCapable = 3251,             // the provider or cursor cannot do it
  kProviderNotFound = 3706,       // no such provider or driver here
  kGenericFailure = -2147467259,  // E_FAIL: what the driver says, no more
  kCommandErrors = -2147217900,   // DB_E_ERRORSINCOMMAND: the SQL is wrong
  kNoSuchTable = -2147217865,     // DB_E_NOTABLE
  kIntegrityViolation = -2147217873,
  kDataOverflow = -2147217833,
  kCannotConvert = -2147217913,
  kParametersMissing = -2147217904,
  kLoginFailed = -2147217843,
  kTimeoutExpired = -2147217871,
  kCanceled = -2147217842,
  kErrorsOccurred = -2147217887,  // DB_E_ERRORSOCCURRED: a value or option refused
  kCannotFetchBackward = -2147217884,
  kCannotRestart = -2147217896,
  kRowNotFound = -2147217864,     // DB_E_DELETEDROW: the row to change is no longer there
};

// One diagnostic record of the driver.
struct DriverRecord {
  std::string sqlState;
  std::int32_t nativeError = 0;
  std::string message;
};

// The ADO number for a driver's SQLSTATE.
std::int32_t NumberForState(std::string_view sqlState);

// A failed driver call: the automation error of its first record, with
// every record for the connection's Errors collection.
class DatabaseError : public oleaut::AutomationError {
 public:
  DatabaseError(std::string source, std::vector<DriverRecord> records);
  const std::vector<DriverRecord>& Records() const { return records_; }

 private:
  std::vector<DriverRecord> records_;
};

// Raises ADO's error `number` with its text.
[[noreturn]] void RaiseAdo(std::int32_t number, const char* source);

}  // namespace kelvane::host::adodb
