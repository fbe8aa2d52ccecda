#pragma once
// The errors ADODB.Stream raises, with ADO's numbers and texts.

#include <cstdint>

#include "platform/oleaut/AutomationError.h"

namespace kelvane::host::adodb {

enum StreamError : std::int32_t {
  kInvalidArgument = 3001,
  kOpeningFile = 3002,
  kWriteFile = 3004,
  kIllegalOperation = 3219,
  kObjectClosed = 3704,
  kObjectOpen = 3705,
};

[[noreturn]] inline void RaiseStreamError(StreamError number) {
  const char* description = "";
  switch (number) {
    case kInvalidArgument:
      description = "Arguments are of the wrong type, are out of acceptable range, or are in conflict with one another.";
      break;
    case kOpeningFile: description = "File could not be opened."; break;
    case kWriteFile: description = "Write to file failed."; break;
    case kIllegalOperation: description = "Operation is not allowed in this context."; break;
    case kObjectClosed: description = "Operation is not allowed when the object is closed."; break;
    case kObjectOpen: description = "Operation is not allowed when the object is open."; break;
  }
  throw oleaut::AutomationError(number, "ADODB.Stream", description);
}

}  // namespace kelvane::host::adodb
