#include "host/vbscript/Lexer.h"

#include <cmath>
#include <limits>

#include "host/vbscript/AspTranslator.h"
#include "host/vbscript/ScriptError.h"
#include "platform/oleaut/AutomationError.h"
#include "platform/oleaut/Conversion.h"
#include "platform/oleaut/DateTime.h"
#include "platform/oleaut/Dispatch.h"

namespace kelvane::host::vbscript {

namespace {

using oleaut::FoldChar;
using oleaut::Variant;

bool IsNameStart(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || static_cast<unsigned char>(c) >= 0x80;
}
bool IsNameChar(char c) { return IsNameStart(c) || (c >= '0' && c <= '9') || c == '_'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

class Lexer {
 public:
  explicit Lexer(std::string_view program) : text_(program) {}

  std::vector<Token> Run() {
    // Room for the tokens of most programs, which take a few bytes each.
    tokens_.reserve(text_.size() / 4 + 16);
    while (true) {
      const bool space = SkipSpace();
      Token token;
      token.line = line_;
      token.spaceBefore = space;
      if (at_ >= text_.size()) {
        token.kind = TokenKind::End;
        tokens_.push_back(std::move(token));
        return std::move(tokens_);
      }
      Read(token);
      if (token.kind != TokenKind::End) tokens_.push_back(std::move(token));
    }
  }

 private:
  [[noreturn]] void Fail(std::int32_t number, const char* description) {
    throw CompileFailure(ScriptError{number, kCompileSource, description, {}, line_});
  }

  char Peek(std::size_t ahead = 0) const {
    return at_ + ahead < text_.size() ? text_[at_ + ahead] : '\0';
  }

  // Skips blanks and line continuations; true when it skipped any.
  bool SkipSpace() {
    const std::size_t start = at_;
    while (at_ < text_.size()) {
      const char c = text_[at_];
      if (c == ' ' || c == '\t' || c == '\r') {
        ++at_;
      } else if (c == '_' && IsContinuation()) {
        while (text_[at_] != '\n') ++at_;
        ++at_;
        ++line_;
      } else {
        break;
      }
    }
    return at_ != start;
  }

  // A '_' followed by nothing but blanks up to the line's end.
  bool IsContinuation() const {
    if (at_ > 0 && IsNameChar(text_[at_ - 1])) return false;
    for (std::size_t i = at_ + 1; i < text_.size(); ++i) {
      if (text_[i] == '\n') return true;
      if (text_[i] != ' ' && text_[i] != '\t' && text_[i] != '\r') return false;
    }
    return false;
  }

  void SkipComment() {
    while (at_ < text_.size() && text_[at_] != '\n') ++at_;
  }

  void Read(Token& token) {
    const char c = text_[at_];
    if (c == '\n') {
      token.kind = TokenKind::Newline;
      ++at_;
      ++line_;
      return;
    }
    if (c == '\'') {
      SkipComment();
      token.kind = TokenKind::End;  // nothing to add
      return;
    }
    if (IsNameStart(c)) return ReadName(token);
    if (c == '[') return ReadBracketName(token);
    if (IsDigit(c) || (c == '.' && IsDigit(Peek(1)))) return ReadNumber(token);
    const char radix = FoldChar(Peek(1));
    if (c == '&' && (radix == 'h' || radix == 'o') && IsRadixDigit(Peek(2), radix)) return ReadRadix(token);
    if (c == '"') return ReadString(token);
    if (c == '#') return ReadDate(token);
    if (c == kTextMarker) return ReadTextMarker(token);
    ++at_;
    switch (c) {
      case kWriteMarker: token.kind = TokenKind::WriteMark; return;
      case ':': token.kind = TokenKind::Colon; return;
      case '.': token.kind = TokenKind::Dot; return;
      case ',': token.kind = TokenKind::Comma; return;
      case '(': token.kind = TokenKind::LeftParen; return;
      case ')': token.kind = TokenKind::RightParen; return;
      case '+': token.kind = TokenKind::Plus; return;
      case '-': token.kind = TokenKind::Minus; return;
      case '*': token.kind = TokenKind::Star; return;
      case '/': token.kind = TokenKind::Slash; return;
      case '\\': token.kind = TokenKind::Backslash; return;
      case '^': token.kind = TokenKind::Caret; return;
      case '&': token.kind = TokenKind::Ampersand; return;
      // The comparisons may be written either way round: => =< ><.
      case '=':
        if (Peek() == '>') token.kind = TokenKind::GreaterEqual, ++at_;
        else if (Peek() == '<') token.kind = TokenKind::LessEqual, ++at_;
        else token.kind = TokenKind::Equal;
        return;
      case '<':
        if (Peek() == '>') token.kind = TokenKind::NotEqual, ++at_;
        else if (Peek() == '=') token.kind = TokenKind::LessEqual, ++at_;
        else token.kind = TokenKind::Less;
        return;
      case '>':
        if (Peek() == '=') token.kind = TokenKind::GreaterEqual, ++at_;
        else if (Peek() == '<') token.kind = TokenKind::NotEqual, ++at_;
        else token.kind = TokenKind::Greater;
        return;
      default: Fail(kInvalidCharacter, "Invalid character");
    }
  }

  void ReadName(Token& token) {
    const std::size_t start = at_;
    while (at_ < text_.size() && IsNameChar(text_[at_])) ++at_;
    token.kind = TokenKind::Name;
    token.spelling = text_.substr(start, at_ - start);
    token.text.reserve(at_ - start);
    for (std::size_t i = start; i < at_; ++i) token.text += FoldChar(text_[i]);
    const bool member = !tokens_.empty() && tokens_.back().kind == TokenKind::Dot;
    if (token.text == "rem" && !member) {
      SkipComment();
      token.kind = TokenKind::End;
    }
  }

  void ReadBracketName(Token& token) {
    const std::size_t end = text_.find_first_of("]\n", at_);
    if (end == std::string_view::npos || text_[end] != ']') Fail(kSyntaxError, "Expected ']'");
    token.kind = TokenKind::Name;
    token.bracketed = true;
    token.spelling = text_.substr(at_ + 1, end - at_ - 1);
    for (std::size_t i = at_ + 1; i < end; ++i) token.text += FoldChar(text_[i]);
    at_ = end + 1;
  }

  static bool IsRadixDigit(char c, char radix) {
    if (radix == 'o') return c >= '0' && c <= '7';
    return IsDigit(c) || (FoldChar(c) >= 'a' && FoldChar(c) <= 'f');
  }

  static int HexDigit(char c) { return IsDigit(c) ? c - '0' : FoldChar(c) - 'a' + 10; }

  // A hex or octal literal: its bits make an Integer when it has four hex
  // digits' worth or fewer and no '&' (&HFFFF is -1); otherwise they make a
  // 32-bit value, an Integer when that fits one (&HFFFFFFFF& is -1) and a
  // Long when not (&HFFFF& is 65535).
  void ReadRadix(Token& token) {
    const char radix = FoldChar(Peek(1));
    const unsigned base = radix == 'o' ? 8 : 16;
    at_ += 2;
    std::uint64_t bits = 0;
    while (at_ < text_.size() && IsRadixDigit(text_[at_], radix)) {
      bits = bits * base + static_cast<std::uint64_t>(HexDigit(text_[at_++]));
      if (bits > 0xFFFFFFFF) Fail(oleaut::kOverflow, "Overflow");
    }
    const bool longSuffix = Peek() == '&';
    if (longSuffix) ++at_;
    token.kind = TokenKind::Number;
    if (!longSuffix && bits <= 0xFFFF) {
      token.value = static_cast<oleaut::Integer>(static_cast<std::uint16_t>(bits));
      return;
    }
    const auto value = static_cast<oleaut::Long>(static_cast<std::uint32_t>(bits));
    if (value >= std::numeric_limits<oleaut::Integer>::min() && value <= std::numeric_limits<oleaut::Integer>::max())
      token.value = static_cast<oleaut::Integer>(value);
    else
      token.value = value;
  }

  double Parse(std::string_view literal) {
    try {
      const auto value = oleaut::ParseNumber(literal, oleaut::NumberFormat{});
      if (!value) Fail(kSyntaxError, "Syntax error");
      return *value;
    } catch (const oleaut::AutomationError&) {
      Fail(oleaut::kOverflow, "Overflow");
    }
  }

  void ReadNumber(Token& token) {
    const std::size_t start = at_;
    bool whole = true;
    while (IsDigit(Peek())) ++at_;
    if (Peek() == '.') {  // "10." is a Double
      whole = false;
      ++at_;
      while (IsDigit(Peek())) ++at_;
    }
    if (FoldChar(Peek()) == 'e' &&
        (IsDigit(Peek(1)) || ((Peek(1) == '-' || Peek(1) == '+') && IsDigit(Peek(2))))) {
      whole = false;
      at_ += 2;
      while (IsDigit(Peek())) ++at_;
    }
    const std::string_view literal = text_.substr(start, at_ - start);
    // Most literals are a few digits, read here; the rest as any number text.
    double value = 0;
    if (whole && literal.size() <= 9) {
      for (const char digit : literal) value = value * 10 + (digit - '0');
    } else {
      value = Parse(literal);
    }
    token.kind = TokenKind::Number;
    if (whole && value <= std::numeric_limits<oleaut::Integer>::max())
      token.value = static_cast<oleaut::Integer>(value);
    else if (whole && value <= std::numeric_limits<oleaut::Long>::max())
      token.value = static_cast<oleaut::Long>(value);
    else
      token.value = value;
    if (IsNameStart(Peek())) Fail(kExpectedEndOfStatement, "Expected end of statement");
  }

  void ReadString(Token& token) {
    ++at_;
    token.kind = TokenKind::String;
    while (true) {
      if (at_ >= text_.size() || text_[at_] == '\n') Fail(kUnterminatedString, "Unterminated string constant");
      if (text_[at_] == '"') {
        if (Peek(1) != '"') break;
        ++at_;
      }
      token.text += text_[at_++];
    }
    ++at_;
  }

  void ReadDate(Token& token) {
    const std::size_t end = text_.find_first_of("#\n", at_ + 1);
    if (end == std::string_view::npos || text_[end] != '#') Fail(kSyntaxError, "Expected '#'");
    const auto date = oleaut::ParseDate(text_.substr(at_ + 1, end - at_ - 1));
    if (!date) Fail(kSyntaxError, "Syntax error: no such date");
    token.kind = TokenKind::DateLiteral;
    token.value = *date;
    at_ = end + 1;
  }

  void ReadTextMarker(Token& token) {
    ++at_;
    long index = 0;
    for (int digits = 0; IsDigit(Peek()) && digits < 9; ++digits) index = index * 10 + (text_[at_++] - '0');
    token.kind = TokenKind::Text;
    token.value = static_cast<oleaut::Long>(index);
  }

  std::string_view text_;
  std::size_t at_ = 0;
  int line_ = 1;
  std::vector<Token> tokens_;
};

}  // namespace

std::vector<Token> Tokenize(std::string_view program) { return Lexer(program).Run(); }

}  // namespace kelvane::host::vbscript
