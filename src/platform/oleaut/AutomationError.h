#pragma once
// The automation error: what a failed dispatch call hands to the script.

#include <cstdint>
#include <stdexcept>
#include <string>

namespace kelvane::oleaut {

// Runtime error numbers used across the component.
enum RuntimeErrorNumber : std::int32_t {
  kUnknownRuntimeError = 1,
  kInvalidProcedureCall = 5,
  kOverflow = 6,
  kOutOfMemory = 7,
  kSubscriptOutOfRange = 9,
  kArrayFixedOrLocked = 10,
  kDivisionByZero = 11,
  kTypeMismatch = 13,
  kOutOfStackSpace = 28,
  kProcedureNotDefined = 35,
  kBadFileNameOrNumber = 52,
  kFileNotFound = 53,
  kBadFileMode = 54,
  kFileAlreadyExists = 58,
  kDiskFull = 61,
  kInputPastEndOfFile = 62,
  kTooManyFiles = 67,
  kPermissionDenied = 70,
  kPathFileAccessError = 75,
  kPathNotFound = 76,
  kObjectNotSet = 91,
  kForLoopNotInitialized = 92,
  kInvalidUseOfNull = 94,
  kInvalidPropertyValue = 380,
  kObjectRequired = 424,
  kCannotCreateObject = 429,
  kMemberNotFound = 438,
  kActionNotSupported = 445,
  kArgumentNotOptional = 449,
  kWrongArgumentCount = 450,
  kNotACollection = 451,
  kUnsupportedAutomationType = 458,
  kInvalidPicture = 481,
  kVariableUndefined = 500,
  kIllegalAssignment = 501,
  kUnqualifiedReference = 505,
  kClassNotDefined = 506,
};

class AutomationError : public std::runtime_error {
 public:
  AutomationError(std::int32_t number, std::string source, std::string description,
                  std::string helpFile = {}, std::int32_t helpContext = 0);

  std::int32_t Number() const noexcept { return number_; }
  const std::string& Source() const noexcept { return source_; }
  const std::string& Description() const noexcept { return description_; }
  const std::string& HelpFile() const noexcept { return helpFile_; }
  std::int32_t HelpContext() const noexcept { return helpContext_; }

 private:
  std::int32_t number_;
  std::string source_;
  std::string description_;
  std::string helpFile_;
  std::int32_t helpContext_;
};

// The runtime's text for a runtime error number ("Overflow", ...);
// "Application-defined or object-defined error" for numbers it does not know.
const char* RuntimeErrorText(std::int32_t number) noexcept;

// The runtime error number an HRESULT stands for: the runtime's own
// (0x800A0000 | n) is n, the system's and automation's known failures their
// runtime numbers (E_OUTOFMEMORY is 7); anything else is itself.
std::int32_t RuntimeNumberOf(std::int32_t hresult) noexcept;

// Raises the runtime error `number` with its text, sourced from the current
// error source (ErrorSourceScope): this component's module name unless a
// script engine runs a page's own code.
[[noreturn]] void RaiseRuntimeError(std::int32_t number);

// Names the source of the runtime errors the calling thread raises while it
// lives: a script engine names itself around a page's code, and names the
// module again (nullptr) around each call into an object. `source` must
// outlive the scope.
class ErrorSourceScope {
 public:
  explicit ErrorSourceScope(const char* source) noexcept;
  ~ErrorSourceScope();
  ErrorSourceScope(const ErrorSourceScope&) = delete;
  ErrorSourceScope& operator=(const ErrorSourceScope&) = delete;

 private:
  const char* outer_;
};

// Runs one step of a routine that ignores its errors: an automation error
// the step raises is dropped, and whatever the step had not yet assigned
// keeps its value. Anything else (a bug, no memory) still propagates.
template <class Step>
void SkipOnError(Step&& step) {
  try {
    step();
  } catch (const AutomationError&) {
  }
}

}  // namespace kelvane::oleaut
