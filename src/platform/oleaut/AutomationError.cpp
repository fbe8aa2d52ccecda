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
    case kUnknownRuntimeError: return "Unknown runtime error";
    case kInvalidProcedureCall: return "Invalid procedure call or argument";
    case kOverflow: return "Overflow";
    case kOutOfMemory: return "Out of memory";
    case kSubscriptOutOfRange: return "Subscript out of range";
    case kArrayFixedOrLocked: return "This array is fixed or temporarily locked";
    case kDivisionByZero: return "Division by zero";
    case kTypeMismatch: return "Type mismatch";
    case kOutOfStackSpace: return "Out of stack space";
    case kProcedureNotDefined: return "Sub or Function not defined";
    case kBadFileNameOrNumber: return "Bad file name or number";
    case kFileNotFound: return "File not found";
    case kBadFileMode: return "Bad file mode";
    case kFileAlreadyExists: return "File already exists";
    case kDiskFull: return "Disk full";
    case kInputPastEndOfFile: return "Input past end of file";
    case kTooManyFiles: return "Too many files";
    case kPermissionDenied: return "Permission denied";
    case kPathFileAccessError: return "Path/File access error";
    case kPathNotFound: return "Path not found";
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
    case kArgumentNotOptional: return "Argument not optional";
    case kUnsupportedAutomationType: return "Variable uses an Automation type not supported in VBScript";
    case kInvalidPicture: return "Invalid picture";
    case kVariableUndefined: return "Variable is undefined";
    case kIllegalAssignment: return "Illegal assignment";
    case kUnqualifiedReference: return "Invalid or unqualified reference";
    case kClassNotDefined: return "Class not defined";
    default: return "Application-defined or object-defined error";
  }
}

std::int32_t RuntimeNumberOf(std::int32_t hresult) noexcept {
  struct Mapping {
    std::uint32_t hresult;
    std::int32_t number;
  };
  static constexpr Mapping kKnown[] = {
      {0x80004001, kActionNotSupported}, {0x80004002, 430}, {0x80020001, kMemberNotFound},
      {0x80020003, kMemberNotFound}, {0x80020004, 448}, {0x80020005, kTypeMismatch},
      {0x80020006, kMemberNotFound}, {0x80020007, 446}, {0x80020008, kUnsupportedAutomationType},
      {0x8002000A, kOverflow}, {0x8002000B, kSubscriptOutOfRange}, {0x8002000C, 447},
      {0x8002000D, kArrayFixedOrLocked}, {0x8002000E, kWrongArgumentCount},
      {0x8002000F, kArgumentNotOptional}, {0x80020011, 451}, {0x80040154, kCannotCreateObject},
      {0x80070005, kPermissionDenied}, {0x8007000E, kOutOfMemory}, {0x80070057, kInvalidProcedureCall},
      {0x80080005, kCannotCreateObject},
  };
  const auto bits = static_cast<std::uint32_t>(hresult);
  if ((bits & 0xFFFF0000u) == 0x800A0000u) return static_cast<std::int32_t>(bits & 0xFFFF);
  for (const auto& known : kKnown)
    if (known.hresult == bits) return known.number;
  return hresult;
}

namespace {

thread_local const char* errorSource = nullptr;

}  // namespace

ErrorSourceScope::ErrorSourceScope(const char* source) noexcept : outer_(errorSource) {
  errorSource = source;
}

ErrorSourceScope::~ErrorSourceScope() { errorSource = outer_; }

void RaiseRuntimeError(std::int32_t number) {
  throw AutomationError(number, errorSource != nullptr ? errorSource : ModuleName(),
                        RuntimeErrorText(number));
}

void RaiseOverflow() { RaiseRuntimeError(kOverflow); }

}  // namespace kelvane::oleaut
