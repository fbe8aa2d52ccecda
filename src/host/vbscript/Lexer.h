#pragma once
// Splits a translated VBScript program into tokens. Names are folded to
// lower case (the language ignores case); ':' and line ends end statements,
// " _" at a line's end continues it; ' and Rem start comments (Rem after a
// '.' is a member's name).

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/oleaut/Variant.h"

namespace kelvane::host::vbscript {

enum class TokenKind : std::uint8_t {
  End,
  Newline,
  Colon,
  Name,
  Number,
  String,
  DateLiteral,
  Text,       // a text block of the page: `value` holds its index
  WriteMark,  // <%= starts here
  Dot,
  Comma,
  LeftParen,
  RightParen,
  Plus,
  Minus,
  Star,
  Slash,
  Backslash,
  Caret,
  Ampersand,
  Equal,
  NotEqual,
  Less,
  Greater,
  LessEqual,
  GreaterEqual,
};

struct Token {
  TokenKind kind = TokenKind::End;
  int line = 0;
  bool spaceBefore = false;
  bool bracketed = false;  // a name written in [ ]: never a keyword
  std::string text;             // a name folded to lower case, or a string's value
  std::string_view spelling;    // a name as written, in the program's text
  oleaut::Variant value;  // a number's or date's value
};

// The tokens of `program`, ending with End; they refer to its text. Raises CompileFailure (with the
// program line) for a character that starts no token, an unterminated
// string or date, or a number too large.
std::vector<Token> Tokenize(std::string_view program);

}  // namespace kelvane::host::vbscript
