// Objects from outside the script: Scripting.Dictionary, and Kelvane.Image
// drawing a picture that is checked by its pixels.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "VbScriptHarness.h"
#include "platform/memory/PageMemory.h"
#include "platform/asp/Response.h"
#include "platform/picture/Decoders.h"
#include "support/Automation.h"
#include "support/TempFolder.h"

namespace kelvane::host::vbscript {
namespace {

struct Case {
  std::string code;
  std::string expected;
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.code; }

std::string WithServer(const std::string& code) {
  const auto outcome = testing::RunCode(code, {{"Server", std::make_shared<testing::FakeServer>()}});
  if (outcome.error) return "error " + std::to_string(outcome.error->number);
  return outcome.output;
}

class VbScriptDictionary : public ::testing::TestWithParam<Case> {};

TEST_P(VbScriptDictionary, Writes) {
  const std::string code = "Set d = Server.CreateObject(\"Scripting.Dictionary\")\n" + GetParam().code;
  EXPECT_EQ(WithServer(code), GetParam().expected) << GetParam().code;
}

INSTANTIATE_TEST_SUITE_P(Table, VbScriptDictionary, ::testing::ValuesIn(std::vector<Case>{
    {"d.Add \"a\", 1 : d.Add \"b\", 2 : Response.Write d.Count & d(\"b\") & d.Item(\"a\")", "221"},
    {"d.Add \"a\", 1 : d.Add \"a\", 2", "error 457"},
    {"d(\"x\") = 5 : d(\"x\") = d(\"x\") + 1 : Response.Write d(\"x\")", "6"},
    {"Function Of(o) : Set Of = o : End Function\nOf(d)(\"x\") = 5 : Response.Write d(\"x\")", "5"},
    {"Response.Write IsEmpty(d(\"missing\")) & d.Count", "True1"},
    {"d.Add 1, \"one\" : Response.Write d.Exists(1) & d.Exists(\"1\") & d.Exists(1.0)", "TrueFalseTrue"},
    {"d.Add \"b\", 1 : d.Add \"a\", 2 : For Each k In d : Response.Write k : Next", "ba"},
    {"d.Add \"b\", 1 : d.Add \"a\", 2 : Response.Write Join(d.Keys, \",\") & \"|\" & Join(d.Items, \",\")", "b,a|1,2"},
    {"d.Add \"a\", 1 : d.Add \"b\", 2 : d.Remove \"a\" : Response.Write d.Count & d.Exists(\"a\") & d(\"b\")", "1False2"},
    {"d.Remove \"none\"", "error 32811"},
    {"d.Add \"a\", 1 : d.Add \"b\", 2 : d.Add \"c\", 3 : d.Remove \"a\" : d(\"c\") = 9 : d(\"a\") = 0 : "
     "Response.Write Join(d.Keys) & \"|\" & Join(d.Items)", "b c a|2 9 0"},
    {"d.Add \"a\", 1 : d.RemoveAll : Response.Write d.Count", "0"},
    {"d.CompareMode = 1 : d.Add \"Key\", 1 : Response.Write d.Exists(\"KEY\")", "True"},
    {"d.Add \"Key\", 1 : Response.Write d.Exists(\"KEY\")", "False"},
    {"d.Add \"a\", 1 : d.CompareMode = 1", "error 5"},
    {"Response.Write TypeName(d)", "Dictionary"},
    {"Set e = Server.CreateObject(\"Scripting.Dictionary\") : Set d(\"o\") = e : Response.Write d(\"o\").Count", "0"},
    {"Set x = Server.CreateObject(\"No.Such\")", "error 429"},
    {"Set e = CreateObject(\"Scripting.Dictionary\") : e.Add 1, 2 : Response.Write e.Count", "1"}}));

// An Add that memory fails, wherever in it, adds neither the entry nor its
// key: the dictionary stays whole, and the key can be added later.
TEST(VbScriptDictionaryMemory, AnAddThatFailsLeavesTheDictionaryWhole) {
  for (std::size_t limit = 256 << 10; limit <= 1024 << 10; limit += 48 << 10) {
    SCOPED_TRACE(limit);
    const auto dictionary = scripting::CreateDictionary();
    const auto add = [&](oleaut::Long key) {
      const oleaut::Variant args[] = {key, key};
      dictionary->Invoke(*dictionary->GetIDOfName("Add"), oleaut::DISPATCH_METHOD, args);
    };
    const auto count = [&] {
      return oleaut::ToLong(dictionary->Invoke(*dictionary->GetIDOfName("Count"), oleaut::DISPATCH_PROPERTYGET, {}));
    };
    oleaut::Long added = 0;
    {
      const memory::LimitScope scope(limit);
      try {
        for (;; ++added) add(added);
      } catch (const std::bad_alloc&) {
      }
    }
    ASSERT_EQ(count(), added);
    const oleaut::Variant failed[] = {added};
    EXPECT_FALSE(oleaut::IsTrue(oleaut::ToBoolean(
        dictionary->Invoke(*dictionary->GetIDOfName("Exists"), oleaut::DISPATCH_METHOD, failed))));
    add(added);
    EXPECT_EQ(count(), added + 1);
    EXPECT_EQ(oleaut::ToLong(dictionary->Invoke(oleaut::DISPID_VALUE, oleaut::DISPATCH_PROPERTYGET, failed)), added);
  }
}

gdi::COLORREF PixelOf(const picture::Decoded& picture, int x, int y) {
  const std::uint8_t* p = picture.pixels->Row(y) + x * 4;
  return gdi::RGB(p[2], p[1], p[0]);
}

// Runs `code` as a page whose components deliver into a response in memory;
// answers the delivered picture.
std::optional<picture::Decoded> Draw(const std::string& code, std::string* output = nullptr) {
  const TempFolder folder("vbs-draw");
  const auto previous = std::filesystem::current_path();
  std::filesystem::current_path(folder.Path());
  auto response = std::make_shared<asp::MemoryResponse>();
  auto context = std::make_shared<complus::ObjectContext>();
  context->SetItem("Response", oleaut::Variant(oleaut::ObjectRef(response)));
  testing::Outcome outcome;
  {
    const complus::ContextScope scope(context);
    outcome = testing::RunCode(code, {{"Server", std::make_shared<testing::FakeServer>()}});
  }
  std::filesystem::current_path(previous);
  EXPECT_FALSE(outcome.error) << (outcome.error ? outcome.error->description : "");
  if (output != nullptr) *output = outcome.output;
  return picture::DecodeBmp(response->Body());
}

TEST(VbScriptImage, TheIssuesExamplePageDrawsAGradient) {
  const auto picture = Draw(
      "Option Explicit\nDim img\nSet img = Server.CreateObject(\"Kelvane.Image\")\n"
      "img.PlotWidth = 200 : img.PlotHeight = 100\n"
      "img.GradientL2R RGB(255, 0, 0), RGB(0, 0, 255)\n"
      "img.ImageType = \"bmp\"\nimg.SendImage\nResponse.Write \"not reached\"");
  ASSERT_TRUE(picture);
  EXPECT_EQ(picture->pixels->Width(), 200);
  EXPECT_EQ(picture->pixels->Height(), 100);
  EXPECT_EQ(PixelOf(*picture, 0, 50), gdi::RGB(255, 0, 0));
  const gdi::COLORREF right = PixelOf(*picture, 199, 50);
  EXPECT_LT(right & 0xFF, 8u);
  EXPECT_GT(right >> 16, 247u);
}

TEST(VbScriptImage, CallsWithAndWithoutParenthesesAndWithDraw) {
  const auto picture = Draw(
      "Set img = Server.CreateObject(\"Kelvane.Image\")\n"
      "With img\n .PlotWidth = 40 : .PlotHeight = 30\n .GradientL2R vbWhite, vbWhite\n"
      " .PenColor = vbRed\nEnd With\n"
      "img.PlotLine 0, 5, 39, 5\nCall img.PlotLine(0, 20, 39, 20)\n"
      "img.PenColor = vbBlue : For x = 0 To 9 : img.PlotPixel x, 25 : Next\n"
      "img.ImageType = \"bmp\" : img.SendImage");
  ASSERT_TRUE(picture);
  EXPECT_EQ(PixelOf(*picture, 20, 5), gdi::RGB(255, 0, 0));
  EXPECT_EQ(PixelOf(*picture, 20, 20), gdi::RGB(255, 0, 0));
  EXPECT_EQ(PixelOf(*picture, 20, 12), gdi::RGB(255, 255, 255));
  EXPECT_EQ(PixelOf(*picture, 5, 25), gdi::RGB(0, 0, 255));
  EXPECT_EQ(PixelOf(*picture, 15, 25), gdi::RGB(255, 255, 255));
}

TEST(VbScriptImage, AnArgumentLeftOutIs449AndTheComponentsErrorsKeepTheirSource) {
  std::string output;
  Draw("Set img = Server.CreateObject(\"Kelvane.Image\")\nOn Error Resume Next\n"
       "img.PlotLine 0, , 1, 1\nResponse.Write Err.Number & \"|\"\n"
       "img.PlotCircle 1, 1, -1\nResponse.Write Err.Source & \"|\"\n"
       "x = CInt(\"a\")\nResponse.Write Err.Source",
       &output);
  EXPECT_EQ(output, "449|Kelvane|Microsoft VBScript runtime error");
}

// A component whose every call fails with an error of its own.
class Failing : public oleaut::IDispatch {
 public:
  std::optional<oleaut::DISPID> GetIDOfName(std::string_view) const override { return 1; }
  oleaut::Variant Invoke(oleaut::DISPID, std::uint16_t, std::span<const oleaut::Variant>) override {
    throw oleaut::AutomationError(26001, "Kelvane.Image", "The picture is too large");
  }
};

TEST(VbScriptObjects, AComponentErrorReachesErrWithItsOwnNumberAndSource) {
  const auto outcome = testing::RunCode(
      "On Error Resume Next\nc.Draw 1, 2\nResponse.Write Err.Number & \"|\" & Err.Source & \"|\" & Err.Description\n"
      "On Error GoTo 0\nc.Draw",
      {{"c", std::make_shared<Failing>()}});
  EXPECT_EQ(outcome.output, "26001|Kelvane.Image|The picture is too large");
  ASSERT_TRUE(outcome.error);
  EXPECT_EQ(outcome.error->number, 26001);
  EXPECT_EQ(outcome.error->source, "Kelvane.Image");
  EXPECT_EQ(outcome.error->line, 5);
}

struct ValueCase {
  oleaut::Variant value;
  std::string code;
  std::string expected;
};

void PrintTo(const ValueCase& c, std::ostream* os) { *os << c.code; }

class VbScriptDefaultValue : public ::testing::TestWithParam<ValueCase> {};

// An object with a default value (as Request("n") gives) stands for that
// value in tests, conversions, comparisons and assignments.
TEST_P(VbScriptDefaultValue, StandsForTheObject) {
  const auto outcome = testing::RunCode("Response.Write " + GetParam().code, {{"v", std::make_shared<oleaut::ValueObject>(GetParam().value)}});
  EXPECT_EQ(outcome.error ? "error " + std::to_string(outcome.error->number) : outcome.output, GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Table, VbScriptDefaultValue, ::testing::ValuesIn(std::vector<ValueCase>{
    {"12", "IsNumeric(v)", "True"}, {"12", "VarType(v)", "8"}, {"12", "IsObject(v)", "True"},
    {"12", "v = 12", "True"}, {"12", "v + 1", "13"}, {"12", "CInt(v) * 2", "24"}, {"ab", "Len(v)", "2"},
    {"ab", "UCase(v)", "AB"}, {{}, "IsEmpty(v)", "True"}, {"2/29/2024", "IsDate(v)", "True"},
    {"x", "v & \"y\"", "xy"}, {"12", "TypeName(v)", "Object"}}));

// A component that runs out of memory.
class Exhausted : public oleaut::IDispatch {
 public:
  std::optional<oleaut::DISPID> GetIDOfName(std::string_view) const override { return 1; }
  oleaut::Variant Invoke(oleaut::DISPID, std::uint16_t, std::span<const oleaut::Variant>) override {
    throw std::bad_alloc();
  }
};

TEST(VbScriptObjects, OutOfMemoryIsError7) {
  const auto object = std::make_shared<Exhausted>();
  const auto resumed = testing::RunCode("On Error Resume Next\nc.Grow\nResponse.Write Err.Number", {{"c", object}});
  EXPECT_EQ(resumed.output, "7");
  const auto failed = testing::RunCode("x = 1\nc.Grow", {{"c", object}});
  ASSERT_TRUE(failed.error);
  EXPECT_EQ(failed.error->number, 7);
  EXPECT_EQ(failed.error->line, 2);
}

}  // namespace
}  // namespace kelvane::host::vbscript
