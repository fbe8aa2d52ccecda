#pragma once
// The pattern language of RegExp, read and written out as a PCRE2 pattern
// (for PCRE2_UTF) that matches the same texts:
// - `.` and, with Multiline, `^` and `$` treat \n, \r, U+2028 and U+2029 as
//   line ends; without Multiline `^` and `$` hold only at the ends of the text;
// - \d \w \s and \b are ASCII; \v is U+000B; \cX a control character;
//   \xHH, \uHHHH (a surrogate pair is one character) and octal escapes;
// - \N is a backreference when the pattern has N groups, else an octal
//   escape or a digit; a backreference to a group that took no part matches "";
// - [] matches nothing and [^] anything; a { that begins no quantifier is
//   literal, as is a \ before a letter that is no escape (\A is "A");
// - groups are (...), (?:...), (?=...) and (?!...); nothing else of PCRE2's
//   own syntax (verbs, lookbehind, named groups, \Q, \p) can be written.
// Refusals are automation errors: 5018 a quantifier with nothing to repeat,
// 5019 a [ without its ], 5020 a ( without its ), 5021 a range whose ends
// are reversed, 5017 any other fault.

#include <cstdint>
#include <string>
#include <string_view>

namespace kelvane::host::vbscript {

enum RegExpErrorNumber : std::int32_t {
  kRegExpSyntax = 5017,
  kUnexpectedQuantifier = 5018,
  kExpectedBracket = 5019,
  kExpectedParenthesis = 5020,
  kInvalidRange = 5021,
};

struct TranslatedPattern {
  std::string text;         // the PCRE2 pattern
  std::uint32_t groups = 0;  // capturing groups
};

TranslatedPattern TranslatePattern(std::string_view pattern, bool multiline);

// Raises the RegExp error `number` with its text.
[[noreturn]] void RaiseRegExpError(std::int32_t number);

}  // namespace kelvane::host::vbscript
