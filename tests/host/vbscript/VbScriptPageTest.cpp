// Pages as a whole: the translation of text and script, includes, the
// lines errors name, the page's limits, and objects from outside.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "VbScriptHarness.h"
#include "host/pages/PageDeadline.h"
#include "host/vbscript/Compiler.h"

namespace kelvane::host::vbscript {
namespace {

using testing::RunFiles;
using Files = std::map<std::string, std::string>;

TEST(VbScriptPage, WritesTextAndValuesInOrder) {
  const auto outcome = RunFiles({{"page.asp",
                                  "<%@ Language=\"VBScript\" %>\n<p><% For i = 1 To 2 %>[<%= i %>]<% Next %></p>\n"}});
  ASSERT_FALSE(outcome.error);
  EXPECT_EQ(outcome.output, "<p>[1][2]</p>\n") << "the directive's line break is not text";
}

TEST(VbScriptPage, BlocksSpanTextInsideIfs) {
  const auto outcome = RunFiles({{"page.asp", "<% If 1 = 2 Then %>no<% Else %>yes<% End If %>"}});
  EXPECT_EQ(outcome.output, "yes");
}

TEST(VbScriptPage, RefusesOtherLanguages) {
  const auto outcome = RunFiles({{"page.asp", "<%@ Language=\"JScript\" %>x"}});
  ASSERT_TRUE(outcome.error);
  EXPECT_FALSE(outcome.compiled);
}

struct IncludeCase {
  Files files;
  std::string expected;  // output, or the start of the compile error's description
};

class VbScriptInclude : public ::testing::TestWithParam<IncludeCase> {};

TEST_P(VbScriptInclude, ResolvesInsideTheSite) {
  const auto outcome = RunFiles(GetParam().files);
  if (outcome.error) EXPECT_EQ(outcome.error->description.substr(0, GetParam().expected.size()), GetParam().expected);
  else EXPECT_EQ(outcome.output, GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Table, VbScriptInclude, ::testing::ValuesIn(std::vector<IncludeCase>{
    {{{"page.asp", "a<!--#include file=\"inc/b.asp\"-->c"}, {"inc/b.asp", "<% Response.Write \"B\" %>"}}, "aBc"},
    {{{"page.asp", "<!-- #INCLUDE virtual=\"/lib/f.asp\" --><%= Twice(4) %>"},
      {"lib/f.asp", "<% Function Twice(n) : Twice = n * 2 : End Function %>"}}, "8"},
    {{{"page.asp", "<!--#include file=\"inc/a.asp\"-->"}, {"inc/a.asp", "<!--#include file=\"../c.asp\"-->"},
      {"c.asp", "C"}}, "C"},
    {{{"page.asp", "<!--#include file=\"../secret.asp\"-->"}}, "an include leaves the site"},
    {{{"page.asp", "<!--#include file=\"missing.asp\"-->"}}, "include file not found: missing.asp"},
    {{{"page.asp", "<!--#include file=\"a.asp\"-->"}, {"a.asp", "<!--#include file=\"page.asp\"-->"}},
     "include cycle: page.asp -> a.asp -> page.asp"},
    {{{"page.asp", "<% x = 1"}}, "'<%' is never closed"},
    {{{"page.asp", "<script>var a = 1;</script>"}}, "<script>var a = 1;</script>"},
    {{{"page.asp", "a<SCRIPT LANGUAGE=\"VBScript\" RUNAT=\"Server\">x = 1\nSub S : Response.Write x : End Sub</SCRIPT>b<% S %>"}}, "ab1"},
    {{{"page.asp", "<% S %><script runat=server>\nSub S\n Response.Write \"s\"\nEnd Sub\n</script >"}}, "s"},
    {{{"page.asp", "<script language=\"JScript\" runat=\"server\">var a;</script>"}}, "this host runs server script in VBScript only, not JScript"},
    {{{"page.asp", "<script runat=\"server\">x = 1"}}, "a <script runat=\"server\"> block is never closed"},
    {{{"page.asp", "<% @Language = \"VBScript\" %>\na<% = 1 + 1 %>b"}}, "a2b"},
    {{{"page.asp", "<%\n@ LANGUAGE=VBScript %>\n<%\n= \"x\" %>"}}, "x"}}));

struct PlaceCase {
  Files files;
  std::int32_t number;
  std::string file;
  int line;
};

class VbScriptErrorPlace : public ::testing::TestWithParam<PlaceCase> {};

TEST_P(VbScriptErrorPlace, NamesTheFileAndLine) {
  const auto outcome = RunFiles(GetParam().files);
  ASSERT_TRUE(outcome.error);
  EXPECT_EQ(outcome.error->number, GetParam().number);
  EXPECT_EQ(outcome.error->file, GetParam().file);
  EXPECT_EQ(outcome.error->line, GetParam().line);
}

INSTANTIATE_TEST_SUITE_P(Table, VbScriptErrorPlace, ::testing::ValuesIn(std::vector<PlaceCase>{
    {{{"page.asp", "<html>\n<body>\n<%\nx = 1\ny = 1 / 0\n%>"}}, 11, "page.asp", 5},
    {{{"page.asp", "line1\n<!--#include file=\"f.asp\"-->\n<% Boom %>"},
      {"f.asp", "<%\nSub Boom\n  Err.Raise 5\nEnd Sub\n%>"}}, 5, "f.asp", 3},
    {{{"page.asp", "a\nb\n<%= 1 + %>"}}, kSyntaxError, "page.asp", 3},
    {{{"page.asp", "<% x = 1 %>\n<!--#include file=\"f.asp\"-->"}, {"f.asp", "\n\n<% Dim x\nDim x %>"}},
     kNameRedefined, "f.asp", 4},
    {{{"page.asp", "<%\nFunction F\n F = 0\nEnd Function\nx = 1 / F()\n%>"}}, 11, "page.asp", 5},
    {{{"page.asp", "<%\nx = 1\n.y = 2\n%>"}}, 505, "page.asp", 3},
    {{{"page.asp", "<script\nrunat=\"server\">\nx = 1\ny = 1 / 0\n</script>"}}, 11, "page.asp", 4},
    {{{"page.asp", "a\n<!--#include file=\"f.asp\"-->\nb\n<!--#include file=\"f.asp\"-->\n<% x = 1 / 0 %>"},
      {"f.asp", "<% y = 1 %>\n\n\n"}}, 11, "page.asp", 5}}));

TEST(VbScriptPage, StopsAtItsDeadlineEvenUnderResumeNext) {
  const auto outcome = RunFiles({{"page.asp", "<% On Error Resume Next\nDo\nx = x + 1\nLoop %>"}}, {},
                                std::chrono::milliseconds(50));
  ASSERT_TRUE(outcome.error);
  EXPECT_TRUE(outcome.error->timedOut);
}

TEST(VbScriptPage, StopsARecursionAtItsDeadline) {
  const auto outcome = RunFiles({{"page.asp", "<% Sub R : On Error Resume Next : R : R : End Sub\nR %>"}}, {},
                                std::chrono::milliseconds(50));
  ASSERT_TRUE(outcome.error);
  EXPECT_TRUE(outcome.error->timedOut);
}

TEST(VbScriptPage, BuiltinsWhoseWorkGrowsWithTheirInputStopAtTheDeadline) {
  // Two megabytes of text, an array and a dictionary of 5,000, made with
  // nothing that looks at the page's clock.
  const std::string made =
      "s = \"a b \" : For i = 1 To 19 : s = s & s : Next : ReDim a(5000)\n"
      "Set d = Server.CreateObject(\"Scripting.Dictionary\") : For i = 1 To 5000 : d.Add i, i : Next\n";
  const char* const calls[] = {"InStr(s, \"zz\")", "InStr(1, s, \"ZZ\", 1)", "InStrRev(s, \"zz\")",
                               "Replace(s, \" \", \"-\")", "Split(s, \" \")", "Join(a)", "Filter(a, \"\")",
                               "String(10, \"a\")", "Space(10)", "StrReverse(s)", "d.Keys", "d.Items"};
  const std::vector<std::pair<std::string, oleaut::ObjectRef>> server = {
      {"Server", std::make_shared<testing::FakeServer>()}};
  for (const char* call : calls) {
    SCOPED_TRACE(call);
    const std::map<std::string, std::string> page = {{"page.asp", "<% " + made + "x = " + call + " %>"}};
    EXPECT_FALSE(RunFiles(page, server).error) << "in time, the call succeeds";
    const DeadlineScope past(PageClock::now() - std::chrono::seconds(1));
    const auto outcome = RunFiles(page, server);
    ASSERT_TRUE(outcome.error);
    EXPECT_TRUE(outcome.error->timedOut);
  }
}

TEST(VbScriptPage, EndsWhenTheResponseEnds) {
  const auto outcome = RunFiles({{"page.asp", "a<% Response.End %>b"}});
  EXPECT_FALSE(outcome.error);
  EXPECT_EQ(outcome.output, "a");
}

TEST(VbScriptPage, RefusesNestingTooDeepForTheStack) {
  std::string ifs;
  for (int i = 0; i < 5000; ++i) ifs += "If 1 Then\n";
  const std::vector<std::string> pages = {"<% x = " + std::string(5000, '(') + "1" + std::string(5000, ')') + " %>",
                                          "<% x = " + std::string(5000, '-') + "1 %>",
                                          "<% x = 1" + std::string(5000, '^') + " %>", "<% " + ifs + " %>"};
  for (const auto& page : pages) {
    const auto outcome = RunFiles({{"page.asp", page}});
    ASSERT_TRUE(outcome.error);
    EXPECT_EQ(outcome.error->number, kSyntaxError);
  }
  std::string nested = "<% x = ";
  for (int i = 0; i < 150; ++i) nested += "(1 + ";
  nested += "1" + std::string(150, ')') + " : Response.Write x %>";
  EXPECT_EQ(RunFiles({{"page.asp", nested}}).output, "151");
}

TEST(VbScriptPage, CompilesAProgramThatEndsWithoutALineBreak) {
  TranslatedScript script;
  script.program = "x = 1 + 2 : Response.Write x * 2";
  script.files = {"page.asp"};
  script.lines = {{0, 1}};
  const auto program = Compile(std::move(script));
  const auto response = std::make_shared<testing::FakeResponse>();
  RunOptions options;
  options.objects = {{"Response", response}};
  EXPECT_FALSE(RunProgram(*program, options));
  EXPECT_EQ(response->output, "6");
}

}  // namespace
}  // namespace kelvane::host::vbscript
