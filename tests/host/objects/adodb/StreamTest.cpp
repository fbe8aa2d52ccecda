// ADODB.Stream as a VBScript page uses it: two fresh streams, s and d, and
// a function that shows bytes in hexadecimal.

#include "host/objects/adodb/Stream.h"

#include <gtest/gtest.h>

#include <string>

#include "host/vbscript/VbScriptHarness.h"

namespace kelvane::host::adodb {
namespace {

struct Case {
  std::string code;
  std::string expected;  // what the code writes, then "error N" for an error it raises
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.code; }

std::string RunStream(const std::string& code) {
  const std::string prelude =
      "Function Bytes(b)\n"
      "  If IsNull(b) Then Bytes = \"Null\" : Exit Function\n"
      "  Dim i : For i = 1 To LenB(b) : Bytes = Bytes & Right(\"0\" & Hex(AscB(MidB(b, i, 1))), 2) & \" \" : Next\n"
      "  Bytes = Trim(Bytes)\n"
      "End Function\n";
  const auto outcome = vbscript::testing::RunCode(
      prelude + code, {{"s", oleaut::ObjectRef(CreateStream())}, {"d", oleaut::ObjectRef(CreateStream())}});
  if (outcome.error) return outcome.output + "error " + std::to_string(outcome.error->number);
  return outcome.output;
}

// Writes the text of the VBScript expression `text` in `charset` and shows
// the bytes it became.
std::string Encoded(const std::string& charset, const std::string& text) {
  return "s.Charset = \"" + charset + "\" : s.Open : s.WriteText " + text +
         " : s.Position = 0 : s.Type = 1 : Response.Write Bytes(s.Read)";
}

class StreamText : public testing::TestWithParam<Case> {};

TEST_P(StreamText, ReadsAndWrites) { EXPECT_EQ(RunStream(GetParam().code), GetParam().expected); }

INSTANTIATE_TEST_SUITE_P(
    Charsets, StreamText,
    testing::Values(
        Case{Encoded("utf-8", "\"a\" & ChrW(233)"), "EF BB BF 61 C3 A9"},
        Case{Encoded("UTF-8", "\"\""), "EF BB BF"},
        Case{Encoded("unicode", "\"A\" & ChrW(&H20AC)"), "FF FE 41 00 AC 20"},
        Case{"s.Open : s.WriteText \"A\" : s.Position = 0 : s.Type = 1 : Response.Write Bytes(s.Read)", "FF FE 41 00"},
        Case{Encoded("Windows-1252", "ChrW(&H20AC) & ChrW(233)"), "80 E9"},
        Case{Encoded("iso-8859-1", "ChrW(233) & ChrW(&H20AC)"), "E9 3F"},
        Case{Encoded("us-ascii", "\"a\" & ChrW(233)"), "61 3F"},
        // Decoding: the mark at the start is skipped, characters are counted
        // as characters and the position in bytes.
        Case{"s.Charset = \"utf-8\" : s.Open : s.WriteText \"h\" & ChrW(233) & \"llo\" : s.Position = 0\n"
             "Response.Write s.ReadText(2) & \"|\" & s.Position & \"|\" & s.ReadText & \"|\" & s.EOS",
             "h\xC3\xA9|6|llo|True"},
        Case{"s.Type = 1 : s.Open : s.Write ChrB(255) & ChrB(254) & ChrB(&H3D) & ChrB(&HD8) & ChrB(0) & ChrB(&HDE) & ChrB(&H78) & ChrB(0)\n"
             "s.Position = 0 : s.Type = 2\n"
             "Response.Write s.ReadText(1) & \"|\" & s.Position & \"|\" & s.ReadText(5)",
             "\xF0\x9F\x98\x80|6|x"},
        Case{"s.Charset = \"windows-1252\" : s.Open : s.WriteText ChrW(&H20AC) & ChrW(233) : s.Position = 0\n"
             "Response.Write s.ReadText = ChrW(&H20AC) & ChrW(233)",
             "True"},
        // Bytes read as text: a conversion from one charset to another.
        Case{"s.Type = 1 : s.Open : s.Write \"caf\xC3\xA9\" : s.Position = 0 : s.Type = 2 : s.Charset = \"utf-8\"\n"
             "d.Charset = \"iso-8859-1\" : d.Open : d.WriteText s.ReadText : d.Position = 0 : d.Type = 1\n"
             "Response.Write Bytes(d.Read)",
             "63 61 66 E9"},
        Case{"s.Charset = \"utf-8\" : s.Open : s.WriteText ChrW(233) : s.Position = 0\n"
             "d.Charset = \"windows-1252\" : d.Open : s.CopyTo d : d.Position = 0 : d.Type = 1 : Response.Write Bytes(d.Read)",
             "E9"},
        Case{"s.Type = 1 : s.Open : s.Write \"abcdef\" : s.Position = 1 : d.Type = 1 : d.Open : s.CopyTo d, 3\n"
             "d.Position = 0 : Response.Write Bytes(d.Read) & \"|\" & s.Position",
             "62 63 64|4"},
        // Lines, with each separator, and a separator that only looks like
        // one across two UTF-16 characters.
        Case{"s.Open : s.WriteText \"one\", 1 : s.WriteText \"two\" & vbCrLf & \"three\" : s.Position = 0\n"
             "Response.Write s.ReadText(-2) & \"|\" & s.ReadText(-2) & \"|\" & s.ReadText(-2) & \"|\" & s.EOS",
             "one|two|three|True"},
        Case{"s.LineSeparator = 10 : s.Charset = \"utf-8\" : s.Open : s.WriteText \"a\" & vbCr & vbLf & \"b\", 1\n"
             "s.WriteText \"c\" : s.Position = 0 : s.SkipLine : Response.Write s.ReadText(-2) & \"|\" & s.ReadText",
             "b|c"},
        Case{"s.LineSeparator = 13 : s.Open : s.WriteText \"x\", 1 : s.Position = 0 : s.Type = 1 : Response.Write Bytes(s.Read)",
             "FF FE 78 00 0D 00"},
        Case{"s.Open : s.WriteText ChrW(&HD41) & ChrW(&HA00) & ChrW(&H4E00) : s.Position = 0\n"
             "Response.Write Len(s.ReadText(-2)) & \"|\" & s.EOS",
             "3|True"},
        // Writing in the middle overwrites; SetEOS cuts; a position past the
        // end grows the stream with zero bytes.
        Case{"s.Type = 1 : s.Open : s.Write \"abcdef\" : s.Position = 2 : s.Write \"XY\" : s.Position = 0\n"
             "Response.Write Bytes(s.Read) & \"|\" : s.Position = 3 : s.SetEOS : Response.Write s.Size & \"|\"\n"
             "s.Position = 5 : Response.Write s.Size & \"|\" : s.Position = 0 : Response.Write Bytes(s.Read)",
             "61 62 58 59 65 66|3|5|61 62 58 00 00"},
        Case{"s.Type = 1 : s.Open : s.Write \"abc\" : s.Position = 0\n"
             "Response.Write Bytes(s.Read(2)) & \"|\" & Bytes(s.Read(5)) & \"|\" & Bytes(s.Read) & \"|\" & s.EOS",
             "61 62|63|Null|True"},
        Case{"s.Open : s.WriteText \"x\" : s.Close : s.Open : Response.Write s.Size & s.State", "01"}));

INSTANTIATE_TEST_SUITE_P(
    Misuse, StreamText,
    testing::Values(
        Case{"Response.Write s.State & s.Type & s.Charset & s.LineSeparator & s.Mode : x = s.Size", "02Unicode-10error 3704"},
        Case{"s.Open : s.Open", "error 3705"},
        Case{"s.Open , 1 : Response.Write s.Mode : s.WriteText \"x\", 1, 2", "1error 450"},
        Case{"s.Type = 1 : s.Open : s.Write", "error 450"},
        Case{"s.Close", "error 3704"},
        Case{"s.Open : s.Mode = 1", "error 3705"},
        Case{"s.Mode = 99", "error 3001"},
        Case{"s.Type = 3", "error 3001"},
        Case{"s.Charset = \"klingon\"", "error 3001"},
        Case{"s.LineSeparator = 5", "error 3001"},
        Case{"s.Open : s.Position = -1", "error 3001"},
        Case{"s.Open \"http://example.invalid/\"", "error 3001"},
        Case{"s.Open : x = s.Read", "error 3219"},
        Case{"s.Open : s.Write \"x\"", "error 3219"},
        Case{"s.Type = 1 : s.Open : x = s.ReadText", "error 3219"},
        Case{"s.Type = 1 : s.Open : s.WriteText \"x\"", "error 3219"},
        Case{"s.Type = 1 : s.Open : s.SkipLine", "error 3219"},
        Case{"s.Open : s.WriteText \"x\" : s.Type = 1", "error 3219"},
        Case{"s.Open : s.WriteText \"x\" : s.Charset = \"utf-8\"", "error 3219"},
        Case{"s.Type = 1 : s.Open : x = s.Read(-2)", "error 3001"},
        Case{"s.Open : x = s.ReadText(-3)", "error 3001"},
        Case{"s.Open : s.WriteText \"x\", 2", "error 3001"},
        Case{"s.Type = 1 : s.Open : s.Write 12", "error 3001"},
        Case{"s.Open : s.CopyTo Nothing", "error 3001"},
        Case{"s.Open : s.CopyTo d", "error 3704"},
        Case{"s.Mode = 1 : s.Open : s.WriteText \"x\"", "error 3219"},
        Case{"s.Mode = 2 : s.Open : s.WriteText \"x\" : Response.Write s.Size : x = s.ReadText", "4error 3219"}));

}  // namespace
}  // namespace kelvane::host::adodb
