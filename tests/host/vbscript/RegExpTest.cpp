// RegExp: its pattern language, its matches and replacements, read through
// the object's own members; then as pages use it.

#include "host/vbscript/RegExp.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "VbScriptHarness.h"
#include "support/Automation.h"
#include "host/pages/PageDeadline.h"
#include "host/vbscript/Text.h"
#include "platform/oleaut/AutomationError.h"
#include "platform/oleaut/Conversion.h"

namespace kelvane::host::vbscript {
namespace {

using oleaut::Variant;

struct Case {
  std::string pattern;
  std::string flags;  // g global, i ignore case, m multiline
  std::string input;
  std::string expected;
};

void PrintTo(const Case& c, std::ostream* os) { *os << '/' << c.pattern << '/' << c.flags << " on " << c.input; }

Variant Call(oleaut::IDispatch& object, std::string_view name, std::uint16_t kind, std::vector<Variant> args) {
  return oleaut::InvokeByName(object, name, kind, args);
}

oleaut::IDispatch& Object(const Variant& v) { return dynamic_cast<oleaut::IDispatch&>(**v.If<oleaut::ObjectRef>()); }

std::shared_ptr<oleaut::IDispatch> Made(const Case& c) {
  auto re = CreateRegExp();
  Call(*re, "Pattern", oleaut::DISPATCH_PROPERTYPUT, {c.pattern});
  const auto flag = [&](char letter) { return Variant(oleaut::ToVariantBool(c.flags.find(letter) != std::string::npos)); };
  Call(*re, "Global", oleaut::DISPATCH_PROPERTYPUT, {flag('g')});
  Call(*re, "IgnoreCase", oleaut::DISPATCH_PROPERTYPUT, {flag('i')});
  Call(*re, "Multiline", oleaut::DISPATCH_PROPERTYPUT, {flag('m')});
  return re;
}

// The matches as "value@index" joined by ",", each followed by its groups in
// brackets when it has any ("~" for a group that took no part); or "error N".
std::string Matches(const Case& c) {
  try {
    const auto re = Made(c);
    const Variant matchesValue = Call(*re, "Execute", oleaut::DISPATCH_METHOD, {c.input});
    auto& matches = Object(matchesValue);
    const auto count = oleaut::ToLong(Call(matches, "Count", oleaut::DISPATCH_PROPERTYGET, {}));
    std::string out;
    for (oleaut::Long i = 0; i < count; ++i) {
      const Variant matchValue = Call(matches, "Item", oleaut::DISPATCH_PROPERTYGET, {i});
      auto& match = Object(matchValue);
      if (i > 0) out += ",";
      out += oleaut::ToString(Call(match, "Value", oleaut::DISPATCH_PROPERTYGET, {})) + "@" +
             oleaut::ToString(Call(match, "FirstIndex", oleaut::DISPATCH_PROPERTYGET, {}));
      const auto length = oleaut::ToLong(Call(match, "Length", oleaut::DISPATCH_PROPERTYGET, {}));
      EXPECT_EQ(length, static_cast<oleaut::Long>(CharCount(oleaut::ToString(Call(match, "Value", oleaut::DISPATCH_PROPERTYGET, {})))));
      const Variant groupsValue = Call(match, "SubMatches", oleaut::DISPATCH_PROPERTYGET, {});
      auto& groups = Object(groupsValue);
      const auto groupCount = oleaut::ToLong(Call(groups, "Count", oleaut::DISPATCH_PROPERTYGET, {}));
      for (oleaut::Long g = 0; g < groupCount; ++g) {
        const Variant group = Call(groups, "Item", oleaut::DISPATCH_PROPERTYGET, {g});
        out += (g == 0 ? "[" : ",") + (group.IsEmpty() ? std::string("~") : oleaut::ToString(group));
      }
      if (groupCount > 0) out += "]";
    }
    return out;
  } catch (const oleaut::AutomationError& e) {
    return "error " + std::to_string(e.Number());
  }
}

class RegExpMatches : public ::testing::TestWithParam<Case> {};

TEST_P(RegExpMatches, Finds) { EXPECT_EQ(Matches(GetParam()), GetParam().expected); }

INSTANTIATE_TEST_SUITE_P(Table, RegExpMatches, ::testing::ValuesIn(std::vector<Case>{
    // Global, the first match or all; an empty match moves the next search on.
    {"a+", "", " aabaaa", "aa@1"},
    {"a+", "g", " aabaaa", "aa@1,aaa@4"},
    {"", "g", "ab", "@0,@1,@2"},
    {"a*", "g", "baa", "@0,aa@1,@3"},
    {"x*", "g", "\xC3\xA9\xC3\xA9", "@0,@1,@2"},
    {"a+?", "", "aaa", "a@0"},
    // Positions and lengths in characters.
    {"b+", "g", "\xC3\xA9\xC3\xA9" "bb\xE2\x82\xAC" "b", "bb@2,b@5"},
    {"\\uD83D\\uDE00", "", "x\xF0\x9F\x98\x80", "\xF0\x9F\x98\x80@1"},
    // Groups: a group that took no part is Empty.
    {"(a|b)+|(c)", "", "aa", "aa@0[a,~]"},
    {"(a)|(b)", "g", "ab", "a@0[a,~],b@1[~,b]"},
    {"(?:a)(b)", "", "ab", "ab@0[b]"},
    {"a(?=b)", "g", "acab", "a@2"},
    {"a(?!b)", "g", "abac", "a@2"},
    // Case.
    {"Ab", "gi", "abcaBc", "ab@0,aB@3"},
    {"Ab", "g", "abcaBc", ""},
    {"\xC3\x89T\xC3\x89", "i", "\xC3\xA9t\xC3\xA9", "\xC3\xA9t\xC3\xA9@0"},
    // ., ^ and $, with and without Multiline.
    {"a.c", "g", "a\nc a\rc abc", "abc@8"},
    {"[^]", "g", "\n", "\n@0"},
    {"^b", "", "a\nb", ""},
    {"^b", "m", "a\nb", "b@2"},
    {"a$", "", "a\n", ""},
    {"a$", "m", "a\r\n", "a@0"},
    {"^", "gm", "a\r\nb", "@0,@2,@3"},
    {"^a", "g", "aaa", "a@0"},
    // \d \w \s and \b are ASCII.
    {"\\d+", "g", "1\xD9\xA1" "2", "1@0,2@2"},
    {"\\w+", "g", "\xC3\xA9t\xC3\xA9", "t@1"},
    {"\\s", "", "a\xC2\xA0" "b c", " @3"},
    {"\\bt", "g", "\xC3\xA9t at", "t@1"},
    // Escapes.
    {"\\x41\\u0042\\103", "", "ABC", "ABC@0"},
    {"\\cJ", "", "a\nb", "\n@1"},
    {"\\c1", "", "a\\c1", "\\c1@1"},
    {"\\v\\f\\t", "", "\v\f\t", "\v\f\t@0"},
    {"\\0", "", std::string("a\0b", 3), std::string("\0@1", 3)},
    {"\\8\\9", "", "89", "89@0"},
    {"\\A\\Q\\p{L}", "", "AQp{L}", "AQp{L}@0"},
    {"\\xZ\\u12", "", "xZu12", "xZu12@0"},
    {"\\[([^\\[]+)\\]", "g", " [test]  ", "[test]@1[test]"},
    {"\\\\", "g", "a\\\\b", "\\@1,\\@2"},
    // Backreferences: to a group of the pattern only; one that took no
    // part, or comes first, matches "".
    {"(a)\\1", "", "aa", "aa@0[a]"},
    {"(a)\\2", "", "a\x02", "a\x02@0[a]"},
    {"\\1(a)", "", "a", "a@0[a]"},
    {"(a)|\\1b", "", "b", "b@0[~]"},
    // A { that begins no quantifier is literal.
    {"a{2}", "", "aaa", "aa@0"},
    {"a{2,}", "", "aaa", "aaa@0"},
    {"a{1,2}", "g", "aaa", "aa@0,a@2"},
    {"a{", "", "a{", "a{@0"},
    {"a{,2}", "", "a{,2}", "a{,2}@0"},
    {"a{x}", "", "a{x}", "a{x}@0"},
    {"}]", "", "}]", "}]@0"},
    // Classes.
    {"[]", "g", "a]", ""},
    {"a[]", "g", "a", ""},
    {"[^]a]", "", "\na]", "\na]@0"},
    {"[\\d-z]", "g", "5-z", "5@0,-@1,z@2"},
    {"[a-\\d]", "g", "-b1", "-@0,1@2"},
    {"[[:alpha:]]", "", "a]", "a]@0"},
    {"[\\b]", "", "a\b", "\b@1"},
    {"[\\101-\\x43]", "g", "ABCD", "A@0,B@1,C@2"},
    {"[\\u00e0-\\u00ff]+", "", "a\xC3\xA9\xC3\xA0", "\xC3\xA9\xC3\xA0@1"},
    {"[^\\s]+", "", " ab ", "ab@1"},
    // Patterns of real pages.
    {"^[\\w-\\.]+@([\\w-]+\\.)+[\\w-]{2,4}$", "", "john.doe@mail.example.com", "john.doe@mail.example.com@0[example.]"},
    {"^\\d{5}(-\\d{4})?$", "", "12345", "12345@0[~]"},
    {"<[^>]*>", "g", "<b>x</b>", "<b>@0,</b>@4"},
    // What PCRE2 would read as its own syntax is not reachable.
    {"(*LIMIT_MATCH=1)a", "", "a", "error 5018"},
    {"(?<=a)b", "", "ab", "error 5017"},
    {"(?<n>a)", "", "a", "error 5017"},
    {"(?i)a", "", "A", "error 5017"},
    // Faulty patterns, raised when used.
    {"*a", "", "a", "error 5018"},
    {"a**", "", "a", "error 5018"},
    {"^*", "", "a", "error 5018"},
    {"[a", "", "a", "error 5019"},
    {"(a", "", "a", "error 5020"},
    {"a)", "", "a", "error 5017"},
    {"[z-a]", "", "a", "error 5021"},
    {"x{2,1}", "", "x", "error 5017"},
    {"a\\", "", "a", "error 5017"},
    {"a{70000}", "", "a", "error 5017"},
}));

struct ReplaceCase {
  std::string pattern;
  std::string flags;
  std::string input;
  Variant with;
  std::string expected;
};

void PrintTo(const ReplaceCase& c, std::ostream* os) { *os << '/' << c.pattern << '/' << c.flags << " on " << c.input; }

class RegExpReplace : public ::testing::TestWithParam<ReplaceCase> {};

TEST_P(RegExpReplace, Writes) {
  const ReplaceCase& c = GetParam();
  const auto re = Made({c.pattern, c.flags, "", ""});
  EXPECT_EQ(oleaut::ToString(Call(*re, "Replace", oleaut::DISPATCH_METHOD, {c.input, c.with})), c.expected);
}

INSTANTIATE_TEST_SUITE_P(Table, RegExpReplace, ::testing::ValuesIn(std::vector<ReplaceCase>{
    {"xxx", "g", "xxxx", "y", "yx"},
    {"a", "", "aaa", "b", "baa"},
    {"a", "g", "aaa", "b", "bbb"},
    {"", "g", "ab", "-", "-a-b-"},
    {"", "", "ab", "-", "-ab"},
    {"\xC3\xA9", "g", "a\xC3\xA9" "b", "[$&]", "a[\xC3\xA9]b"},
    {"(\\w+) (\\w+)", "", "hello world", "$2 $1", "world hello"},
    {"b", "", "abc", "x$&z", "axbzc"},
    {"b", "", "abc", "[$`|$']", "a[a|c]c"},
    {"b", "", "abc", "$$&", "a$&c"},
    {"(b)", "", "abc", "$2$0$", "a$2$0$c"},
    {"(b)", "", "abc", "$10", "ab0c"},
    {"(b)", "", "abc", "$01", "abc"},
    {"(a)(b)(c)(d)(e)(f)(g)(h)(i)(j)(k)(l)", "", "abcdefghijkl", "$12$11$1", "lka"},
    {"(a)|(b)", "g", "ab", "<$1$2>", "<a><b>"},
    {"b", "", "abc", oleaut::VariantBool::True, "a-1c"},
    {"b", "", "abc", oleaut::VariantBool::False, "a0c"},
    {"b", "", "abc", oleaut::Long{6}, "a6c"},
    {"b", "", "abc", "$", "a$c"},
}));

// Changing what the pattern is compiled from compiles it again.
TEST(RegExp, ChangesOfPatternOrFlagsTakeEffect) {
  const auto re = Made({"a$", "", "", ""});
  const auto test = [&](const char* text) {
    return oleaut::ToString(Call(*re, "Test", oleaut::DISPATCH_METHOD, {std::string(text)}));
  };
  EXPECT_EQ(test("A"), "False");
  Call(*re, "IgnoreCase", oleaut::DISPATCH_PROPERTYPUT, {oleaut::VariantBool::True});
  EXPECT_EQ(test("A"), "True");
  EXPECT_EQ(test("A\nb"), "False");
  Call(*re, "Multiline", oleaut::DISPATCH_PROPERTYPUT, {oleaut::VariantBool::True});
  EXPECT_EQ(test("A\nb"), "True");
  Call(*re, "Pattern", oleaut::DISPATCH_PROPERTYPUT, {std::string("c")});
  EXPECT_EQ(test("A\nb"), "False");
  EXPECT_EQ(test("C"), "True");
}

// A pattern that backtracks without end stops with an error, soon.
TEST(RegExp, CatastrophicBacktrackingEndsWithAnError) {
  const auto started = std::chrono::steady_clock::now();
  const auto re = Made({"(a+)+$", "", "", ""});
  const std::string text = std::string(30, 'a') + "b";
  EXPECT_EQ(oleaut::ErrorOf([&] { Call(*re, "Test", oleaut::DISPATCH_METHOD, {text}); }), oleaut::kOutOfStackSpace);
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(3));
}

// A Global run of many cheap matches, and one search that tries a slow
// pattern at many places, stop at the page's deadline.
TEST(RegExp, SearchesStopAtTheDeadline) {
  const auto started = std::chrono::steady_clock::now();
  const auto many = Made({"a", "g", "", ""});
  const std::string as(20'000'000, 'a');
  const auto slow = Made({"(a+)+c", "", "", ""});
  std::string places;
  for (int i = 0; i < 1000; ++i) places += std::string(20, 'a') + " ";
  places += "c";
  {
    const DeadlineScope scope(CoarseNow() + std::chrono::milliseconds(50));
    EXPECT_THROW(Call(*many, "Replace", oleaut::DISPATCH_METHOD, {as, std::string("b")}), PageTimeout);
  }
  {
    const DeadlineScope scope(CoarseNow() + std::chrono::milliseconds(50));
    EXPECT_THROW(Call(*slow, "Test", oleaut::DISPATCH_METHOD, {places}), PageTimeout);
  }
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(5));
}

struct PageCase {
  std::string code;
  std::string expected;
};

void PrintTo(const PageCase& c, std::ostream* os) { *os << c.code; }

class RegExpInPages : public ::testing::TestWithParam<PageCase> {};

TEST_P(RegExpInPages, Writes) {
  const auto outcome = testing::RunCode(GetParam().code, {{"Server", std::make_shared<testing::FakeServer>()}});
  EXPECT_EQ(outcome.error ? "error " + std::to_string(outcome.error->number) : outcome.output, GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Table, RegExpInPages, ::testing::ValuesIn(std::vector<PageCase>{
    {"Set r = New RegExp : Response.Write TypeName(r) & r.Pattern & r.Global & r.IgnoreCase & r.Multiline",
     "IRegExp2FalseFalseFalse"},
    {"Set r = CreateObject(\"VBScript.RegExp\") : r.Pattern = \"\\d\" : Response.Write r.Test(\"a1\")", "True"},
    {"Set r = New RegExp : r.Pattern = \"(\\w)(\\d)\" : r.Global = True\n"
     "For Each m In r.Execute(\"a1 b2\") : For Each s In m.SubMatches : Response.Write s : Next : Next",
     "a1b2"},
    {"Set r = New RegExp : r.Pattern = \"(\\w)(\\d)\" : Set ms = r.Execute(\"xa1\")\n"
     "Response.Write ms(0) & ms.Item(0).FirstIndex & ms(0).SubMatches(1) & ms(0).SubMatches.Count & "
     "TypeName(ms) & TypeName(ms(0)) & TypeName(ms(0).SubMatches)",
     "a1112IMatchCollection2IMatch2ISubMatches"},
    {"Set r = New RegExp : Set ms = r.Execute(\"\") : If ms.Count = 1 Then x = ms(1)", "error 5"},
    {"Set r = New RegExp : r.Pattern = \"(\" : On Error Resume Next : r.Test \"a\" : Response.Write Err.Number",
     "5020"},
    {"Set r = New RegExp : r.Pattern = \"[\" : r.Execute(\"a\")", "error 5019"},
    {"Set r = New RegExp : r.Pattern = \"b\" : r.Global = True : Response.Write r.Replace(\"abcb\", \"$&$&\")",
     "abbcbb"},
    {"Class RegExp : Public Pattern : End Class\nSet r = New RegExp : Response.Write TypeName(r)", "IRegExp2"},
}));

}  // namespace
}  // namespace kelvane::host::vbscript
