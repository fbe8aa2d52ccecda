// The VBScript engine's costs: compiling a page of 200 lines, and running
// the road page as .asp (gradient, text, logo, JPEG through a temporary
// file), the twin of BM_RoadPage's .ksp page, with the objects of a request.

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <filesystem>
#include <map>
#include <memory>
#include <string>

#include "host/pages/HostResponse.h"
#include "host/vbscript/Engine.h"
#include "platform/complus/ObjectContext.h"
#include "platform/oleaut/AutomationError.h"
#include "platform/oleaut/Conversion.h"
#include "platform/oleaut/DispatchTable.h"
#include "server/ClassFactory.h"

namespace {

namespace fs = std::filesystem;
namespace vbs = kelvane::host::vbscript;
using kelvane::oleaut::Variant;

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

// Server.CreateObject through the class registry, activating what it makes.
class BenchServer : public kelvane::oleaut::IDispatch {
 public:
  std::optional<kelvane::oleaut::DISPID> GetIDOfName(std::string_view name) const override {
    if (kelvane::oleaut::detail::FoldCase(name) == "createobject") return 1;
    return std::nullopt;
  }
  Variant Invoke(kelvane::oleaut::DISPID, std::uint16_t, std::span<const Variant> args) override {
    auto object = kelvane::server::CreateObject(kelvane::oleaut::ToString(args[0]));
    if (auto* control = dynamic_cast<kelvane::complus::ObjectControl*>(object.get())) control->Activate();
    return kelvane::oleaut::ObjectRef(object);
  }
};

constexpr char kRoadPage[] = R"(<%
' The road of one request: size, pen and font, a gradient, text, the logo,
' and the picture sent as JPEG.
Set img = Server.CreateObject("Kelvane.Image")
img.PlotWidth = 200
img.PlotHeight = 100
img.PenColor = &HFFFFFF
img.PlotFontName = "Arial"
img.PlotFontSize = 14
img.PlotFontBold = True
img.GradientL2R &H7A3A10, &HE0B040
img.PlotText 80, 38, "Kelvane"
img.PasteLogo
img.ImageType = "jpg"
img.SendImage
%>)";

void BM_RoadPageAsp(benchmark::State& state) {
  const fs::path previous = fs::current_path();
  const fs::path work = fs::temp_directory_path() / ("kelvane-bench-road-asp-" + std::to_string(::getpid()));
  fs::create_directories(work);
  fs::current_path(work);
  MapFiles files(std::map<std::string, std::string>{{"road.asp", kRoadPage}});
  const auto program = vbs::CompilePage("road.asp", files);
  const auto server = std::make_shared<BenchServer>();
  for (auto _ : state) {
    auto response = std::make_shared<kelvane::host::HostResponse>();
    auto context = std::make_shared<kelvane::complus::ObjectContext>();
    context->SetItem("Response", Variant(kelvane::oleaut::ObjectRef(response)));
    const kelvane::complus::ContextScope scope(context);
    vbs::RunOptions options;
    options.objects = {{"Server", server}};
    options.deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    options.ended = [&] { return response->Ended(); };
    if (vbs::RunProgram(*program, options)) state.SkipWithError("the page failed");
    benchmark::DoNotOptimize(response->Reply().body.data());
  }
  fs::current_path(previous);
  fs::remove_all(work);
}
BENCHMARK(BM_RoadPageAsp)->Unit(benchmark::kMicrosecond);

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
