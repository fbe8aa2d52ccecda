#include "platform/oleaut/AutomationError.h"

#include <utility>

#include "platform/oleaut/ModuleName.h"
#include "platform/oleaut/Numbers.h"

namespace kelvane::oleaut {

AutomationError::AutomationError(std::int32_t number, std::string source, std::string description,
                                 std::string helpFile, std::int32_t helpContext)
    : std::runtime_error(description),
      number_(number),
      source_(std::move(source)),
      description_(std::move(description)),
      helpFile_(std::move(helpFile)),
      helpContext_(helpContext) {}

const char* RuntimeErrorText(std::int32_t number) noexcept {
  switch (number) {
    case kInvalidProcedureCall: return "Invalid procedure call or argument";
    case kOverflow: return "Overflow";
    case kOutOfMemory: return "Out of memory";
    case kSubscriptOutOfRange: return "Subscript out of range";
    case kArrayFixedOrLocked: return "This array is fixed or temporarily locked";
    case kDivisionByZero: return "Division by zero";
    case kTypeMismatch: return "Type mismatch";
    case kOutOfStackSpace: return "Out of stack space";
    case kProcedureNotDefined: return "Sub or Function not defined";
    case kFileNotFound: return "File not found";
    case kPathFileAccessError: return "Path/File access error";
    case kObjectNotSet: return "Object variable or With block variable not set";
    case kForLoopNotInitialized: return "For loop not initialized";
    case kInvalidUseOfNull: return "Invalid use of Null";
    case kInvalidPropertyValue: return "Invalid property value";
    case kObjectRequired: return "Object required";
    case kCannotCreateObject: return "ActiveX component can't create object";
    case kMemberNotFound: return "Object doesn't support this property or method";
    case kActionNotSupported: return "Object doesn't support this action";
    case kWrongArgumentCount: return "Wrong number of arguments or invalid property assignment";
    case kNotACollection: return "Object not a collection";
    case kInvalidPicture: return "Invalid picture";
    case kVariableUndefined: return "Variable is undefined";
    case kIllegalAssignment: return "Illegal assignment";
    case kUnqualifiedReference: return "Invalid or unqualified reference";
    case kClassNotDefined: return "Class not defined";
    default: return "Application-defined or object-defined error";
  }
}

void RaiseRuntimeError(std::int32_t number) {
  throw AutomationError(number, ModuleName(), RuntimeErrorText(number));
}

void RaiseOverflow() { RaiseRuntimeError(kOverflow); }

}  // namespace kelvane::oleaut
