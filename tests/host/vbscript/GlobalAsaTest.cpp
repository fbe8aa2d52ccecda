// Reading global.asa: its server script blocks kept on their own lines, its
// object declarations, and the errors at the line at fault.

#include "host/vbscript/GlobalAsa.h"

#include <gtest/gtest.h>

#include <string>

#include "host/vbscript/ScriptError.h"

namespace kelvane::host::vbscript {
namespace {

TEST(GlobalAsa, KeepsServerScriptOnItsLinesAndReadsObjects) {
  const GlobalAsa global = ParseGlobalAsa(
      "<!-- <script runat=server>x = 1</script> -->\n"
      "<SCRIPT Language=\"VBScript\" RunAt=\"Server\">Sub A\n"
      "End Sub</SCRIPT><script>client()</script>\n"
      "<object runat=server scope=Application id=d progid=\"Scripting.Dictionary\">\n"
      "<script runat=server>\nSub B : End Sub\n</script>",
      "global.asa");
  EXPECT_EQ(global.script.program, "\nSub A\nEnd Sub\n\n\nSub B : End Sub\n");
  EXPECT_EQ(global.script.lines.size(), 7u);
  ASSERT_EQ(global.objects.size(), 1u);
  EXPECT_FALSE(global.objects[0].sessionScope);
  EXPECT_EQ(global.objects[0].id, "d");
  EXPECT_EQ(global.objects[0].progID, "Scripting.Dictionary");
}

TEST(GlobalAsa, RefusesWhatItCannotRunAtTheLineAtFault) {
  const std::pair<const char*, int> cases[] = {
      {"\n<script runat=server>Sub A\n", 2},
      {"<script language=JScript runat=server></script>", 1},
      {"\n\n<object runat=server scope=Page id=x progid=\"a.b\">", 3},
      {"<object runat=server scope=Session progid=\"a.b\">", 1},
      {"<object runat=server scope=Session id=x classid=\"clsid:0\">", 1},
      {"<object runat=server scope=Session id=x progid=a.b>\n<object runat=server scope=Session id=X progid=a.b>", 2},
      {"<script runat=server", 1},
  };
  for (const auto& [text, line] : cases) {
    try {
      ParseGlobalAsa(text, "global.asa");
      ADD_FAILURE() << text;
    } catch (const CompileFailure& failure) {
      EXPECT_EQ(failure.Error().line, line) << text;
      EXPECT_EQ(failure.Error().file, "global.asa") << text;
    }
  }
}

}  // namespace
}  // namespace kelvane::host::vbscript
