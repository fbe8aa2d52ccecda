#include "host/vbscript/RegExpSyntax.h"

#include <cstdio>
#include <optional>

#include "host/vbscript/ScriptError.h"
#include "host/vbscript/Text.h"
#include "platform/oleaut/AutomationError.h"

namespace kelvane::host::vbscript {

namespace {

// What `.` does not match, and what Multiline's ^ and $ stand next to.
#define KELVANE_LINE_ENDS "\\n\\r\\x{2028}\\x{2029}"
constexpr char kDot[] = "[^" KELVANE_LINE_ENDS "]";
constexpr char kLineStart[] = "(?<![^" KELVANE_LINE_ENDS "])";
constexpr char kLineEnd[] = "(?![^" KELVANE_LINE_ENDS "])";
#undef KELVANE_LINE_ENDS
constexpr char kNothing[] = "(?!)";
constexpr char kAnything[] = "[\\s\\S]";

constexpr std::uint32_t kQuantifierMax = 65535;

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsOctal(char c) { return c >= '0' && c <= '7'; }
bool IsLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool IsSurrogate(std::uint32_t code) { return code >= 0xD800 && code <= 0xDFFF; }

int HexValue(char c) {
  if (IsDigit(c)) return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

void AppendCode(std::string& out, std::uint32_t code) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "\\x{%x}", code);
  out += buffer;
}

// One element of a pattern as an escape or a character gives it.
struct Atom {
  enum Kind { Char, Class, Assertion, Backreference } kind = Char;
  std::uint32_t code = 0;  // Char: the character; Backreference: the group
  std::string_view text;   // Class and Assertion: the PCRE2 spelling
};

class Translator {
 public:
  Translator(std::string_view pattern, bool multiline) : p_(pattern), multiline_(multiline) {}

  TranslatedPattern Run() {
    groups_ = CountGroups();
    out_.reserve(p_.size() * 2);
    int depth = 0;
    bool repeatable = false;  // whether a quantifier may follow
    while (More()) {
      const char c = p_[at_++];
      switch (c) {
        case '\\': {
          const Atom atom = ReadEscape(false);
          Emit(atom);
          repeatable = atom.kind != Atom::Assertion;
          break;
        }
        case '[':
          ReadClass();
          repeatable = true;
          break;
        case '(':
          out_ += '(';
          if (Peek(0) == '?') {
            const char kind = Peek(1);
            if (kind != ':' && kind != '=' && kind != '!') RaiseRegExpError(kRegExpSyntax);
            out_ += '?';
            out_ += kind;
            at_ += 2;
          }
          ++depth;
          repeatable = false;
          break;
        case ')':
          if (depth == 0) RaiseRegExpError(kRegExpSyntax);
          --depth;
          out_ += ')';
          repeatable = true;
          break;
        case '*':
        case '+':
        case '?':
          Quantifier(repeatable, std::string(1, c));
          repeatable = false;
          break;
        case '{':
          if (auto braces = ReadBraces()) {
            Quantifier(repeatable, *braces);
            repeatable = false;
          } else {
            out_ += "\\{";
            repeatable = true;
          }
          break;
        case '^':
          out_ += multiline_ ? kLineStart : "\\A";
          repeatable = false;
          break;
        case '$':
          out_ += multiline_ ? kLineEnd : "\\z";
          repeatable = false;
          break;
        case '.':
          out_ += kDot;
          repeatable = true;
          break;
        case '|':
          out_ += '|';
          repeatable = false;
          break;
        default:
          --at_;
          Emit(Atom{Atom::Char, ReadChar(), {}});
          repeatable = true;
      }
    }
    if (depth > 0) RaiseRegExpError(kExpectedParenthesis);
    return {std::move(out_), groups_};
  }

 private:
  bool More() const { return at_ < p_.size(); }
  char Peek(std::size_t ahead) const { return at_ + ahead < p_.size() ? p_[at_ + ahead] : '\0'; }

  // The capturing groups of the whole pattern: a backreference may come
  // before its group.
  std::uint32_t CountGroups() const {
    std::uint32_t count = 0;
    bool inClass = false;
    for (std::size_t i = 0; i < p_.size(); ++i) {
      const char c = p_[i];
      if (c == '\\') {
        ++i;
      } else if (inClass) {
        inClass = c != ']';
      } else if (c == '[') {
        inClass = true;
        if (i + 1 < p_.size() && p_[i + 1] == '^') ++i;
        if (i + 1 < p_.size() && p_[i + 1] == ']') ++i, inClass = false;
      } else if (c == '(' && (i + 1 == p_.size() || p_[i + 1] != '?')) {
        ++count;
      }
    }
    return count;
  }

  // The character at the cursor, one UTF-8 sequence.
  std::uint32_t ReadChar() {
    const std::uint32_t code = FirstCodePoint(p_.substr(at_));
    ++at_;
    while (More() && (static_cast<unsigned char>(p_[at_]) & 0xC0) == 0x80) ++at_;
    return code;
  }

  // `count` hex digits at the cursor, taken; nullopt, taking none, when
  // there are fewer.
  std::optional<std::uint32_t> ReadHex(std::size_t count) {
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < count; ++i) {
      const int digit = HexValue(Peek(i));
      if (digit < 0) return std::nullopt;
      value = value * 16 + static_cast<std::uint32_t>(digit);
    }
    at_ += count;
    return value;
  }

  // The escape whose backslash was just read.
  Atom ReadEscape(bool inClass) {
    if (!More()) RaiseRegExpError(kRegExpSyntax);
    const char c = p_[at_];
    const auto take = [&](Atom atom) {
      ++at_;
      return atom;
    };
    switch (c) {
      case 'b': return take(inClass ? Atom{Atom::Char, 8, {}} : Atom{Atom::Assertion, 0, "\\b"});
      case 'B': return take(inClass ? Atom{Atom::Char, 'B', {}} : Atom{Atom::Assertion, 0, "\\B"});
      case 'd': return take({Atom::Class, 0, "\\d"});
      case 'D': return take({Atom::Class, 0, "\\D"});
      case 'w': return take({Atom::Class, 0, "\\w"});
      case 'W': return take({Atom::Class, 0, "\\W"});
      case 's': return take({Atom::Class, 0, "\\s"});
      case 'S': return take({Atom::Class, 0, "\\S"});
      case 'f': return take({Atom::Char, '\f', {}});
      case 'n': return take({Atom::Char, '\n', {}});
      case 'r': return take({Atom::Char, '\r', {}});
      case 't': return take({Atom::Char, '\t', {}});
      case 'v': return take({Atom::Char, '\v', {}});
      case 'c': {
        const char letter = Peek(1);
        if (IsLetter(letter) || (inClass && (IsDigit(letter) || letter == '_'))) {
          at_ += 2;
          return {Atom::Char, static_cast<std::uint32_t>(letter) % 32, {}};
        }
        // No control letter: the backslash stands for itself.
        return {Atom::Char, '\\', {}};
      }
      case 'x':
      case 'u': {
        ++at_;
        const std::optional<std::uint32_t> code = ReadHex(c == 'x' ? 2 : 4);
        if (!code) return {Atom::Char, static_cast<std::uint32_t>(c), {}};
        if (c == 'u' && *code >= 0xD800 && *code < 0xDC00 && Peek(0) == '\\' && Peek(1) == 'u') {
          const std::size_t mark = at_;
          at_ += 2;
          if (const auto low = ReadHex(4); low && *low >= 0xDC00 && *low <= 0xDFFF)
            return {Atom::Char, 0x10000 + ((*code - 0xD800) << 10) + (*low - 0xDC00), {}};
          at_ = mark;
        }
        return {Atom::Char, *code, {}};
      }
      default: break;
    }
    if (IsDigit(c)) return ReadNumberEscape(inClass);
    return {Atom::Char, ReadChar(), {}};
  }

  // \N: a backreference to an existing group outside a class; else up to
  // three octal digits (at most \377); else the digit 8 or 9.
  Atom ReadNumberEscape(bool inClass) {
    if (!inClass && p_[at_] != '0') {
      std::uint32_t group = 0;
      std::size_t end = at_;
      while (end < p_.size() && IsDigit(p_[end]) && group <= groups_)
        group = group * 10 + static_cast<std::uint32_t>(p_[end++] - '0');
      if (group <= groups_) {
        at_ = end;
        return {Atom::Backreference, group, {}};
      }
    }
    if (!IsOctal(p_[at_])) return {Atom::Char, static_cast<std::uint32_t>(p_[at_++]), {}};
    const std::size_t most = p_[at_] <= '3' ? 3 : 2;
    std::uint32_t code = 0;
    for (std::size_t i = 0; i < most && More() && IsOctal(p_[at_]); ++i)
      code = code * 8 + static_cast<std::uint32_t>(p_[at_++] - '0');
    return {Atom::Char, code, {}};
  }

  // {n}, {n,} or {n,m} after the {, taken and written as PCRE2's; nullopt,
  // taking nothing, when the brace begins no quantifier.
  std::optional<std::string> ReadBraces() {
    std::size_t i = at_;
    const auto number = [&]() -> std::optional<std::uint32_t> {
      if (i >= p_.size() || !IsDigit(p_[i])) return std::nullopt;
      std::uint32_t value = 0;
      for (; i < p_.size() && IsDigit(p_[i]); ++i)
        value = std::min<std::uint32_t>(value * 10 + static_cast<std::uint32_t>(p_[i] - '0'), kQuantifierMax + 1);
      return value;
    };
    const std::optional<std::uint32_t> least = number();
    if (!least) return std::nullopt;
    std::optional<std::uint32_t> most = least;
    bool open = false;
    if (i < p_.size() && p_[i] == ',') {
      ++i;
      most = number();
      open = !most;
    }
    if (i >= p_.size() || p_[i] != '}') return std::nullopt;
    at_ = i + 1;
    if (*least > kQuantifierMax || (most && *most > kQuantifierMax) || (most && *most < *least))
      RaiseRegExpError(kRegExpSyntax);
    std::string text = "{" + std::to_string(*least);
    if (open) text += ",";
    else if (*most != *least) text += "," + std::to_string(*most);
    return text + "}";
  }

  void Quantifier(bool repeatable, const std::string& text) {
    if (!repeatable) RaiseRegExpError(kUnexpectedQuantifier);
    out_ += text;
    if (Peek(0) == '?') {
      out_ += '?';
      ++at_;
    }
  }

  void Emit(const Atom& atom) {
    switch (atom.kind) {
      case Atom::Class:
      case Atom::Assertion: out_ += atom.text; return;
      case Atom::Backreference: out_ += "\\g{" + std::to_string(atom.code) + "}"; return;
      case Atom::Char:
        if (IsSurrogate(atom.code)) out_ += kNothing;
        else if (atom.code < 0x80 && (IsLetter(static_cast<char>(atom.code)) || IsDigit(static_cast<char>(atom.code))))
          out_ += static_cast<char>(atom.code);
        else AppendCode(out_, atom.code);
        return;
    }
  }

  // The characters from `first` to `last` but the surrogates, which no
  // UTF-8 text holds.
  static void AppendRange(std::string& body, std::uint32_t first, std::uint32_t last) {
    const auto append = [&](std::uint32_t from, std::uint32_t to) {
      if (from > to) return;
      AppendCode(body, from);
      if (to == from) return;
      body += '-';
      AppendCode(body, to);
    };
    if (last < 0xD800 || first > 0xDFFF) return append(first, last);
    append(first, 0xD7FF);
    append(std::max<std::uint32_t>(first, 0xE000), last);
  }

  static void AppendClassAtom(std::string& body, const Atom& atom) {
    if (atom.kind == Atom::Class) body += atom.text;
    else AppendRange(body, atom.code, atom.code);
  }

  // A character class, after its [.
  void ReadClass() {
    const bool negated = Peek(0) == '^';
    if (negated) ++at_;
    std::string body;
    while (true) {
      if (!More()) RaiseRegExpError(kExpectedBracket);
      if (p_[at_] == ']') {
        ++at_;
        break;
      }
      const Atom first = ReadClassAtom();
      if (Peek(0) != '-' || Peek(1) == ']' || at_ + 1 >= p_.size()) {
        AppendClassAtom(body, first);
        continue;
      }
      ++at_;
      const Atom last = ReadClassAtom();
      if (first.kind == Atom::Char && last.kind == Atom::Char) {
        if (first.code > last.code) RaiseRegExpError(kInvalidRange);
        AppendRange(body, first.code, last.code);
      } else {
        // A class escape at either end makes no range: the - is itself.
        AppendClassAtom(body, first);
        body += "\\-";
        AppendClassAtom(body, last);
      }
    }
    if (body.empty()) {
      out_ += negated ? kAnything : kNothing;
      return;
    }
    out_ += negated ? "[^" : "[";
    out_ += body;
    out_ += ']';
  }

  Atom ReadClassAtom() {
    if (p_[at_] != '\\') return {Atom::Char, ReadChar(), {}};
    ++at_;
    return ReadEscape(true);
  }

  std::string_view p_;
  bool multiline_;
  std::size_t at_ = 0;
  std::uint32_t groups_ = 0;
  std::string out_;
};

}  // namespace

TranslatedPattern TranslatePattern(std::string_view pattern, bool multiline) {
  return Translator(pattern, multiline).Run();
}

void RaiseRegExpError(std::int32_t number) {
  const char* text = "Syntax error in regular expression";
  switch (number) {
    case kUnexpectedQuantifier: text = "Unexpected quantifier"; break;
    case kExpectedBracket: text = "Expected ']' in regular expression"; break;
    case kExpectedParenthesis: text = "Expected ')' in regular expression"; break;
    case kInvalidRange: text = "Invalid range in character set"; break;
    default: break;
  }
  throw oleaut::AutomationError(number, kRuntimeSource, text);
}

}  // namespace kelvane::host::vbscript
