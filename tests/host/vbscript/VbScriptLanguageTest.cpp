// The language's rules as tables: an expression or a snippet, and what it
// writes or the error it raises.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "VbScriptHarness.h"

namespace kelvane::host::vbscript {
namespace {

using testing::Result;

struct Case {
  std::string code;
  std::string expected;  // the output, or "error N"
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.code; }

class VbScriptExpression : public ::testing::TestWithParam<Case> {};

TEST_P(VbScriptExpression, Writes) {
  EXPECT_EQ(Result("Response.Write " + GetParam().code), GetParam().expected) << GetParam().code;
}

INSTANTIATE_TEST_SUITE_P(Precedence, VbScriptExpression, ::testing::ValuesIn(std::vector<Case>{
    {"-2 ^ 2", "4"}, {"-3^2", "9"}, {"2 ^ -1", "0.5"}, {"2 * -3 ^ 2", "18"},
    {"2 => 1", "True"}, {"1 =< 2", "True"}, {"2 >< 2", "False"}, {"2 >< 1", "True"}, {"2 + 3 * 4", "14"}, {"(2 + 3) * 4", "20"},
    {"7 \\ 2 * 3", "1"}, {"10 Mod 4 \\ 2", "0"}, {"1 + 2 & 3", "33"}, {"2 * 3 Mod 4", "2"},
    {"Not 1 = 2", "True"}, {"True Or False And False", "True"}, {"1 < 2 = True", "True"},
    {"3 Xor 5 Eqv 0", "-7"}, {"False Imp True", "True"}, {"2 ^ 3 ^ 2", "64"},
    {"8 / 2 / 2", "2"}, {"-3 Mod 2", "-1"}, {"1 - 2 * 3 - 4", "-9"}, {"10 - 2 ^ 2 * 2 & 1 + 1", "22"},
    {"1 Or 2 And 0 Xor 4", "5"}, {"2 * 3 + 4 * 5 - 6 \\ 4", "25"}}));

INSTANTIATE_TEST_SUITE_P(Numbers, VbScriptExpression, ::testing::ValuesIn(std::vector<Case>{
    {"TypeName(32767)", "Integer"}, {"TypeName(32768)", "Long"}, {"TypeName(2147483648)", "Double"},
    {"TypeName(32767 + 1)", "Long"}, {"TypeName(2147483647 + 1)", "Double"},
    {"123456789 + 0", "123456789"}, {"TypeName(999999999)", "Long"}, {"007 + 1", "8"},
    {"32767 + 1", "32768"}, {"&HFFFF", "-1"}, {"&H10000", "65536"}, {"&O17", "15"},
    {"&HFF00&", "65280"}, {"TypeName(&H10&)", "Integer"}, {"&HFFFFFFFF&", "-1"}, {"&O177777&", "65535"},
    {"TypeName(&HFFFFFFFF&)", "Integer"},
    {"TypeName(&HFFF&)", "Integer"}, {"TypeName(10.) & (10. + 1)", "Double11"},
    {"TypeName(1.5)", "Double"}, {"CInt(32768)", "error 6"}, {"CInt(2.5)", "2"},
    {"CInt(3.5)", "4"}, {"CLng(-2.5)", "-2"}, {"CByte(256)", "error 6"}, {"Int(-2.5)", "-3"},
    {"Fix(-2.5)", "-2"}, {"Round(2.5)", "2"}, {"Round(3.5)", "4"}, {"Round(1.235, 2)", "1.24"},
    {"7.5 \\ 2", "4"}, {"6.5 \\ 2", "3"}, {"7.5 Mod 2", "0"}, {"5 \\ 0", "error 11"},
    {"5 Mod 0", "error 11"}, {"5 / 0", "error 11"}, {"True + True", "-2"}, {"CStr(True)", "True"},
    {"1E+16", "1E+16"}, {"1/3", "0.333333333333333"}, {"Abs(-32768)", "32768"}, {"Sgn(-0.5)", "-1"},
    {"Sqr(16)", "4"}, {"Sqr(-1)", "error 5"}, {"Hex(255)", "FF"}, {"Hex(-1)", "FFFF"},
    {"Oct(8)", "10"}, {"CDbl(\"1,000.5\")", "1000.5"}, {"\"3\" + 4", "7"}, {"\"a\" + 4", "error 13"},
    {"\"a\" + \"b\"", "ab"}, {"CBool(\"true\")", "True"}, {"FormatNumber(1234.5)", "1,234.50"},
    {"FormatNumber(-1234.5, 1)", "-1,234.5"}, {"FormatNumber(1234567, 0)", "1,234,567"}, {"RGB(255, 0, 0)", "255"},
    {"RGB(0, 0, 300)", "16711680"}, {"vbWhite", "16777215"}, {"vbString", "8"},
    {"CByte(True)", "255"}, {"CBool(\"#FALSE#\")", "False"}, {"CByte(\"#TRUE#\")", "error 13"},
    {"TypeName(Round(True))", "Boolean"}, {"TypeName(Round(3, 1))", "Integer"},
    {"TypeName(Round(\"2\"))", "Double"}, {"TypeName(Round(CSng(2.5)))", "Single"},
    {"CSng(0.1) = 0.1", "True"}, {"CSng(0.001 * 0.001) = 0.000001", "True"}, {"CDbl(CSng(0.1)) = 0.1", "False"},
    {"FormatNumber(Null)", "error 13"}, {"FormatNumber(0.5, , 0)", ".50"}, {"FormatNumber(-2, 0, , True)", "(2)"}}));

INSTANTIATE_TEST_SUITE_P(Currency, VbScriptExpression, ::testing::ValuesIn(std::vector<Case>{
    {"TypeName(CCur(1))", "Currency"}, {"VarType(CCur(1))", "6"}, {"CCur(0.000149)", "0.0001"},
    {"CCur(1.23456)", "1.2346"}, {"CCur(\"-0.5\")", "-0.5"}, {"CCur(1E+15)", "error 6"},
    {"CCur(Null)", "error 94"}, {"CCur(\"x\")", "error 13"}, {"TypeName(CCur(1) + 1)", "Currency"},
    {"TypeName(CCur(1) + CSng(1))", "Currency"}, {"TypeName(CCur(1) + 1.5)", "Double"},
    {"TypeName(CCur(1) * CCur(2))", "Currency"}, {"TypeName(CCur(1) / 2)", "Double"},
    {"CCur(0.1) + CCur(0.2) = CCur(0.3)", "True"}, {"CCur(2.5) * CCur(0.0001)", "0.0002"},
    {"CCur(922337203685477) * 10", "error 6"}, {"-CCur(5.25)", "-5.25"}, {"Fix(CCur(-0.99))", "0"},
    {"TypeName(Int(CCur(-0.99)))", "Currency"}, {"Int(CCur(-0.99))", "-1"}, {"Abs(CCur(-1.5))", "1.5"},
    {"TypeName(Abs(CCur(-1)))", "Currency"}, {"Round(CCur(2.345), 2)", "2.34"}, {"Round(CCur(2.355), 2)", "2.36"}, {"Round(CCur(-0.5))", "0"}, {"Round(CCur(1.5))", "2"}, {"Sgn(CCur(-1))", "-1"},
    {"IsNumeric(CCur(1))", "True"}, {"CLng(CCur(2.5))", "2"}, {"CCur(7) \\ 2", "3"},
    {"FormatCurrency(1234.5)", "$1,234.50"}, {"FormatCurrency(-1234.5)", "($1,234.50)"},
    {"FormatCurrency(-1, 0, , 0)", "-$1"}, {"FormatCurrency(Null)", "error 13"},
    {"FormatCurrency(1, Null)", "error 94"}, {"FormatPercent(0.125)", "12.50%"},
    {"FormatPercent(-0.5, 0)", "-50%"}, {"FormatPercent(.12, , , -1)", "12.00%"}}));

INSTANTIATE_TEST_SUITE_P(EngineAndConstants, VbScriptExpression, ::testing::ValuesIn(std::vector<Case>{
    {"ScriptEngine", "VBScript"}, {"ScriptEngineMajorVersion & \".\" & ScriptEngineMinorVersion", "5.8"},
    {"TypeName(ScriptEngineBuildVersion)", "Long"}, {"vbCritical + vbYesNo + vbDefaultButton2", "276"},
    {"TypeName(vbYes)", "Integer"}, {"TypeName(vbMsgBoxHelpButton)", "Long"}, {"TypeName(vbRed)", "Long"},
    {"TypeName(vbBlack)", "Long"}, {"TypeName(vbObjectError)", "Long"}, {"vbObjectError", "-2147221504"},
    {"Asc(vbFormFeed) & Asc(vbVerticalTab)", "1211"}, {"vbDatabaseCompare", "2"},
    {"vbFirstFourDays + vbFirstFullWeek", "5"}, {"vbSystemModal", "4096"}, {"vbDecimal", "14"}}));

INSTANTIATE_TEST_SUITE_P(ByteStrings, VbScriptExpression, ::testing::ValuesIn(std::vector<Case>{
    {"LenB(\"abc\")", "6"}, {"LenB(\"h\xC3\xA9\")", "4"}, {"LenB(\"\xF0\x9F\x98\x80\")", "4"},
    {"TypeName(LenB(Null))", "Null"},
    {"LenB(ChrB(65) & ChrB(66))", "2"}, {"TypeName(ChrB(65))", "Byte()"}, {"ChrB(256)", "error 5"},
    {"AscB(\"A\")", "65"}, {"AscB(ChrB(200))", "200"}, {"AscB(\"\")", "error 5"}, {"AscB(Null)", "error 94"},
    {"AscB(MidB(ChrB(1) & ChrB(2) & ChrB(3), 2, 1))", "2"}, {"LenB(MidB(ChrB(1) & ChrB(2) & ChrB(3), 2))", "2"},
    {"LenB(MidB(ChrB(1), 5))", "0"}, {"MidB(\"abc\", 3, 2)", "b"}, {"LeftB(\"abc\", 2)", "a"},
    {"RightB(\"abc\", 4)", "bc"}, {"MidB(\"abc\", 0)", "error 5"}, {"TypeName(MidB(Null, 1))", "Null"},
    {"AscB(RightB(ChrB(1) & ChrB(2), 1))", "2"}, {"LenB(LeftB(ChrB(1) & ChrB(2), 9))", "2"},
    {"InStrB(ChrB(13) & ChrB(10) & ChrB(13) & ChrB(10), ChrB(10) & ChrB(13))", "2"},
    {"InStrB(3, ChrB(1) & ChrB(2) & ChrB(1), ChrB(1))", "3"}, {"InStrB(\"abc\", \"c\")", "5"},
    {"InStrB(ChrB(1), ChrB(2))", "0"}, {"TypeName(InStrB(Null, ChrB(2)))", "Null"},
    {"ChrB(1) & ChrB(2) = ChrB(1) & ChrB(2)", "True"}, {"ChrB(1) < ChrB(2)", "True"}}));

INSTANTIATE_TEST_SUITE_P(NullArguments, VbScriptExpression, ::testing::ValuesIn(std::vector<Case>{
    {"Mid(\"test\", 0, Null)", "error 94"}, {"Mid(\"test\", \"a\", Null)", "error 94"},
    {"Mid(Null, -1, -1)", "error 5"}, {"Mid(\"test\", \"a\", Empty)", "error 13"},
    {"TypeName(Mid(Null, 5, 2))", "Null"}, {"Right(Null, -1)", "error 5"}, {"Right(\"test\", Null)", "error 94"},
    {"Join(Null)", "error 94"}, {"Join(Array(1, Null))", "error 13"}, {"Join(Array(), Null)", "error 94"},
    {"InStrRev(\"abcd\", Null)", "error 94"}, {"InStrRev(Null, \"a\")", "error 94"},
    {"Replace(Null, \"x\", \"y\")", "error 94"}, {"Replace(\"xx\", \"x\", \"y\", 1, 1, 8)", "error 5"},
    {"InStr(2, \"abcd\", \"abcd\", Null)", "error 94"}, {"TypeName(DateAdd(\"q\", 1, Null))", "Null"},
    {"DateAdd(\"q\", Null, Date)", "error 94"}, {"FormatDateTime(Null)", "error 13"},
    {"FormatDateTime(0.1, Null)", "error 94"}, {"Weekday(Null, -1)", "error 5"},
    {"TypeName(Weekday(Null, 1))", "Null"}, {"Weekday(Date, Null)", "error 94"}, {"Sgn(Null)", "error 94"},
    {"MonthName(\"a\", Null)", "error 94"}, {"Join(Response)", "error 438"}}));

INSTANTIATE_TEST_SUITE_P(OmittedArguments, VbScriptExpression, ::testing::ValuesIn(std::vector<Case>{
    {"InStr(, \"abc\", \"c\")", "3"}, {"FormatNumber(1234.5, , , , 0)", "1234.50"},
    {"Replace(\"a-b-c\", \"-\", \"+\", , 1)", "a+b-c"}, {"Mid(\"abc\", , 1)", "error 13"},
    {"Split(\"a b\", , 1)(0)", "a b"}, {"InStrRev(\"abab\", \"b\", , 0)", "4"}}));

INSTANTIATE_TEST_SUITE_P(NullAndEmpty, VbScriptExpression, ::testing::ValuesIn(std::vector<Case>{
    {"TypeName(Null + 1)", "Null"}, {"TypeName(Empty + 1)", "Integer"}, {"Empty + 1", "1"},
    {"\"a\" & Null", "a"}, {"TypeName(Null & Null)", "Null"}, {"TypeName(Null = 1)", "Null"},
    {"Empty = 0", "True"}, {"Empty = \"\"", "True"}, {"IsEmpty(x)", "True"}, {"IsNull(Null)", "True"},
    {"TypeName(Len(Null))", "Null"}, {"TypeName(Left(Null, 1))", "Null"},
    {"TypeName(InStr(Null, \"a\"))", "Null"}, {"Null And False", "False"}, {"TypeName(Null Or False)", "Null"},
    {"CInt(Null)", "error 94"}, {"VarType(Empty)", "0"}, {"VarType(Null)", "1"},
    {"TypeName(Nothing)", "Nothing"}, {"VarType(Array())", "8204"}, {"TypeName(Array(1))", "Variant()"}}));

INSTANTIATE_TEST_SUITE_P(Comparisons, VbScriptExpression, ::testing::ValuesIn(std::vector<Case>{
    {"\"a\" < \"b\"", "True"},
    {"\"B\" < \"a\"", "True"}, {"\"10\" < \"9\"", "True"}, {"StrComp(\"a\", \"A\")", "1"},
    {"StrComp(\"a\", \"A\", 1)", "0"}, {"1 = 1.0", "True"}, {"True = -1", "True"},
    {"x = 0", "True"}, {"x = \"\"", "True"}}));

INSTANTIATE_TEST_SUITE_P(Strings, VbScriptExpression, ::testing::ValuesIn(std::vector<Case>{
    {"Len(\"h\xC3\xA9llo\")", "5"}, {"Left(\"hello\", 2)", "he"}, {"Right(\"hello\", 2)", "lo"},
    {"Mid(\"hello\", 2, 3)", "ell"}, {"Mid(\"hello\", 9)", ""}, {"Mid(\"hello\", 0)", "error 5"},
    {"Left(\"a\", -1)", "error 5"}, {"Mid(\"h\xC3\xA9llo\", 2, 1)", "\xC3\xA9"},
    {"InStr(\"hello\", \"l\")", "3"}, {"InStr(4, \"hello\", \"l\")", "4"}, {"InStr(\"hello\", \"z\")", "0"},
    {"InStr(3, \"hello\", \"\")", "3"}, {"InStr(1, \"HELLO\", \"l\", 1)", "3"},
    {"InStrRev(\"hello\", \"l\")", "4"}, {"Replace(\"a-b-c\", \"-\", \"+\")", "a+b+c"},
    {"Replace(\"a-b-c\", \"-\", \"+\", 3)", "b+c"}, {"Replace(\"a-b-c\", \"-\", \"\", 1, 1)", "ab-c"},
    {"Replace(\"aAa\", \"a\", \"x\", 1, -1, 1)", "xxx"}, {"UBound(Split(\"\"))", "-1"},
    {"UBound(Split(\"a,b,c\", \",\"))", "2"}, {"Join(Split(\"a b c\"), \"-\")", "a-b-c"},
    {"UCase(\"abc\")", "ABC"}, {"LCase(\"ABC\")", "abc"}, {"\"[\" & Trim(\"  a  \") & \"]\"", "[a]"},
    {"\"[\" & LTrim(\"  a \") & \"]\"", "[a ]"}, {"Space(3) & \"x\"", "   x"}, {"String(3, \"ab\")", "aaa"},
    {"String(2, 65)", "AA"}, {"StrReverse(\"abc\")", "cba"}, {"Chr(65)", "A"}, {"Asc(\"A\")", "65"},
    {"Asc(\"\")", "error 5"}, {"AscW(ChrW(233))", "233"}, {"Join(Filter(Array(\"ab\", \"cd\", \"ad\"), \"a\"))", "ab ad"},
    {"Join(Filter(Array(\"ab\", \"cd\"), \"a\", False))", "cd"}, {"LBound(Array(1))", "0"},
    {"IsNumeric(\"12.5\")", "True"}, {"IsNumeric(\"abc\")", "False"}, {"IsArray(Array())", "True"},
    {"\"a\" & vbTab & \"b\"", "a\tb"}, {"Len(vbCrLf)", "2"}, {"Split(\"a=b\", \"=\")(1)", "b"},
    {"Array(1, Array(2, 3))(1)(0)", "2"}, {"Split(\"a\")(1)", "error 9"}}));

INSTANTIATE_TEST_SUITE_P(Dates, VbScriptExpression, ::testing::ValuesIn(std::vector<Case>{
    {"#2/29/2024#", "2/29/2024"}, {"#2024-02-29#", "2/29/2024"}, {"DateSerial(2024, 13, 1)", "1/1/2025"},
    {"DateSerial(2024, 3, 0)", "2/29/2024"}, {"TimeSerial(15, 4, 5)", "3:04:05 PM"},
    {"#2/29/2024# + TimeSerial(15, 4, 5)", "2/29/2024 3:04:05 PM"}, {"Year(#2/29/2024#)", "2024"},
    {"Month(#2/29/2024#)", "2"}, {"Day(#2/29/2024#)", "29"}, {"Weekday(#2/25/2024#)", "1"},
    {"Weekday(#2/29/2024#, 2)", "4"}, {"DateAdd(\"m\", 1, #1/31/2024#)", "2/29/2024"},
    {"DateAdd(\"yyyy\", 1, #2/29/2024#)", "2/28/2025"}, {"DateAdd(\"d\", -1, #3/1/2024#)", "2/29/2024"},
    {"DateAdd(\"h\", 36, #1/1/2024#)", "1/2/2024 12:00:00 PM"}, {"DateAdd(\"x\", 1, Now)", "error 5"},
    {"DateDiff(\"yyyy\", #12/31/2023#, #1/1/2024#)", "1"}, {"DateDiff(\"d\", #1/1/2024#, #3/1/2024#)", "60"},
    {"DateDiff(\"m\", #1/31/2024#, #2/1/2024#)", "1"}, {"DateDiff(\"ww\", #2/24/2024#, #2/25/2024#)", "1"},
    {"DateDiff(\"w\", #2/24/2024#, #2/25/2024#)", "0"}, {"DateDiff(\"n\", #1/1/2024 10:59:59 PM#, #1/1/2024 11:00:00 PM#)", "1"},
    {"Hour(#3:04:05 PM#)", "15"}, {"Minute(#3:04:05 PM#)", "4"}, {"Second(#3:04:05 PM#)", "5"},
    {"CDate(\"2/29/2024\") = #2/29/2024#", "True"}, {"IsDate(\"2/30/2024\")", "False"},
    {"IsDate(\"2/29/2024\")", "True"}, {"TypeName(Now)", "Date"}, {"VarType(Date)", "7"},
    {"FormatDateTime(#2/29/2024 3:04:05 PM#, 1)", "Thursday, February 29, 2024"},
    {"FormatDateTime(#2/29/2024 3:04:05 PM#, 2)", "2/29/2024"},
    {"FormatDateTime(#2/29/2024 3:04:05 PM#, 4)", "15:04"}, {"#1/2/2024# > #1/1/2024#", "True"},
    {"#1/2/2024# - #1/1/2024#", "1"}, {"MonthName(2)", "February"}, {"MonthName(2, True)", "Feb"},
    {"MonthName(13)", "error 5"}, {"WeekdayName(1)", "Sunday"}, {"WeekdayName(1, True, 2)", "Mon"},
    {"DatePart(\"q\", #5/1/2024#)", "2"}, {"DatePart(\"y\", #2/1/2024#)", "32"},
    {"DatePart(\"ww\", #1/7/2024#)", "2"}, {"DateValue(#2/29/2024 3:00:00 PM#)", "2/29/2024"},
    {"TimeValue(\"3:04:05 PM\")", "3:04:05 PM"}}));

INSTANTIATE_TEST_SUITE_P(Names, VbScriptExpression, ::testing::ValuesIn(std::vector<Case>{
    {"Response.rem", "error 438"}, {"TypeName([end])", "Empty"}}));

class VbScriptSnippet : public ::testing::TestWithParam<Case> {};

TEST_P(VbScriptSnippet, Writes) { EXPECT_EQ(Result(GetParam().code), GetParam().expected) << GetParam().code; }

INSTANTIATE_TEST_SUITE_P(Statements, VbScriptSnippet, ::testing::ValuesIn(std::vector<Case>{
    {"x = 1 : y = 2 : Response.Write x + y", "3"},
    {"x = 1 + _\n 2\nResponse.Write x", "3"},
    {"' a comment\nRem another\nResponse.Write \"a\" ' trailing", "a"},
    {"If 1 > 2 Then Response.Write \"a\" Else Response.Write \"b\"", "b"},
    {"If 1 < 2 Then Response.Write \"a\" : Response.Write \"c\"", "ac"},
    {"x = 5\nIf x < 3 Then\n Response.Write \"s\"\nElseIf x < 10 Then\n Response.Write \"m\"\nElse\n Response.Write \"l\"\nEnd If", "m"},
    {"If Null Then Response.Write \"t\" Else Response.Write \"f\"", "f"},
    {"For i = 1 To 3 : Response.Write i : Next", "123"},
    {"For i = 3 To 1 Step -1 : Response.Write i : Next : Response.Write \"|\" & i", "321|0"},
    {"For i = 0 To 1 Step 0.25 : Response.Write i & \" \" : Next", "0 0.25 0.5 0.75 1 "},
    {"For i = 1 To 10 : If i = 3 Then Exit For\nNext : Response.Write i", "3"},
    {"For i = 1 To 0 : Response.Write \"x\" : Next : Response.Write i", "1"},
    {"n = 3 : For i = 1 To n : n = 1 : Response.Write i : Next", "123"},
    {"For Each x In Array(1, \"b\", 3) : Response.Write x : Next", "1b3"},
    {"i = 0 : Do While i < 3 : i = i + 1 : Loop : Response.Write i", "3"},
    {"i = 0 : Do : i = i + 1 : Loop Until i >= 5 : Response.Write i", "5"},
    {"i = 9 : Do Until i > 5 : i = i + 1 : Loop : Response.Write i", "9"},
    {"i = 0 : Do : i = i + 1 : If i = 4 Then Exit Do\nLoop : Response.Write i", "4"},
    {"i = 0 : While i < 2 : i = i + 1 : Wend : Response.Write i", "2"},
    {"Select Case 5\nCase 1, 2\n Response.Write \"a\"\nCase 3 To 6\n Response.Write \"b\"\nCase Else\n Response.Write \"c\"\nEnd Select", "b"},
    {"Select Case 9\nCase Is > 8\n Response.Write \"big\"\nCase Is > 3\n Response.Write \"mid\"\nEnd Select", "big"},
    {"s = \"x\"\nSelect Case s\nCase 1, \"x\"\n Response.Write \"hit\"\nEnd Select", "error 13"},
    {"s = \"2\"\nSelect Case s\nCase 1\n Response.Write \"one\"\nCase 2\n Response.Write \"two\"\nEnd Select", "two"},
    {"Select Case 7\nCase 1\n Response.Write \"one\"\nCase Else\n Response.Write \"else\"\nEnd Select", "else"},
    {"Dim a(2) : a(0) = \"x\" : a(2) = \"z\" : Response.Write UBound(a) & a(0) & a(2)", "2xz"},
    {"Dim a(1) : a(2) = 1", "error 9"},
    {"Dim a : a = Array(1, 2) : b = a : b(0) = 9 : Response.Write a(0) & b(0)", "19"},
    {"ReDim a(1) : a(1) = 5 : ReDim Preserve a(3) : Response.Write UBound(a) & a(1)", "35"},
    {"ReDim a(1) : a(1) = 5 : ReDim a(2) : Response.Write IsEmpty(a(1))", "True"},
    {"Dim a(2) : a(1) = 4 : Erase a : Response.Write IsEmpty(a(1))", "True"},
    {"Dim a(2, 3) : a(1, 2) = 5 : a(2, 3) = 7 : Response.Write a(1, 2) & a(2, 3) & UBound(a) & UBound(a, 2) & LBound(a, 2)", "57230"},
    {"Dim a(2, 3) : a(3, 0) = 1", "error 9"}, {"Dim a(2, 3) : a(1) = 1", "error 9"},
    {"Dim a(1, 1) : Response.Write UBound(a, 3)", "error 9"},
    {"ReDim a(1, 1) : a(1, 1) = 4 : ReDim Preserve a(1, 3) : Response.Write a(1, 1) & UBound(a, 2)", "43"},
    {"ReDim a(1, 1) : ReDim Preserve a(2, 1)", "error 9"},
    {"Dim a(1, 2) : n = 0 : For Each x In a : n = n + 1 : Next : Response.Write n", "6"},
    {"Const Limit = 10 : Response.Write Limit * 2", "20"},
    {"Const Limit = 10 : Limit = 3", "error 501"},
    {"Dim x\nDim x", "error 1041"},
    {"Option Explicit\nDim x : x = 1 : y = 2", "error 500"},
    {"Option Explicit\nDim x : x = 1 : Response.Write x", "1"},
    {"x = 3 : x = x & \"\" : Response.Write TypeName(x)", "String"},
    {"Set x = 1", "error 424"},
    {"Response.Write 1 +", "error 1002"},
    {"Response.Write \"open", "error 1033"},
    {"If 1 Then\nResponse.Write 1", "error 1014"}, {"If 1\nEnd If", "error 1017"},
    {"For i = 1\nNext", "error 1013"}, {"For i = 1 To 2\nLoop", "error 1020"}, {"Do\nNext", "error 1019"},
    {"While 1\nNext", "error 1018"}, {"Sub S\nEnd Function", "error 1016"}, {"Dim 1", "error 1010"},
    {"x = (1", "error 1006"}, {"ReDim a", "error 1005"}, {"1", "error 1024"}, {"For Each x On y\nNext", "error 1046"},
    {"x = 1 2", "error 1025"},
    {"Randomize() : Stop : Response.Write \"r\"", "r"},
    {"On Error Resume Next\nx = Randomize(0)\nResponse.Write Err.Number & TypeName(x)", "13Empty"},
    {"x = 1 : If x = 1 Then y = \"yes\" Else y = \"no\" End If : Response.Write y", "yes"},
    {"If False Then y = 1 Else y = 2 End If\nResponse.Write y", "2"},
    {"If True Then y = 1 : End If\nResponse.Write y", "1"},
    {"if true then x=1 end if\nResponse.Write x", "1"},
    {"Sub S\n Response.Write 1 End Sub\nS", "1"},
    {"If False Then\nSub S() Response.Write 1 End Sub\nEnd If\nS", "1"},
    {"Sub S : If True Then Response.Write 2 End Sub\nS", "2"},
    {"If True Then y = 1 End Sub", "error 1002"},
    {"For x = \"1\" To \"2\" Step \"1\" : n = n + 1 : Next : Response.Write n", "2"},
    {"Option Explicit\nReDim a(3) : Response.Write UBound(a)", "3"},
    {"Option Explicit\nSub S : ReDim a(2) : Response.Write UBound(a) : End Sub : S", "2"},
    {"If False Then\n Sub S : Response.Write \"s\" : End Sub\nEnd If\nS", "s"},
    {"For i = 1 To 2\n Function F : F = 3 : End Function\nNext\nResponse.Write F", "3"},
    {"Function F : F = 1 : End Function\nFunction F : F = 2 : End Function\nResponse.Write F", "2"},
    {"Sub F : End Sub\nDim F", "error 1041"},
    {"Public Sub [error](m) : Response.Write m : End Sub\n[error] \"e\" : Call [error](\"f\")", "ef"},
    {"Sub S : Dim error : error = 2 : Response.Write error : End Sub : S", "2"},
    {"Dim step, default, explicit, property : step = 1 : default = 2 : Response.Write step + default", "3"},
    {"Sub S : Dim Property : For Property = 1 To 2 : Next : Response.Write Property : End Sub : S", "3"},
    {"Function F(n) : F = n * 2 : End Function\nx = (F)(2) : Response.Write x", "4"},
    {"Function F(a) : a(0) = 2 : F = 1 : End Function\nx = Array(1) : Call (((F))) (x) : Response.Write x(0)", "2"},
    {"Function F(a) : a(0) = 2 : F = 1 : End Function\nx = Array(1) : Call (((F))) ((x)) : Response.Write x(0)", "1"},
    {"x = Array(5) : y = ((x))(0) : Response.Write y", "5"},
    {"On Error Resume Next\nCall LBound()\nResponse.Write Err.Number", "450"},
    {"If False Then x = Mid(\"a\")\nResponse.Write \"compiled\"", "compiled"},
    {"Sub S : S = 1 : End Sub\nResponse.Write \"compiled\"", "compiled"},
    {"On Error Resume Next\n.x = 1\nResponse.Write Err.Number", "505"},
    {"On Error Resume Next\nFor Each x In Empty : n = n + 1 : Next\nResponse.Write n & \" \" & Err.Number", "1 451"},
    {"For Each x In Empty : Next", "error 451"},
    {"Randomize 1 : x = Rnd : Randomize 1 : Response.Write x = Rnd", "False"},
    {"x = Rnd(-1) : Randomize 1 : x = Rnd : y = Rnd(-1) : Randomize 1 : Response.Write x = Rnd", "True"},
    {"Response.Write Int(Rnd(-1) * 1000000) & \" \" & Int(Rnd * 1000000)", "224007 35845"},
    {"Response.Write (Rnd(-2) = Rnd(-2)) & (Rnd(-1) = Rnd(-2)) & TypeName(Rnd)", "TrueFalseSingle"},
    {"x = Rnd(-1) : y = Rnd : Response.Write (Rnd(0) = y) & (Rnd = y)", "TrueFalse"},
    {"Call CInt(1)", "error 458"}, {"CCur 2", "error 458"}, {"Call CInt(\"a\")", "error 13"},
    {"Call CStr(1) : Response.Write \"ok\"", "ok"},
    {"Option Explicit\nResponse.Write vbOKCancel + vbInformation", "65"},
    {"If \"#TRUE#\" Then Response.Write \"t\"", "t"},
    {"Sub S(a, b, c) : Response.Write TypeName(b) & VarType(b) : End Sub\nS 1, , 3", "Error10"},
    {"Sub S(a, b) : Response.Write TypeName(b) : End Sub\nCall S(1, )", "Error"},
    {"Response.Write Foo(2)\nFunction Foo(n) : Foo = n * 2 : End Function", "4"},
    {"Response.Write Twice(3)\nFunction Twice(n)\n Twice = n\n Twice = Twice + n\nEnd Function", "6"},
    {"Function F() : End Function : Response.Write TypeName(F())", "Empty"},
    {"Sub S : Response.Write \"s\" : Exit Sub : Response.Write \"t\" : End Sub : S", "s"},
    {"Nope 1", "error 35"}, {"x = Nope(1)", "error 35"},
    {"Sub S(a, b) : End Sub : S 1", "error 450"},
    {"Sub S(a, b) : End Sub : S(1, 2)", "error 1044"},
    {"Function F(n) : If n = 0 Then F = 0 Else F = 1 + F(n - 1)\nEnd Function : Response.Write F(100)", "100"},
    {"Function F(n) : F = F(n + 1) : End Function : F 1", "error 28"}}));

INSTANTIATE_TEST_SUITE_P(TypedComparisons, VbScriptSnippet, ::testing::ValuesIn(std::vector<Case>{
    {"s = \"10\" : Response.Write s = 10", "True"}, {"s = \"10\" : Response.Write 10 = s", "True"},
    {"s = \"abc\" : Response.Write s = 1", "error 13"}, {"s = \"9\" : Response.Write s < 10", "True"},
    {"s = \"9\" : n = 10 : Response.Write s < n", "False"}, {"n = 1 : Response.Write n = \"1\"", "True"},
    {"n = 1 : s = \"1\" : Response.Write n = s", "False"}, {"Const One = 1 : s = \"1\" : Response.Write s = One", "True"},
    {"s = \"5\" : If s = 5 Then Response.Write \"page five\"", "page five"}}));

INSTANTIATE_TEST_SUITE_P(ByRef, VbScriptSnippet, ::testing::ValuesIn(std::vector<Case>{
    {"Sub Inc(n) : n = n + 1 : End Sub\na = 1 : Inc a : Response.Write a", "2"},
    {"Sub Inc(n) : n = n + 1 : End Sub\na = 1 : Call Inc(a) : Response.Write a", "2"},
    {"Sub Inc(n) : n = n + 1 : End Sub\na = 1 : Inc(a) : Response.Write a", "1"},
    {"Sub Inc(n) : n = n + 1 : End Sub\na = 1 : Call Inc((a)) : Response.Write a", "1"},
    {"x = Array(7) : Response.Write (x)(0)", "7"},
    {"Class C : End Class\nSub S(a, b) : Response.Write TypeName(a) & b : End Sub\nS (New C), 2", "C2"},
    {"Sub Inc(ByVal n) : n = n + 1 : End Sub\na = 1 : Inc a : Response.Write a", "1"},
    {"Sub Inc(n) : n = n + 1 : End Sub\na = 1 : Inc a + 0 : Response.Write a", "1"},
    {"Sub Add2(a, b) : a = a + b : End Sub\nx = 1 : Add2 x, (x) : Response.Write x", "2"},
    {"Sub Swap(a, b) : t = a : a = b : b = t : End Sub\nx = 1 : y = 2 : Swap x, y : Response.Write x & y", "21"},
    {"Function G(s) : s = \"changed\" : G = 1 : End Function\nv = \"same\" : r = G(v) : Response.Write v", "changed"},
    {"Sub S : x = 5 : End Sub\nx = 1 : S : Response.Write x", "5"},
    {"Sub S : Dim x : x = 5 : End Sub\nx = 1 : S : Response.Write x", "1"},
    {"Sub S(a) : a = 2 : End Sub\nx = Array(1, 1) : S x(1) : Response.Write x(0) & x(1)", "12"},
    {"Sub S(a) : a(0) = 2 : End Sub\nx = Array(Array(3)) : S x(0) : Response.Write x(0)(0)", "2"},
    {"Sub S(a) : ReDim x(0) : a = 2 : End Sub\nx = Array(1, 1) : S x(1)", "error 9"},
    // A method of the page's own class takes its arguments as a procedure does.
    {"Class C\n Sub Inc(n) : n = n + 1 : End Sub\nEnd Class\nSet o = New C : a = 1 : o.Inc a : o.Inc (a) : Response.Write a", "2"},
    {"Class C\n Function F(s) : s = \"b\" : F = 1 : End Function\nEnd Class\nSet o = New C : v = \"a\" : r = o.F(v) : Response.Write v", "b"},
    {"Class C\n Sub S(a) : a = 2 : End Sub\nEnd Class\nSet o = New C : x = Array(1, 1) : o.S x(1) : Response.Write x(0) & x(1)", "12"},
    {"Class C\n Private d(2)\n Property Let Item(i, v) : d(i) = v : End Property\n Property Get Item(i) : Item = d(i) : End Property\nEnd Class\nSet o = New C : k = 1 : o.Item(k) = 5 : Response.Write o.Item(1) & IsEmpty(o.Item(0))", "5True"},
    {"Class C\n Sub S(a) : End Sub\nEnd Class\nSet o = New C : o.S 1, 2", "error 450"},
    {"Class C\n Sub S(a) : End Sub\nEnd Class\nSet o = New C : o.S 1 / 0, 2", "error 11"},
    {"Class C\n Sub S(a) : End Sub\nEnd Class\nSet o = New C : o.S = 1", "error 450"},
    {"Class C\n Private Sub S : End Sub\nEnd Class\nSet o = New C : o.S", "error 438"},
    {"Class C\n Public r\n Property Set Obj(v) : Set r = v : End Property\nEnd Class\nSet o = New C : Set o.Obj = o : Response.Write o.r Is o", "True"},
    // Frames deeper than one chunk of the stack of locals, ByRef all the way down.
    {"Sub R(n, t) : Dim a, b, c, d, e, f, g, h : a = n : t = t + a : If n > 0 Then R n - 1, t\nEnd Sub\nx = 0 : R 200, x : Response.Write x", "20100"},
    {"Sub Big : Dim v(0)" + [] {
       std::string names;
       for (int i = 0; i < 300; ++i) names += ", v" + std::to_string(i);
       return names;
     }() + " : v299 = 3 : Response.Write v299 : End Sub\nSub R(n) : Dim a : If n > 0 Then R n - 1 Else Big\nEnd Sub\nR 100", "3"},
    {"Class C\n Public n\n Sub Class_Terminate : Response.Write n : End Sub\nEnd Class\nSub S : Dim a, b : Set a = New C : a.n = 1 : Set b = New C : b.n = 2 : End Sub\nS : Response.Write \"|\"", "21|"}}));

// t = t & ... grows t's own string when nothing else holds it; everything
// `&` does must stay as it was around that.
INSTANTIATE_TEST_SUITE_P(Appending, VbScriptSnippet, ::testing::ValuesIn(std::vector<Case>{
    {"t = \"a\" : t = t & \"b\" & 1 & Null & True & Empty & 2.5 : Response.Write t", "ab1True2.5"},
    {"t = \"x\" : u = t : t = t & \"y\" : t = t & \"z\" : Response.Write u & \"|\" & t", "x|xyz"},
    {"t = \"ab\" : t = t & t & t : Response.Write t", "ababab"},
    {"Function F() : t = \"changed\" : F = \"!\" : End Function\nt = \"a\" : t = t & F() : Response.Write t", "a!"},
    {"Function F() : t = 5 : F = \"!\" : End Function\nt = \"a\" : t = t & F() & F() : Response.Write t", "a!!"},
    {"t = Empty : t = t & \"a\" : t = t & 1 : Response.Write TypeName(t) & t", "Stringa1"},
    {"t = 12 : t = t & 3 : Response.Write TypeName(t) & t", "String123"},
    {"t = Null : t = t & Null : Response.Write IsNull(t)", "True"},
    {"t = \"ab\" : t = t & ChrB(67) : Response.Write TypeName(t) & LenB(t)", "Byte()5"},
    {"On Error Resume Next\nt = \"keep\" : t = t & \"x\" & Array(1) & \"y\" : Response.Write Err.Number & t", "13keep"},
    {"On Error Resume Next\nt = \"keep\" : t = t & \"x\" & (1 / 0) : Response.Write Err.Number & t", "11keep"},
    {"Class C : Public Default Property Get V : V = \"d\" : End Property : End Class\n"
     "Set o = New C : t = \"a\" : t = t & o & \"b\" : Response.Write t", "adb"},
    {"t = \"a\" : t = t & (\"b\" & \"c\") : t = (t & \"d\") & \"e\" : Response.Write t", "abcde"},
    {"Sub AddTo(s) : s = s & \"!\" : End Sub\nt = \"a\" : AddTo t : AddTo t : Response.Write t", "a!!"},
    {"Function Build(n) : For i = 1 To n : Build = Build & i : Next : End Function\nResponse.Write Build(5)", "12345"},
    {"Class B : Private buf : Sub Add(x) : buf = buf & x & \",\" : End Sub : Function Text : Text = buf : End Function : End Class\n"
     "Set b = New B : b.Add 1 : b.Add \"two\" : Response.Write b.Text", "1,two,"},
    {"Dim a(1) : a(0) = \"p\" : a(0) = a(0) & \"q\" : Response.Write a(0)", "pq"},
    {"s = \"x\" : a = Array(s) : s = s & \"y\" : Response.Write a(0) & s", "xxy"},
    {"t = \"a\" : u = t & \"b\" : v = u & \"c\" : Response.Write t & u & v", "aababc"}}));

// Numbers in variables and constants are worked out on a fast path: every
// operator there must give what the general way gives, the result's type
// and the error included. Id() hides a value from the fast path, which
// never calls anything.
TEST(VbScriptNumbers, FastPathGivesWhatTheGeneralWayGives) {
  const std::vector<std::string> values = {
      "CInt(7)", "CInt(-32768)", "CInt(32767)", "CInt(0)", "CInt(-1)", "CLng(-2147483648)", "CLng(2147483647)",
      "CLng(100000)", "CLng(-3)", "2.5", "-0.5", "1E+308", "0.0", "CByte(200)", "True", "Empty", "Null",
      "\"12\"", "\"x\"", "CCur(1.5)", "CSng(0.1)", "#2001-01-01#"};
  const std::vector<std::string> operators = {"+", "-", "*", "/", "\\", "Mod", "=", "<>", "<", ">", "<=", ">="};
  std::string code =
      "Function Id(v) : Id = v : End Function\n"
      "Function Show(n, v) : On Error Resume Next : Show = n & \" \" & TypeName(v) & \" \" & v : End Function\n"
      "Sub Check(what, fast, general) : If fast <> general Then Response.Write what & \": \" & fast & \" / \" & general & vbLf\n"
      "End Sub\nOn Error Resume Next\n";
  // The name of a case as a string literal.
  const auto quoted = [](const std::string& text) {
    std::string literal = "\"";
    for (const char c : text) literal += c == '"' ? std::string("\"\"") : std::string(1, c);
    return literal + "\"";
  };
  for (const auto& a : values) {
    code += "a = " + a + " : Err.Clear : r = Empty : r = -a : f = Show(Err.Number, r) : Err.Clear : r = Empty : r = -Id(a)"
            " : Check " + quoted("-" + a) + ", f, Show(Err.Number, r)\n";
    for (const auto& b : values)
      for (const auto& op : operators) {
        const std::string what = quoted(a + " " + op + " " + b);
        code += "a = " + a + " : b = " + b + " : Err.Clear : r = Empty : r = a " + op + " b : f = Show(Err.Number, r)"
                " : Err.Clear : r = Empty : r = Id(a) " + op + " Id(b) : Check " + what + ", f, Show(Err.Number, r)\n";
        if (op.front() == '<' || op.front() == '>' || op == "=")
          code += "If a " + op + " b Then f = 1 Else f = 0\nIf Id(a) " + op + " Id(b) Then g = 1 Else g = 0\n"
                  "Check " + what + ", f, g\n";
      }
  }
  EXPECT_EQ(Result(code), "");
}

INSTANTIATE_TEST_SUITE_P(PlainNumbers, VbScriptSnippet, ::testing::ValuesIn(std::vector<Case>{
    {"s = 32767 : s = s + 1 : Response.Write TypeName(s) & s", "Long32768"},
    {"s = 2147483647 : s = s + 1 : Response.Write TypeName(s) & s", "Double2147483648"},
    {"s = -32768 : s = -s : Response.Write TypeName(s) & s", "Long32768"},
    {"s = 1 : On Error Resume Next : s = s / 0 : Response.Write Err.Number & TypeName(s) & s", "11Integer1"},
    {"s = 1E+308 : On Error Resume Next : s = s * 10 : Response.Write Err.Number & TypeName(s)", "6Double"},
    {"a = 1 : b = Null : If a < b Then Response.Write \"y\" Else Response.Write \"n\"", "n"},
    {"For i = 32766 To 32767 : Next : Response.Write TypeName(i) & i", "Long32768"},
    {"For i = 1 To 2 Step 0.5 : Next : Response.Write TypeName(i) & i", "Double2.5"},
    {"For i = 1 To 3 : i = \"5\" : Next : Response.Write TypeName(i) & i", "Double6"},
    {"For i = 10 To 1 Step -3 : Response.Write i : Next", "10741"},
    {"Class C : Public n : Function Twice : Twice = n * 2 + n Mod 2 : End Function : End Class\n"
     "Set o = New C : o.n = 5 : Response.Write o.Twice", "11"}}));

// A chain of operators or members is a tree as deep as it is long, and trees
// are walked recursively: beyond a depth they are refused when compiled.
std::string Repeated(const std::string& piece, int times) {
  std::string text;
  for (int i = 0; i < times; ++i) text += piece;
  return text;
}

INSTANTIATE_TEST_SUITE_P(DeepTrees, VbScriptSnippet, ::testing::ValuesIn(std::vector<Case>{
    {"x = 1" + Repeated("+1", 999) + " : Response.Write x", "1000"},
    {"x = \"\"" + Repeated(" & \"a\"", 999) + " : Response.Write Len(x)", "999"},
    {"x = 1" + Repeated("+1", 1000), "error 1002"},
    {"x = 1" + Repeated("+1", 100000), "error 1002"},
    {"Set a = Nothing : x = a" + Repeated(".b", 5000), "error 1002"},
    {"x = Array(0)" + Repeated("(0)", 5000), "error 1002"},
    {"x = -(" + Repeated("1+", 600) + Repeated("Abs(1)+", 600) + "1)", "error 1002"}}));

INSTANTIATE_TEST_SUITE_P(Errors, VbScriptSnippet, ::testing::ValuesIn(std::vector<Case>{
    {"On Error Resume Next\nx = 1 / 0\nResponse.Write Err.Number & \" \" & Err.Description", "11 Division by zero"},
    {"On Error Resume Next\nx = 1 / 0\nOn Error GoTo 0\nResponse.Write Err.Number", "0"},
    {"On Error Resume Next\nx = 1 / 0\nErr.Clear\nResponse.Write Err.Number", "0"},
    {"On Error Resume Next\nx = 1 / 0\nOn Error Resume Next\nResponse.Write Err.Number", "0"},
    {"On Error Resume Next\nErr.Raise 6\nResponse.Write Err.Number & \" \" & Err.Description", "6 Overflow"},
    {"On Error Resume Next\nErr.Raise 1000, \"Mine\", \"Custom\"\nResponse.Write Err.Source & \" \" & Err.Description", "Mine Custom"},
    {"Err.Raise 5", "error 5"},
    {"On Error Resume Next\nIf 1 / 0 Then\n Response.Write \"then\"\nElse\n Response.Write \"else\"\nEnd If", "then"},
    {"Sub S : x = 1 / 0 : Response.Write \"not\" : End Sub\nOn Error Resume Next\nS\nResponse.Write \"after \" & Err.Number", "after 11"},
    {"Sub S : On Error Resume Next : x = 1 / 0 : Response.Write \"in\" : End Sub\nS\nResponse.Write \" out\"", "in out"},
    {"Sub S : On Error Resume Next : End Sub\nS\nx = 1 / 0\nResponse.Write \"no\"", "error 11"},
    {"On Error Resume Next\nFor i = 1 To 3\n x = 1 / (i - 2)\n Response.Write i\nNext", "123"},
    {"On Error Goto Handler", "error 1050"},
    {"On Error Resume Next\nErr.Raise 0\nResponse.Write Err.Number", "5"},
    {"On Error Resume Next\nErr.Raise &h10000&\nResponse.Write Err.Number", "5"},
    {"On Error Resume Next\nErr.Raise -&hfff0\nResponse.Write Err.Number", "16"},
    {"On Error Resume Next\nErr.Raise &h8007000E&\nResponse.Write Err.Number & Err.Description & \"|\" & Err.Source", "7Out of memory|Microsoft VBScript runtime error"},
    {"On Error Resume Next\nErr.Raise &h800A0009&\nResponse.Write Err.Number", "9"},
    {"On Error Resume Next\nErr.Raise vbObjectError + 513\nResponse.Write Err.Number", "-2147220991"},
    {"On Error Resume Next\nErr.Raise 1, \"abc\"\nResponse.Write Err.Source & Err.Description", "abcUnknown runtime error"},
    {"On Error Resume Next\nErr.Raise 1, 2, \"d\", \"h\", 3\nErr.Raise 5\nResponse.Write Err.Number & Err.Source & Err.Description & Err.HelpFile & Err.HelpContext", "52dh3"},
    {"On Error Resume Next\nErr.Raise 1, \"s\"\nErr.Raise &h8007000E&\nResponse.Write Err.Source & Err.Description", "sUnknown runtime error"},
    {"On Error Resume Next\nx = 1 / 0\nResponse.Write Err.Source", "Microsoft VBScript runtime error"},
    {"Sub S : x = CInt(\"a\") : End Sub\nOn Error Resume Next\nS\nResponse.Write Err.Source", "Microsoft VBScript runtime error"},
    {"On Error Resume Next\nErr.Raise\nResponse.Write Err.Number & Err.Source", "450Microsoft VBScript runtime error"},
    {"Class C\n Private n\nEnd Class\nSet o = New C\nOn Error Resume Next\nx = o.n\nResponse.Write Err.Number & Err.Source", "438Microsoft VBScript runtime error"},
    {"On Error Resume Next\nx = Left(\"a\")\nResponse.Write Err.Number & \" on\"", "450 on"},
    {"If False Then x = Mid(\"a\", 1, 2, 3)\nResponse.Write \"runs\"", "runs"}}));

INSTANTIATE_TEST_SUITE_P(Classes, VbScriptSnippet, ::testing::ValuesIn(std::vector<Case>{
    {"Class C\n Public n\nEnd Class\nSet o = New C : o.n = 4 : Response.Write o.n", "4"},
    {"Class C\n Private n\n Sub Class_Initialize : n = 7 : End Sub\n Public Function Get7 : Get7 = n : End Function\nEnd Class\nSet o = New C : Response.Write o.Get7()", "7"},
    {"Class C\n Private n\nEnd Class\nSet o = New C : Response.Write o.n", "error 438"},
    {"Class C\n Private v\n Public Property Get Value : Value = v * 2 : End Property\n Public Property Let Value(x) : v = x : End Property\nEnd Class\nSet o = New C : o.Value = 5 : Response.Write o.Value", "10"},
    {"Class C\n Public Default Function Item(i) : Item = i * 3 : End Function\nEnd Class\nSet o = New C : Response.Write o(4)", "12"},
    {"Class C\n Sub Class_Terminate : Response.Write \"bye\" : End Sub\nEnd Class\nSet o = New C : Response.Write \"hi \" : Set o = Nothing : Response.Write \" done\"", "hi bye done"},
    {"Class C\nEnd Class\nSet a = New C : Set b = a : Set c = New C\nResponse.Write (a Is b) & (a Is c) & (d Is Nothing)", "error 424"},
    {"Class C\nEnd Class\nSet a = New C : Set b = a : Set c = New C : Set d = Nothing\nResponse.Write (a Is b) & (a Is c) & (d Is Nothing)", "TrueFalseTrue"},
    {"Class Counter\n Public n\n Sub Bump : n = n + 1 : Me.Show : End Sub\n Sub Show : Response.Write n : End Sub\nEnd Class\nSet c = New Counter : c.Bump : c.Bump", "12"},
    {"Class C\n Public n\nEnd Class\nSet o = New C : x = o", "error 438"},
    {"Class C\nEnd Class\nResponse.Write TypeName(New C)", "C"},
    {"Set o = New Missing", "error 506"},
    {"Class Node\n Public other\nEnd Class\nSet a = New Node : Set b = New Node : Set a.other = b : Set b.other = a : Set a.other.other.other = a", ""},
    {"Class C\n Public x\nEnd Class\nSet o = New C\nWith o\n .x = 3\n Response.Write .x + 1\nEnd With", "4"},
    {"With Nothing\n Response.Write \"in\"\nEnd With", "in"},
    {"On Error Resume Next\nWith 1 / 0\n Response.Write \"in\"\nEnd With\nResponse.Write Err.Number", "in11"},
    {"Class C\n Private a(3), b\n Dim c()\n Sub Class_Initialize : a(3) = 7 : End Sub\n Function Top : Top = UBound(a) & a(3) & IsArray(c) : End Function\nEnd Class\nSet o = New C : Response.Write o.Top", "37True"},
    {"Class C\n Public a(1)\nEnd Class\nSet o = New C : Set p = New C : o.a(0) = 1 : Response.Write IsEmpty(p.a(0)) & UBound(o.a)", "True1"},
    {"Class C\n Public Default Function Item(k) : Item = k & \"!\" : End Function\nEnd Class\nx = (New C)(\"x\") : Set o = New C : y = (o)(\"y\") : Response.Write x & y", "x!y!"},
    {"Class C\n Public Default Sub Show(n) : Response.Write n : End Sub\nEnd Class\nSet o = New C : o(2) : o 3", "23"},
    {"Class C\n Public Property Get Property : Property = 5 : End Property\n Sub Step(default) : Response.Write default : End Sub\nEnd Class\nSet o = New C : o.Step o.Property", "5"}}));

// Eval, Execute, ExecuteGlobal and GetRef: code compiled while the page runs,
// in the scope that calls it.
INSTANTIATE_TEST_SUITE_P(RunTimeCode, VbScriptSnippet, ::testing::ValuesIn(std::vector<Case>{
    {"x = 4 : Response.Write Eval(\"x * 2 + Len(\"\"ab\"\")\")", "10"},
    {"Response.Write Eval(\"x = 1\") & TypeName(x)", "FalseEmpty"},
    {"Function F(a) : F = Eval(\"a + 1\") : End Function\nResponse.Write F(4)", "5"},
    {"Class C\n Private n\n Sub Class_Initialize : n = 6 : End Sub\n Function Twice : Twice = Eval(\"n * 2 + Me.Three\") : End Function\n Function Three : Three = 3 : End Function\nEnd Class\nSet o = New C : Response.Write o.Twice", "15"},
    {"x = 1 : Execute \"x = x + 1 : y = 5\" : Response.Write x & y", "25"},
    {"Sub S : Dim a : a = 1 : Execute \"a = a + 1 : b = 7\" : Response.Write a & Eval(\"b\") : End Sub\nS : Response.Write \"|\" & TypeName(Eval(\"b\"))", "27|Empty"},
    {"Sub S : ExecuteGlobal \"g = 3\" : End Sub\nS : Response.Write Eval(\"g\")", "3"},
    {"ExecuteGlobal \"Function Twice(v) : Twice = v * 2 : End Function\"\nResponse.Write Twice(21)", "42"},
    {"ExecuteGlobal \"Class Made : Public v : End Class\"\nSet o = New Made : o.v = 8 : Response.Write o.v & TypeName(o)", "8Made"},
    {"ExecuteGlobal \"Sub Hello(n) : Response.Write \"\"hi \"\" & n : End Sub\"\nCall Hello(2) : Hello 3", "hi 2hi 3"},
    {"Option Explicit\nExecuteGlobal \"Dim made : made = 9\"\nResponse.Write Eval(\"made\")", "9"},
    {"Option Explicit\nExecute \"y = 1\"", "error 500"},
    {"Execute \"x = \"", "error 1002"},
    {"On Error Resume Next\nExecute \"If\"\nResponse.Write Err.Number & \" \" & Err.Source", "1002 Microsoft VBScript compilation error"},
    {"On Error Resume Next\nExecute \"x = 1 / 0 : Response.Write \"\"no\"\"\"\nResponse.Write Err.Number", "11"},
    {"Execute \"Call Missing()\"", "error 35"},
    {"Option Explicit\nClass C : Public v : End Class\nDim o : Set o = New C\nExecute \"With o : .v = 3 : End With\"\nResponse.Write o.v", "3"},
    {"For i = 1 To 3 : s = s & Eval(\"i * i\") : Next : Response.Write s", "149"},
    {"Sub S : Execute \"S\" : End Sub\nS", "error 28"},
    {"Function Add(a, b) : Add = a + b : End Function\nSet f = GetRef(\"add\") : Response.Write f(2, 3) & TypeName(f)", "5Object"},
    {"ExecuteGlobal \"Function Made(a) : Made = a & a : End Function\"\nSet f = GetRef(\"Made\") : Response.Write f(\"x\")", "xx"},
    {"Set f = GetRef(\"Nothing1\")", "error 5"},
    {"Sub S(a) : End Sub\nSet f = GetRef(\"S\") : x = f(1, 2)", "error 450"},
    {"x = Eval()", "error 450"}}));

}  // namespace
}  // namespace kelvane::host::vbscript
