// The VBScript engine's costs: compiling a page of 200 lines, and the
// interpreter alone. The road page as .asp is in RoadPageBench.

#include <benchmark/benchmark.h>

#include <map>
#include <string>

#include "host/vbscript/Engine.h"

namespace {

namespace vbs = kelvane::host::vbscript;

using MapFiles = vbs::MemoryFiles;

// A page of 200 lines: text, a function, a class, loops and branches.
std::string PageOf200Lines() {
  std::string page = "<%@ Language=\"VBScript\" %>\n<%\nOption Explicit\nDim total, i, name\n";
  page += "Function Square(n)\n  Square = n * n\nEnd Function\n";
  page += "Class Point\n  Public X, Y\n  Public Function Length()\n    Length = Sqr(X * X + Y * Y)\n  End Function\nEnd Class\n%>\n";
  while (std::count(page.begin(), page.end(), '\n') < 190) {
    page += "<p>Row <%= i %></p>\n<%\nFor i = 1 To 10 Step 2\n  If i Mod 3 = 0 Then\n    total = total + Square(i)\n";
    page += "  ElseIf i > 5 Then\n    name = \"x\" & Left(\"abcdef\", i \\ 2)\n  Else\n    total = total - 1\n  End If\nNext\n";
    page += "Select Case total\n  Case 1, 2\n    name = UCase(name)\n  Case Is > 100\n    total = 0\nEnd Select\n%>\n";
  }
  while (std::count(page.begin(), page.end(), '\n') < 200) page += "<br>\n";
  return page;
}

void BM_VbScriptCompile200Lines(benchmark::State& state) {
  MapFiles files(std::map<std::string, std::string>{{"page.asp", PageOf200Lines()}});
  for (auto _ : state) benchmark::DoNotOptimize(vbs::CompilePage("page.asp", files));
}
BENCHMARK(BM_VbScriptCompile200Lines)->Unit(benchmark::kMicrosecond);

// The interpreter alone: loops, arithmetic, strings and calls, no drawing.
void BM_VbScriptLoop(benchmark::State& state) {
  MapFiles files(std::map<std::string, std::string>{{"loop.asp",
                   "<% Function F(n) : F = n * 2 + 1 : End Function\n"
                   "s = \"\" : t = 0\nFor i = 1 To 1000\n t = t + F(i) Mod 7\n"
                   " If i Mod 100 = 0 Then s = s & CStr(t)\nNext %>"}});
  const auto program = vbs::CompilePage("loop.asp", files);
  for (auto _ : state) {
    vbs::RunOptions options;
    options.write = [](std::string_view) {};
    if (vbs::RunProgram(*program, options)) state.SkipWithError("the page failed");
  }
}
BENCHMARK(BM_VbScriptLoop)->Unit(benchmark::kMicrosecond);

}  // namespace
