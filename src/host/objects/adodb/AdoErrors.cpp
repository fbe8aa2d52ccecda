#include "host/objects/adodb/AdoErrors.h"

#include <utility>

namespace kelvane::host::adodb {

namespace {

// SQLSTATEs by their first characters: the longest prefix that matches
// gives the number; anything else is the generic failure.
struct StateNumber {
  std::string_view prefix;
  std::int32_t number;
};

constexpr StateNumber kStateNumbers[] = {
    {"42S02", kNoSuchTable},     {"42P01", kNoSuchTable},        {"42", kCommandErrors},
    {"37", kCommandErrors},      {"23", kIntegrityViolation},    {"22001", kDataOverflow},
    {"22003", kDataOverflow},    {"22", kCannotConvert},         {"07002", kParametersMissing},
    {"07006", kErrorsOccurred},  {"28", kLoginFailed},           {"HYT00", kTimeoutExpired},
    {"HYT01", kTimeoutExpired},  {"HY008", kCanceled},           {"HYC00", kNotCapable},
    {"HY024", kErrorsOccurred},
};

// A driver that reports every failure as the general error HY000
// (SQLite's) still says in its message what went wrong: the words that
// tell the SQL is at fault.
struct MessageNumber {
  std::string_view words;
  std::int32_t number;
};

constexpr MessageNumber kGeneralErrorMessages[] = {
    {"no such table", kNoSuchTable},
    {"syntax error", kCommandErrors},
    {"no such column", kCommandErrors},
};

std::int32_t NumberFor(const DriverRecord& record) {
  if (record.sqlState == "HY000") {
    for (const auto& entry : kGeneralErrorMessages)
      if (record.message.find(entry.words) != std::string::npos) return entry.number;
  }
  return NumberForState(record.sqlState);
}

std::string TextOf(std::int32_t number) {
  switch (number) {
    case kNoCurrentRecord:
      return "Either BOF or EOF is True, or the current record has been deleted. Requested operation "
             "requires a current record.";
    case kWrongArguments:
      return "Arguments are of the wrong type, are out of acceptable range, or are in conflict with one "
             "another.";
    case kOpeningFile: return "File could not be opened.";
    case kWriteFile: return "Write to file failed.";
    case kNotAllowedHere: return "Operation is not allowed in this context.";
    case kNotInCollection:
      return "Item cannot be found in the collection corresponding to the requested name or ordinal.";
    case kObjectClosed: return "Operation is not allowed when the object is closed.";
    case kObjectOpen: return "Operation is not allowed when the object is open.";
    case kConnectionNotUsable:
      return "The connection cannot be used to perform this operation. It is either closed or invalid in "
             "this context.";
    case kNotCapable: return "Object or provider is not capable of performing requested operation.";
    case kCannotFetchBackward: return "Rowset does not support fetching backward.";
    case kCannotRestart: return "Rowset position cannot be restarted.";
    case kRowNotFound:
      return "Row cannot be located for updating. Some values may have been changed since it was last read.";
    default: return oleaut::RuntimeErrorText(number);
  }
}

std::string DescriptionOf(const std::vector<DriverRecord>& records) {
  return records.empty() ? std::string("The driver failed without saying why.") : records.front().message;
}

}  // namespace

std::int32_t NumberForState(std::string_view sqlState) {
  const StateNumber* best = nullptr;
  for (const auto& entry : kStateNumbers) {
    if (sqlState.starts_with(entry.prefix) && (best == nullptr || entry.prefix.size() > best->prefix.size()))
      best = &entry;
  }
  return best != nullptr ? best->number : kGenericFailure;
}

DatabaseError::DatabaseError(std::string source, std::vector<DriverRecord> records)
    : AutomationError(records.empty() ? kGenericFailure : NumberFor(records.front()),
                      std::move(source), DescriptionOf(records)),
      records_(std::move(records)) {}

void RaiseAdo(std::int32_t number, const char* source) {
  throw oleaut::AutomationError(number, source, TextOf(number));
}

}  // namespace kelvane::host::adodb
