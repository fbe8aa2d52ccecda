#include "host/lua/LuaPatterns.h"

#include <array>
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <new>
#include <string_view>
#include <utility>

namespace kelvane::host {

namespace {

using uchar = unsigned char;

constexpr int kMaxCaptures = 32;
// Nested matches (one per quantified item or capture still being tried)
// before a pattern is refused as too complex; this bounds the C stack.
constexpr int kMaxDepth = 200;
// Matcher steps between two calls of the check.
constexpr std::ptrdiff_t kStepsPerCheck = 4096;
// Bytes a back-reference compares for one step.
constexpr std::ptrdiff_t kBytesPerStep = 64;

// A capture's length while it is still open, and the length that marks a
// position capture "()".
constexpr std::ptrdiff_t kOpen = -1;
constexpr std::ptrdiff_t kPosition = -2;

// The character classes %a, %c, %d, %g, %l, %p, %s, %u, %w, %x and %z (the
// zero byte, which Lua still accepts) as bits,
// each byte's classes, and each class letter's bit (its upper case letter
// is the complement), so that a class test is two table reads.
struct ClassTable {
  std::array<std::uint16_t, 256> classes{};
  std::array<std::uint16_t, 256> letterBit{};

  ClassTable() {
    using Test = int (*)(int);
    constexpr std::pair<char, Test> kClasses[] = {{'a', [](int c) { return std::isalpha(c); }},
                                                  {'c', [](int c) { return std::iscntrl(c); }},
                                                  {'d', [](int c) { return std::isdigit(c); }},
                                                  {'g', [](int c) { return std::isgraph(c); }},
                                                  {'l', [](int c) { return std::islower(c); }},
                                                  {'p', [](int c) { return std::ispunct(c); }},
                                                  {'s', [](int c) { return std::isspace(c); }},
                                                  {'u', [](int c) { return std::isupper(c); }},
                                                  {'w', [](int c) { return std::isalnum(c); }},
                                                  {'x', [](int c) { return std::isxdigit(c); }},
                                                  {'z', [](int c) { return static_cast<int>(c == 0); }}};
    for (std::size_t k = 0; k < std::size(kClasses); ++k) {
      const auto bit = static_cast<std::uint16_t>(1u << k);
      const auto [letter, test] = kClasses[k];
      letterBit[static_cast<uchar>(letter)] = bit;
      letterBit[static_cast<uchar>(std::toupper(letter))] = bit;
      for (int c = 0; c < 256; ++c)
        if (test(c)) classes[c] |= bit;
    }
  }
};

const ClassTable kClassTable;

// Whether byte `c` is in the class written `%cl`; a letter that names no
// class stands for itself, as does any other byte after '%'.
bool InClass(uchar c, uchar cl) {
  const std::uint16_t bit = kClassTable.letterBit[cl];
  if (bit == 0) return cl == c;
  const bool in = (kClassTable.classes[c] & bit) != 0;
  return std::isupper(cl) ? !in : in;
}

struct Capture {
  const char* start;
  std::ptrdiff_t length;  // or kOpen, kPosition
};

// Whether the pattern is searched for at every position or only at the
// first, when it starts with '^'. gmatch has no anchor: its '^' is a byte.
enum class Anchoring { kCaret, kNone };

// One pattern matched against one subject. Errors in the pattern are found
// as the match reaches them, so a malformed tail that no attempt reaches is
// no error, as in Lua.
class Matcher {
 public:
  Matcher(lua_State* L, PatternCheck check, std::string_view subject, std::string_view pattern,
          Anchoring anchoring)
      : L_(L),
        check_(check),
        subjectBegin_(subject.data()),
        subjectEnd_(subject.data() + subject.size()),
        patternBegin_(pattern.data()),
        patternEnd_(pattern.data() + pattern.size()) {
    if (anchoring == Anchoring::kCaret && patternBegin_ < patternEnd_ && *patternBegin_ == '^') {
      anchored_ = true;
      ++patternBegin_;
    }
  }

  bool Anchored() const { return anchored_; }

  // The first position at or after `s` where a match may start, or null.
  // When the pattern starts with an item that must match a byte, positions
  // where it does not are passed over without an attempt: with memchr for
  // a plain byte.
  const char* NextStart(const char* s) {
    if (anchored_) return s;
    if (!firstItemKnown_) FindFirstItem();
    if (firstItemEnd_ == nullptr) return s;
    if (firstByte_ >= 0) return static_cast<const char*>(std::memchr(s, firstByte_, subjectEnd_ - s));
    const char* const from = s;
    while (s < subjectEnd_ && !Single(s, firstItem_, firstItemEnd_)) ++s;
    Steps(s - from);
    return s < subjectEnd_ ? s : nullptr;
  }

  // The end of a match of the whole pattern starting at `s`, or null.
  const char* MatchAt(const char* s) {
    level_ = 0;
    depth_ = 0;
    return Match(s, patternBegin_);
  }

  // Capture `i` (0-based) of the last match from `s` to `e`; with no
  // captures, capture 0 is the whole match.
  Capture Get(int i, const char* s, const char* e) const {
    if (i >= level_) {
      if (i != 0) luaL_error(L_, "invalid capture index %%%d", i + 1);
      return {s, e - s};
    }
    if (captures_[i].length == kOpen) luaL_error(L_, "unfinished capture");
    return captures_[i];
  }

  void PushCapture(int i, const char* s, const char* e) const {
    const Capture capture = Get(i, s, e);
    if (capture.length == kPosition) {
      lua_pushinteger(L_, capture.start - subjectBegin_ + 1);
    } else {
      lua_pushlstring(L_, capture.start, capture.length);
    }
  }

  // Pushes the captures, or the whole match when there are none and `s` is
  // given; returns how many.
  int PushCaptures(const char* s, const char* e) const {
    const int count = level_ == 0 && s != nullptr ? 1 : level_;
    luaL_checkstack(L_, count, "too many captures");
    for (int i = 0; i < count; ++i) PushCapture(i, s, e);
    return count;
  }

  void Steps(std::ptrdiff_t count) {
    budget_ -= count;
    if (budget_ <= 0) {
      budget_ = kStepsPerCheck;
      check_(L_);
    }
  }

 private:
  // Whether the pattern starts with a single item that must match one byte
  // (not one that may match none, %b, %f or a back-reference), after the
  // captures it opens. Looked at just before the first attempt, which would
  // find the same errors on its way to that item.
  void FindFirstItem() {
    firstItemKnown_ = true;
    const char* p = patternBegin_;
    for (int opened = 0; opened < kMaxCaptures && p < patternEnd_ && *p == '('; ++opened)
      p += p + 1 < patternEnd_ && p[1] == ')' ? 2 : 1;
    if (p == patternEnd_ || *p == '(' || *p == ')' || (*p == '$' && p + 1 == patternEnd_)) return;
    if (*p == '%' && p + 1 < patternEnd_ &&
        (p[1] == 'b' || p[1] == 'f' || std::isdigit(static_cast<uchar>(p[1]))))
      return;
    const char* itemEnd = ItemEnd(p);
    if (itemEnd < patternEnd_ && (*itemEnd == '*' || *itemEnd == '?' || *itemEnd == '-')) return;
    firstItem_ = p;
    firstItemEnd_ = itemEnd;
    if (*p != '%' && *p != '[' && *p != '.') firstByte_ = static_cast<uchar>(*p);
  }

  const char* Match(const char* s, const char* p) {
    if (++depth_ > kMaxDepth) luaL_error(L_, "pattern too complex");
    Steps(1);
    const char* end = MatchRest(s, p);
    --depth_;
    return end;
  }

  // Matches the pattern from `p` on at `s`: simple items one after another
  // in this loop, nesting only where there is something to go back to.
  const char* MatchRest(const char* s, const char* p) {
    for (;;) {
      if (p == patternEnd_) return s;
      switch (*p) {
        case '(':
          if (p + 1 < patternEnd_ && p[1] == ')') return OpenCapture(s, p + 2, kPosition);
          return OpenCapture(s, p + 1, kOpen);
        case ')':
          return CloseCapture(s, p + 1);
        case '$':
          if (p + 1 == patternEnd_) return s == subjectEnd_ ? s : nullptr;
          break;
        case '%':
          if (p + 1 == patternEnd_) break;
          if (p[1] == 'b') {
            s = Balanced(s, p + 2);
            if (s == nullptr) return nullptr;
            p += 4;
            continue;
          }
          if (p[1] == 'f') {
            p = Frontier(s, p + 2);
            if (p == nullptr) return nullptr;
            continue;
          }
          if (std::isdigit(static_cast<uchar>(p[1]))) {
            s = BackReference(s, p[1]);
            if (s == nullptr) return nullptr;
            p += 2;
            continue;
          }
          break;
        default:
          break;
      }
      const char* itemEnd = ItemEnd(p);
      const char quantifier = itemEnd < patternEnd_ ? *itemEnd : '\0';
      if (!Single(s, p, itemEnd)) {
        if (quantifier != '*' && quantifier != '?' && quantifier != '-') return nullptr;
        p = itemEnd + 1;
        continue;
      }
      switch (quantifier) {
        case '?':
          if (const char* end = Match(s + 1, itemEnd + 1)) return end;
          p = itemEnd + 1;
          continue;
        case '+':
          return Longest(s + 1, p, itemEnd);
        case '*':
          return Longest(s, p, itemEnd);
        case '-':
          return Shortest(s, p, itemEnd);
        default:
          ++s;
          p = itemEnd;
          continue;
      }
    }
  }

  // The end of the single item at `p`: a byte, '.', a %class, or a [set].
  const char* ItemEnd(const char* p) const {
    const char first = *p++;
    if (first == '%') {
      if (p == patternEnd_) luaL_error(L_, "malformed pattern (ends with '%%')");
      return p + 1;
    }
    if (first != '[') return p;
    if (p < patternEnd_ && *p == '^') ++p;
    // The first member is taken as it is, so that "[]]" is a set of ']'.
    do {
      if (p == patternEnd_) luaL_error(L_, "malformed pattern (missing ']')");
      if (*p++ == '%' && p < patternEnd_) ++p;
    } while (p == patternEnd_ || *p != ']');
    return p + 1;
  }

  // Whether `c` is in the set from '[' at `p` to ']' at `close`.
  static bool InSet(uchar c, const char* p, const char* close) {
    bool in = true;
    if (*++p == '^') {
      in = false;
      ++p;
    }
    for (; p < close; ++p) {
      if (*p == '%') {
        ++p;
        if (InClass(c, static_cast<uchar>(*p))) return in;
      } else if (p[1] == '-' && p + 2 < close) {
        if (static_cast<uchar>(p[0]) <= c && c <= static_cast<uchar>(p[2])) return in;
        p += 2;
      } else if (static_cast<uchar>(*p) == c) {
        return in;
      }
    }
    return !in;
  }

  // Whether the single item from `p` to `itemEnd` matches the byte at `s`.
  bool Single(const char* s, const char* p, const char* itemEnd) const {
    if (s >= subjectEnd_) return false;
    const auto c = static_cast<uchar>(*s);
    switch (*p) {
      case '.':
        return true;
      case '%':
        return InClass(c, static_cast<uchar>(p[1]));
      case '[':
        return InSet(c, p, itemEnd - 1);
      default:
        return static_cast<uchar>(*p) == c;
    }
  }

  // Item '*' (or '+' after its first byte): as many bytes as it takes, then
  // fewer until the rest matches.
  const char* Longest(const char* s, const char* p, const char* itemEnd) {
    std::ptrdiff_t count = 0;
    while (Single(s + count, p, itemEnd)) ++count;
    Steps(count);
    for (;; --count) {
      if (const char* end = Match(s + count, itemEnd + 1)) return end;
      if (count == 0) return nullptr;
    }
  }

  // Item '-': as few bytes as it takes, then more until the rest matches.
  const char* Shortest(const char* s, const char* p, const char* itemEnd) {
    for (;; ++s) {
      if (const char* end = Match(s, itemEnd + 1)) return end;
      if (!Single(s, p, itemEnd)) return nullptr;
    }
  }

  const char* OpenCapture(const char* s, const char* p, std::ptrdiff_t length) {
    if (level_ >= kMaxCaptures) luaL_error(L_, "too many captures");
    captures_[level_++] = {s, length};
    const char* end = Match(s, p);
    if (end == nullptr) --level_;
    return end;
  }

  // ')' closes the innermost capture still open.
  const char* CloseCapture(const char* s, const char* p) {
    int i = level_ - 1;
    while (i >= 0 && captures_[i].length != kOpen) --i;
    if (i < 0) luaL_error(L_, "invalid pattern capture");
    captures_[i].length = s - captures_[i].start;
    const char* end = Match(s, p);
    if (end == nullptr) captures_[i].length = kOpen;
    return end;
  }

  // %bxy at `s`: from an x to the y that balances it.
  const char* Balanced(const char* s, const char* p) {
    if (patternEnd_ - p < 2) luaL_error(L_, "malformed pattern (missing arguments to '%%b')");
    if (s >= subjectEnd_ || *s != p[0]) return nullptr;
    const char open = p[0], close = p[1];
    int depth = 1;
    const char* from = s;
    while (++s < subjectEnd_) {
      if (*s == close) {
        if (--depth == 0) {
          Steps(s - from);
          return s + 1;
        }
      } else if (*s == open) {
        ++depth;
      }
    }
    Steps(s - from);
    return nullptr;
  }

  // %f[set] at `s`: the byte before `s` (or "\0" at the start) is not in the
  // set and the byte at `s` (or "\0" at the end) is. Returns the pattern
  // past the set, or null.
  const char* Frontier(const char* s, const char* p) const {
    if (p == patternEnd_ || *p != '[') luaL_error(L_, "missing '[' after '%%f' in pattern");
    const char* itemEnd = ItemEnd(p);
    const auto before = static_cast<uchar>(s == subjectBegin_ ? '\0' : s[-1]);
    const auto at = static_cast<uchar>(s < subjectEnd_ ? *s : '\0');
    if (InSet(before, p, itemEnd - 1) || !InSet(at, p, itemEnd - 1)) return nullptr;
    return itemEnd;
  }

  // %1 to %9: the text capture `digit` took, again. A position capture has
  // no text, and matches nothing.
  const char* BackReference(const char* s, char digit) {
    const int i = digit - '1';
    if (i < 0 || i >= level_ || captures_[i].length == kOpen)
      luaL_error(L_, "invalid capture index %%%d", i + 1);
    const std::ptrdiff_t length = captures_[i].length;
    if (length == kPosition || subjectEnd_ - s < length ||
        std::memcmp(captures_[i].start, s, length) != 0)
      return nullptr;
    Steps(length / kBytesPerStep);
    return s + length;
  }

  lua_State* L_;
  PatternCheck check_;
  const char* subjectBegin_;
  const char* subjectEnd_;
  const char* patternBegin_;
  const char* patternEnd_;
  bool anchored_ = false;
  bool firstItemKnown_ = false;
  const char* firstItem_ = nullptr;
  const char* firstItemEnd_ = nullptr;  // null when the first item may match no byte
  int firstByte_ = -1;
  int level_ = 0;
  int depth_ = 0;
  std::ptrdiff_t budget_ = kStepsPerCheck;
  std::array<Capture, kMaxCaptures> captures_{};
};

PatternCheck CheckOf(lua_State* L, int upvalue) {
  return *static_cast<PatternCheck*>(lua_touserdata(L, lua_upvalueindex(upvalue)));
}

std::string_view CheckString(lua_State* L, int arg) {
  std::size_t size = 0;
  const char* text = luaL_checklstring(L, arg, &size);
  return {text, size};
}

// A 1-based position argument, negative from the end, as a 0-based offset
// (which can lie past the end).
std::size_t Offset(lua_Integer position, std::size_t size) {
  if (position > 0) return static_cast<std::size_t>(position) - 1;
  if (position == 0 || position < -static_cast<lua_Integer>(size)) return 0;
  return size - static_cast<std::size_t>(-position);
}

bool HasNoPatternBytes(std::string_view pattern) {
  return pattern.find_first_of(std::string_view("^$*+?.([%-", 10)) == std::string_view::npos;
}

int FindOrMatch(lua_State* L, bool find) {
  const std::string_view subject = CheckString(L, 1);
  const std::string_view pattern = CheckString(L, 2);
  const std::size_t start = Offset(luaL_optinteger(L, 3, 1), subject.size());
  if (start > subject.size()) {
    luaL_pushfail(L);
    return 1;
  }
  if (find && (lua_toboolean(L, 4) || HasNoPatternBytes(pattern))) {
    // glibc's memmem takes linear time, whatever the two strings.
    if (const void* at = ::memmem(subject.data() + start, subject.size() - start, pattern.data(),
                                  pattern.size())) {
      const auto offset = static_cast<const char*>(at) - subject.data();
      lua_pushinteger(L, offset + 1);
      lua_pushinteger(L, offset + static_cast<lua_Integer>(pattern.size()));
      return 2;
    }
    luaL_pushfail(L);
    return 1;
  }
  Matcher matcher(L, CheckOf(L, 1), subject, pattern, Anchoring::kCaret);
  const char* const end = subject.data() + subject.size();
  for (const char* s = subject.data() + start; (s = matcher.NextStart(s)) != nullptr; ++s) {
    if (const char* matchEnd = matcher.MatchAt(s)) {
      if (!find) return matcher.PushCaptures(s, matchEnd);
      lua_pushinteger(L, s - subject.data() + 1);
      lua_pushinteger(L, matchEnd - subject.data());
      return 2 + matcher.PushCaptures(nullptr, nullptr);
    }
    if (matcher.Anchored() || s == end) break;
  }
  luaL_pushfail(L);
  return 1;
}

int Find(lua_State* L) { return FindOrMatch(L, true); }
int MatchFunction(lua_State* L) { return FindOrMatch(L, false); }

// Where a gmatch iterator goes on from, and where its last match ended
// (no empty match is taken there), as offsets into the subject.
struct GmatchState {
  std::size_t next;
  std::ptrdiff_t lastEnd;
};

// The iterator: upvalues subject, pattern, state and the check.
int GmatchNext(lua_State* L) {
  std::size_t subjectSize = 0, patternSize = 0;
  const char* subject = lua_tolstring(L, lua_upvalueindex(1), &subjectSize);
  const char* pattern = lua_tolstring(L, lua_upvalueindex(2), &patternSize);
  auto& state = *static_cast<GmatchState*>(lua_touserdata(L, lua_upvalueindex(3)));
  if (state.next > subjectSize) return 0;
  Matcher matcher(L, CheckOf(L, 4), {subject, subjectSize}, {pattern, patternSize},
                  Anchoring::kNone);
  const char* const end = subject + subjectSize;
  for (const char* s = subject + state.next; (s = matcher.NextStart(s)) != nullptr; ++s) {
    const char* matchEnd = matcher.MatchAt(s);
    if (matchEnd != nullptr && matchEnd - subject != state.lastEnd) {
      state.next = matchEnd - subject;
      state.lastEnd = matchEnd - subject;
      return matcher.PushCaptures(s, matchEnd);
    }
    if (s == end) break;
  }
  state.next = subjectSize + 1;
  return 0;
}

int Gmatch(lua_State* L) {
  const std::size_t size = CheckString(L, 1).size();
  CheckString(L, 2);
  std::size_t start = Offset(luaL_optinteger(L, 3, 1), size);
  if (start > size) start = size + 1;
  lua_settop(L, 2);
  new (lua_newuserdatauv(L, sizeof(GmatchState), 0)) GmatchState{start, -1};
  lua_pushvalue(L, lua_upvalueindex(1));
  lua_pushcclosure(L, GmatchNext, 4);
  return 1;
}

// Adds the replacement string (argument 3) for the match from `s` to `e`,
// with %0 to %9 for the captures and %% for '%'.
void AddExpansion(lua_State* L, Matcher& matcher, luaL_Buffer& out, const char* s, const char* e) {
  std::size_t size = 0;
  const char* text = lua_tolstring(L, 3, &size);
  const char* const end = text + size;
  while (const auto* escape = static_cast<const char*>(std::memchr(text, '%', end - text))) {
    luaL_addlstring(&out, text, escape - text);
    matcher.Steps(1);
    const char code = escape + 1 < end ? escape[1] : '\0';
    if (code == '%') {
      luaL_addchar(&out, '%');
    } else if (std::isdigit(static_cast<uchar>(code))) {
      const int i = code - '1';
      const Capture capture = i < 0 ? Capture{s, e - s} : matcher.Get(i, s, e);
      if (capture.length == kPosition) {
        matcher.PushCapture(i, s, e);
        luaL_addvalue(&out);
      } else {
        luaL_addlstring(&out, capture.start, capture.length);
      }
    } else {
      luaL_error(L, "invalid use of '%c' in replacement string", '%');
    }
    text = escape + 2;
  }
  luaL_addlstring(&out, text, end - text);
}

// Adds the replacement for the match from `s` to `e`; false when it is the
// matched text itself (the function or table gave false or nil).
bool AddReplacement(lua_State* L, Matcher& matcher, luaL_Buffer& out, const char* s, const char* e,
                    int type) {
  if (type == LUA_TFUNCTION) {
    lua_pushvalue(L, 3);
    lua_call(L, matcher.PushCaptures(s, e), 1);
  } else if (type == LUA_TTABLE) {
    matcher.PushCapture(0, s, e);
    lua_gettable(L, 3);
  } else {
    AddExpansion(L, matcher, out, s, e);
    return true;
  }
  if (!lua_toboolean(L, -1)) {
    lua_pop(L, 1);
    luaL_addlstring(&out, s, e - s);
    return false;
  }
  if (!lua_isstring(L, -1)) luaL_error(L, "invalid replacement value (a %s)", luaL_typename(L, -1));
  luaL_addvalue(&out);
  return true;
}

int Gsub(lua_State* L) {
  const std::string_view subject = CheckString(L, 1);
  const std::string_view pattern = CheckString(L, 2);
  const int type = lua_type(L, 3);
  const lua_Integer most = luaL_optinteger(L, 4, static_cast<lua_Integer>(subject.size()) + 1);
  luaL_argexpected(
      L, type == LUA_TNUMBER || type == LUA_TSTRING || type == LUA_TFUNCTION || type == LUA_TTABLE,
      3, "string/function/table");
  luaL_Buffer out;
  luaL_buffinit(L, &out);
  Matcher matcher(L, CheckOf(L, 1), subject, pattern, Anchoring::kCaret);
  const char* s = subject.data();
  const char* const end = s + subject.size();
  const char* lastEnd = nullptr;
  lua_Integer count = 0;
  bool changed = false;
  while (count < most) {
    const char* next = matcher.NextStart(s);
    if (next == nullptr) break;
    luaL_addlstring(&out, s, next - s);
    s = next;
    const char* matchEnd = matcher.MatchAt(s);
    if (matchEnd != nullptr && matchEnd != lastEnd) {
      ++count;
      changed = AddReplacement(L, matcher, out, s, matchEnd, type) || changed;
      s = lastEnd = matchEnd;
    } else if (s < end) {
      luaL_addchar(&out, *s++);
    } else {
      break;
    }
    if (matcher.Anchored()) break;
  }
  if (changed) {
    luaL_addlstring(&out, s, end - s);
    luaL_pushresult(&out);
  } else {
    lua_pushvalue(L, 1);
  }
  lua_pushinteger(L, count);
  return 2;
}

}  // namespace

void InstallPatternFunctions(lua_State* L, PatternCheck check) {
  static constexpr luaL_Reg kFunctions[] = {{"find", Find},
                                            {"match", MatchFunction},
                                            {"gmatch", Gmatch},
                                            {"gsub", Gsub},
                                            {nullptr, nullptr}};
  *static_cast<PatternCheck*>(lua_newuserdatauv(L, sizeof(PatternCheck), 0)) = check;
  luaL_setfuncs(L, kFunctions, 1);
}

}  // namespace kelvane::host
