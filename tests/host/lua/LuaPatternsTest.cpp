// Our pattern functions against Lua's own: the same chunk runs in a state
// with Lua's string library and in one where ours replace find, match,
// gmatch and gsub, and the results (or the errors) must be the same.

#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <sstream>
#include <string>

#include "host/lua/LuaPatterns.h"

namespace kelvane::host {
namespace {

struct CloseState {
  void operator()(lua_State* L) const { lua_close(L); }
};
using State = std::unique_ptr<lua_State, CloseState>;

// Defined in both states: `all` gathers every iteration of a gmatch,
// `every_class` tries every class, `run` calls one of the functions as the
// random cases describe it.
constexpr char kPrelude[] = R"(
function all(iterator)
  local out = {}
  while true do
    local values = table.pack(iterator())
    if values[1] == nil then return table.concat(out, ";") end
    for i = 1, values.n do values[i] = tostring(values[i]) end
    out[#out + 1] = table.concat(values, ",", 1, values.n)
  end
end
-- Each class letter and its complement, alone and in sets, over all bytes.
function every_class()
  local bytes = {}
  for i = 0, 255 do bytes[#bytes + 1] = string.char(i) end
  bytes = table.concat(bytes)
  local out = {}
  for c in ("acdglpsuwxACDGLPSUWXzZ.%]"):gmatch(".") do
    out[#out + 1] = bytes:gsub("%" .. c, "")
    out[#out + 1] = bytes:gsub("[%" .. c .. "]", "")
    out[#out + 1] = bytes:gsub("[^%" .. c .. "]", "")
  end
  return table.concat(out, "|")
end
local replacements = {a = "A", ab = false, b = 7, [2] = "two"}
local function replace(first, second)
  if first == "b" then return nil end
  return (second or "") .. "|" .. first
end
function run(kind, s, p, x, y)
  if kind == "find" then return string.find(s, p, x, y) end
  if kind == "match" then return string.match(s, p, x) end
  if kind == "gmatch" then return all(string.gmatch(s, p, x)) end
  if kind == "gsub" then return string.gsub(s, p, x, y) end
  if kind == "gsub-table" then return string.gsub(s, p, replacements, y) end
  return string.gsub(s, p, replace, y)
end
)";

void NoCheck(lua_State*) {}

State NewState(bool ours, PatternCheck check = NoCheck) {
  State state(luaL_newstate());
  lua_State* L = state.get();
  luaL_openlibs(L);
  if (ours) {
    lua_getglobal(L, LUA_STRLIBNAME);
    InstallPatternFunctions(L, check);
    lua_pop(L, 1);
  }
  EXPECT_EQ(luaL_dostring(L, kPrelude), LUA_OK) << lua_tostring(L, -1);
  return state;
}

// What a call left on the stack above `base`: each value with its type, or
// the error message.
std::string Outcome(lua_State* L, int status, int base) {
  std::string text = status == LUA_OK ? "ok" : "error";
  for (int i = base + 1; i <= lua_gettop(L); ++i) {
    text += ' ';
    text += luaL_typename(L, i);
    text += ':';
    text += luaL_tolstring(L, i, nullptr);
    lua_pop(L, 1);
  }
  lua_settop(L, base);
  return text;
}

std::string RunChunk(lua_State* L, const std::string& expression) {
  const int base = lua_gettop(L);
  int status = luaL_loadstring(L, ("return " + expression).c_str());
  if (status == LUA_OK) status = lua_pcall(L, 0, LUA_MULTRET, 0);
  return Outcome(L, status, base);
}

// One random case for `run`: the third argument is gsub's replacement, or
// else an init (nil when 0); the fourth is find's plain flag (when a
// multiple of 4), or else gsub's limit (nil when negative).
struct Call {
  std::string kind, subject, pattern;
  int third = 0, fourth = 0;
  std::string replacement;
};

std::string RunCall(lua_State* L, const Call& call) {
  const int base = lua_gettop(L);
  lua_getglobal(L, "run");
  lua_pushstring(L, call.kind.c_str());
  lua_pushlstring(L, call.subject.data(), call.subject.size());
  lua_pushlstring(L, call.pattern.data(), call.pattern.size());
  if (call.kind == "gsub") {
    lua_pushlstring(L, call.replacement.data(), call.replacement.size());
  } else if (call.third == 0) {
    lua_pushnil(L);
  } else {
    lua_pushinteger(L, call.third);
  }
  if (call.kind == "find") {
    lua_pushboolean(L, call.fourth % 4 == 0);
  } else if (call.fourth < 0) {
    lua_pushnil(L);
  } else {
    lua_pushinteger(L, call.fourth);
  }
  return Outcome(L, lua_pcall(L, 5, LUA_MULTRET, 0), base);
}

// One Lua expression a line, run in both states; "--" lines name a group.
constexpr char kCases[] = R"~(
-- find: plain text, init from either end, the plain flag
("hello world"):find("o w")
("hello"):find("")
("hello"):find("", 10)
("hello"):find("", 6)
("hello"):find("", 7)
("hello"):find("l", -2)
("hello"):find("l", -100)
("hello"):find("l", 0)
("hello"):find("l", 4.0)
("a.b"):find(".", 1, true)
("a.b"):find(".", 2, 1)
("a+b"):find("+", 1, true)
("a(b"):find("(", 1, true)
("abc"):find("b", nil, false)
("abc"):find("[b", 1, true)
("hello"):find("l+")
("hello"):find("(l)(l)")
("hello"):find("()ll()")
string.find(12345, 3)
string.find("a\0b\0c", "b\0")
-- anchors
("hello"):find("^h")
("hello"):find("^e")
("hello"):find("^e", 2)
("hello"):find("o$")
("hello$"):find("o$")
("a$b"):find("$b")
("hello"):find("^hello$")
("a^b"):find("a^")
("^^"):find("^^")
("abc"):find("^")
("abc"):find("$")
("abc"):find("^$")
(""):find("^$")
-- match, quantifiers
("key = value"):match("(%w+)%s*=%s*(%w+)")
("hello"):match(".-l")
("hello"):match(".*l")
("  x y  "):match("^%s*(.-)%s*$")
("abc"):match("()b()")
("abc"):match("b", 3)
("abc"):match("b", -2)
("abc"):match("a?b?c?d?")
("aaa"):match("a-$")
("aaa"):match("a-")
("aaa"):match("a+")
("baaa"):match("a*")
("[x]"):match("%[(.)%]")
("***"):match("**")
("+-?"):match("+-?")
("a-b"):match("a%-b")
("x"):match("x?x?x")
-- classes, every letter and its complement, over all 256 bytes
every_class()
-- sets
("abc-]^"):gsub("[a-b]", "#")
("abc-]^"):gsub("[^a-b]", "#")
("abc-]^"):gsub("[]]", "#")
("abc-]^"):gsub("[^]]", "#")
("abc-]^"):gsub("[a-]", "#")
("abc-]^"):gsub("[-a]", "#")
("abc-]^"):gsub("[%a-]", "#")
("abc-]^%"):gsub("[%]]", "#")
("abc-]^%"):gsub("[a-%%]", "#")
("abc"):gsub("[c-a]", "#")
("a_b c"):gsub("[%w_]", "#")
("a.b"):gsub("[.]", "#")
("abcde-"):gsub("[a-c-e]", "#")
("ab^"):gsub("[b^]", "#")
("\200\255a"):gsub("[\128-\255]", "?")
("a\0b"):gsub("[\0]", "0")
("a\0b"):gsub("%c", "!")
("a\0b"):find("%z")
("abc"):find("[a")
("abc"):find("[a%")
("abc"):find("[]")
("abc"):find("[^]")
("abc"):find("[%]")
("abc"):find("x[")
("xbc"):find("x[")
("abc"):find("%")
("abc"):find("x%")
("ax"):find("a%")
-- %b
("f(a(b)c) (d"):match("%b()")
("((("):match("%b()")
("xaxbx"):gsub("%bxx", "!")
("abc"):find("%b")
("abc"):find("%ba")
("abc"):find("x%b")
("[[a]]]"):match("%b[]")
("a(b)"):find("%b()$")
-- %f
("THE (quick) fox"):gsub("%f[%a]%a+", "W")
("hello"):find("%f[%l]")
("abc"):find("%f[^%a]")
("abc"):find("%f[%z]")
("a\0b"):find("%f[%z]")
("abc"):find("%fa")
("abc"):find("%f")
("abc"):find("%f[a")
("the cat, the hat"):gsub("%f[%w]%w+%f[%W]", "<%0>")
-- back-references
('say "hi" and \'yo\''):gsub("([\"'])(.-)%1", "<%2>")
("aa bb cd"):gsub("(%a)%1", "=")
("abab"):find("(ab)%1")
("abc"):find("%1")
("abc"):find("(a%1)")
("abc"):find("()%1")
("abc"):find("%0")
("abc"):find("(a)%2")
("xyz"):find("x%1")
("aaaa"):match("(a*)%1$")
-- captures and their errors
("abc"):find("a)")
("abc"):find(")")
("abc"):find("(a")
("abc"):match("(a")
("abc"):match("((a)")
("abc"):match("(()a)")
("abc"):match("((a)(b))(c)")
select("#", ("a"):find(("()"):rep(32)))
("a"):find(("()"):rep(33))
("a"):find(("("):rep(33))
("a"):find(("("):rep(33) .. "[")
("a"):find(("("):rep(32) .. "[")
("a"):find("(()[")
("abc"):gsub("[", "x", 0)
all(("abc"):gmatch("[", 5))
("ab(c"):find("((%()")
("a"):find("x" .. ("()"):rep(33))
-- depth of nested attempts
(("a"):rep(250)):find(("a?"):rep(199))
(("a"):rep(250)):find(("a?"):rep(200))
("aaa"):find(("a?"):rep(300))
(("a"):rep(9)):find(("(a*)"):rep(32))
(("a"):rep(300)):find(("a*"):rep(199))
(("a"):rep(300)):find(("a*"):rep(200))
(("a"):rep(300)):find(("a-"):rep(200))
(("a"):rep(300)):find(("x*"):rep(500))
(("a"):rep(300)):find(("a"):rep(300))
(("a"):rep(300)):find(("a"):rep(300) .. ".")
-- gsub
("hello world"):gsub("o", "0")
("hello world"):gsub("o", "0", 1)
("hello"):gsub("", "-")
("hello"):gsub("x*", "-")
("abc"):gsub("%w", "%0%0")
("abc"):gsub("%w", "%%")
("abc"):gsub("%w", "%")
("abc"):gsub("%w", "a%")
("abc"):gsub("%w", "%x")
("abc"):gsub("(%w)", "%2")
("abc"):gsub("%w", "%1")
("abc"):gsub("%w", "%2")
("abc"):gsub("()b", "%1")
("abc"):gsub("()b", "%0")
("abc"):gsub("b", 5)
("abc"):gsub("b", 2.5)
("abc"):gsub("b", {b = "B"})
("abc"):gsub("%w", {a = 1, b = true})
("abc"):gsub("%w", {a = false})
("abc"):gsub("%w", {a = 2.0})
("abc"):gsub("()", {"one", "two"})
("abc"):gsub("%w", function(c) return c:upper() end)
("abc"):gsub("%w", function() end)
("abc"):gsub("%w", function() return {} end)
("abc"):gsub("(%w)(%w)", function(...) return select("#", ...) end)
("abc def"):gsub("(%w+) (%w+)", "%2 %1")
("abc"):gsub("^a", "x")
("aaa"):gsub("^a", "x")
("aaa"):gsub("^", "x")
("abc"):gsub("c$", "x")
("abc"):gsub("$", "x")
("abc"):gsub("", "", 0)
("abc"):gsub("b", "x", -1)
("abab"):gsub("b", "x", 1.0)
("abc"):gsub("b")
("abc"):gsub("b", true)
("abc"):gsub("b", nil, "x")
("abc"):gsub("b", "x", 1.5)
("abc"):gsub("(a", "x")
("abc"):gsub("(a", "%1")
("abc"):gsub("(a", {})
("abc"):gsub("a)", "x")
("aXbXc"):gsub("X", "%%1")
("abc"):gsub(".", {a = "%1"})
("ab"):gsub("a*", "-")
("a b"):gsub("%s*", ".")
("abc"):gsub("b*", "<%0>")
("x"):gsub("x", "%0%0%0", 5)
-- gmatch
all(("one two  three"):gmatch("%a+"))
all(("k=v, a=b"):gmatch("(%w+)=(%w+)"))
all(("abc"):gmatch(""))
all(("abc"):gmatch("x*"))
all(("abc"):gmatch("()"))
all(("abc"):gmatch("%w", 2))
all(("abc"):gmatch("", 10))
all(("abc"):gmatch("", 4))
all(("abc"):gmatch("", 5))
all(("abc"):gmatch("", -1))
all(("abc"):gmatch(".", -10))
all(("^a^a"):gmatch("^a"))
all(("abc"):gmatch("(a"))
all(("abc"):gmatch("["))
all(("aaa"):gmatch("a-"))
all(("ab"):gmatch("a*"))
all(("abc"):gmatch("c$"))
all(("abcb"):gmatch("b()"))
-- arguments
string.find()
string.find("a")
string.find("a", {})
string.find("a", "a", "x")
string.match()
string.match("abc", "b", "x")
string.gmatch()
string.gmatch("a")
string.gmatch("a", "a", {})
string.gsub()
string.gsub("a")
string.gsub("a", "a")
("x"):find(nil)
string.match(1.5, "%.")
string.gsub(10, 0, 1)
)~";

class LuaPatternsTest : public testing::Test {
 protected:
  State lua = NewState(false);
  State ours = NewState(true);
};

TEST_F(LuaPatternsTest, HandPickedCasesGiveLuasResultsAndErrors) {
  std::istringstream lines(kCases);
  int count = 0;
  for (std::string expression; std::getline(lines, expression);) {
    if (expression.empty() || expression.rfind("--", 0) == 0) continue;
    ++count;
    SCOPED_TRACE(expression);
    EXPECT_EQ(RunChunk(ours.get(), expression), RunChunk(lua.get(), expression));
  }
  EXPECT_GE(count, 200);
}

// Small alphabets, so that matches and near misses are common; one in ten
// patterns is made of any pattern bytes, for the errors.
class RandomCases {
 public:
  explicit RandomCases(unsigned seed) : random_(seed) {}

  Call Next() {
    static const char* const kKinds[] = {"find", "match",      "gmatch",
                                         "gsub", "gsub-table", "gsub-function"};
    static const char* const kReplacements[] = {"x", "%0", "%1", "<%1%2>", "%%", "", "%2%1", "%"};
    Call call;
    call.kind = kKinds[Below(std::size(kKinds))];
    call.subject = Subject();
    call.pattern = Below(10) == 0 ? Garbage() : Pattern();
    call.third = Below(3) == 0 ? static_cast<int>(Below(12)) - 5 : 0;
    call.fourth = static_cast<int>(Below(6)) - 1;
    call.replacement = kReplacements[Below(std::size(kReplacements))];
    return call;
  }

 private:
  std::size_t Below(std::size_t n) {
    return std::uniform_int_distribution<std::size_t>(0, n - 1)(random_);
  }

  std::string Subject() {
    static const char kBytes[] = "aab(). b";
    std::string text;
    for (std::size_t n = Below(13); n > 0; --n) text += kBytes[Below(sizeof kBytes - 1)];
    return text;
  }

  std::string Garbage() {
    static const char kBytes[] = "ab()[]%^$*+?.-1fb";
    std::string text;
    for (std::size_t n = Below(8); n > 0; --n) text += kBytes[Below(sizeof kBytes - 1)];
    return text;
  }

  std::string Pattern() {
    static const char* const kItems[] = {"a",    "b",     ".",      "%a", "%s", "%A",
                                         "[ab]", "[^a]",  "[a-b]",  "%.", "%(", " ",
                                         "%b()", "%f[a]", "%f[%s]", "%1", "%2", "()"};
    static const char* const kQuantifiers[] = {"", "", "", "*", "+", "-", "?"};
    std::string text = Below(5) == 0 ? "^" : "";
    int open = 0;
    for (std::size_t n = Below(6); n > 0; --n) {
      const std::size_t pick = Below(std::size(kItems) + 2);
      if (pick == std::size(kItems)) {
        text += '(';
        ++open;
      } else if (pick == std::size(kItems) + 1) {
        if (open > 0) {
          text += ')';
          --open;
        }
      } else {
        text += kItems[pick];
        text += kQuantifiers[Below(std::size(kQuantifiers))];
      }
    }
    text.append(static_cast<std::size_t>(open), ')');
    if (Below(5) == 0) text += '$';
    return text;
  }

  std::mt19937 random_;
};

TEST_F(LuaPatternsTest, RandomCasesGiveLuasResultsAndErrors) {
  RandomCases cases(20261209);
  int matched = 0, failed = 0;
  for (int i = 0; i < 40000; ++i) {
    const Call call = cases.Next();
    const std::string expected = RunCall(lua.get(), call);
    ASSERT_EQ(RunCall(ours.get(), call), expected)
        << call.kind << " subject '" << call.subject << "' pattern '" << call.pattern << "' "
        << call.third << ' ' << call.fourth << " '" << call.replacement << "'";
    const bool failure = expected.rfind("error", 0) == 0;
    failed += failure;
    matched += !failure && expected != "ok nil" && expected != "ok string:" &&
               expected.find("number:0") == std::string::npos;
  }
  EXPECT_GT(matched, 10000) << "the cases must match often";
  EXPECT_GT(failed, 500) << "and fail often enough to compare errors";
}

// The check is called as the matcher goes, so that a page's time limit can
// stop a pattern that backtracks for minutes; here it stops it at once.
TEST(LuaPatterns, TheCheckStopsARunawayMatchInEveryFunction) {
  const State state = NewState(true, [](lua_State* L) { luaL_error(L, "stopped"); });
  lua_State* L = state.get();
  const char* const runaways[] = {
      R"~(string.find(("a"):rep(3000), ("a-"):rep(8) .. "b"))~",
      R"~((("a"):rep(3000)):match(("a*"):rep(8) .. "b"))~",
      R"~(all((("a"):rep(3000)):gmatch(("a?"):rep(8) .. "a-b")))~",
      R"~((("a"):rep(3000)):gsub(("a-"):rep(8) .. "b", "x"))~",
      R"~((("a"):rep(3000)):gsub("", ("%0"):rep(100000)))~",
  };
  for (const char* expression : runaways) {
    SCOPED_TRACE(expression);
    EXPECT_NE(RunChunk(L, expression).find("stopped"), std::string::npos);
  }
  EXPECT_EQ(RunChunk(L, R"~(("a b c"):gsub("%w", "%0%0"))~"), "ok string:aa bb cc number:3");
}

}  // namespace
}  // namespace kelvane::host
