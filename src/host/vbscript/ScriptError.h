#pragma once
// What a page that fails reports: the error's number, source and
// description, and the file and line of the page where it happened.

#include <cstdint>
#include <stdexcept>
#include <string>

namespace kelvane::host::vbscript {

struct ScriptError {
  std::int32_t number = 0;
  std::string source;
  std::string description;
  std::string file;  // site-relative, '/' separated
  int line = 0;      // 1-based; 0 when no line applies
  bool timedOut = false;  // stopped at its deadline, not a script error
};

// Compile error numbers and their texts.
enum CompileErrorNumber : std::int32_t {
  kSyntaxError = 1002,
  kExpectedLeftParen = 1005,
  kExpectedRightParen = 1006,
  kExpectedIdentifier = 1010,
  kExpectedStatement = 1024,
  kExpectedEndOfStatement = 1025,
  kUnterminatedString = 1033,
  kNameRedefined = 1041,
  kParenthesesOnSubCall = 1044,
  kInvalidCharacter = 1032,
  kUnsupported = 1050,  // a part of the language this engine refuses
};

constexpr char kCompileSource[] = "Microsoft VBScript compilation error";
constexpr char kRuntimeSource[] = "Microsoft VBScript runtime error";

// Thrown while a page is translated or compiled.
class CompileFailure : public std::runtime_error {
 public:
  explicit CompileFailure(ScriptError error)
      : std::runtime_error(error.description), error_(std::move(error)) {}
  const ScriptError& Error() const { return error_; }

 private:
  ScriptError error_;
};

}  // namespace kelvane::host::vbscript
