// `kelvane check` over a small site: what it says of each page, and its count.

#include "host/pages/SiteCheck.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "support/TempFolder.h"

namespace kelvane::host {
namespace {

namespace fs = std::filesystem;

TEST(SiteCheck, TellsEachPagesErrorsFilesFoundByCaseAndMissingObjects) {
  const TempFolder site("site-check");
  const std::pair<const char*, const char*> files[] = {
      {"Global.asa", "<script runat=server>\nSub Session_OnStart : End Sub\n</script>\n"
                     "<object runat=server scope=Session id=cart progid=\"Scripting.Dictionary\"></object>"},
      {"fine.asp", "<% Set d = Server.CreateObject(\"Scripting.Dictionary\") %>"},
      {"inc/head.asp", "<% Set b = CreateObject( \"MSWC.BrowserType\" ) %>"},
      {"sub/cased.asp", "<!--#include virtual=\"/Inc/Head.asp\"-->\n<object runat=server id=t progid=\"MSWC.Tools\"></object>"},
      {"broken.asp", "<% x = 1\nIf Then %>"},
      {"lost.asp", "<!--#include file=\"none.asp\"-->"},
      {"good.ksp", "<% local x = 1 %><%= x %>"},
      {"bad.ksp", "<% local = %>"},
      {".hidden/skipped.asp", "<% If Then %>"},
      {"notes.txt", "<% If Then %>"},
  };
  for (const auto& [name, text] : files) {
    fs::create_directories((site.Path() / name).parent_path());
    std::ofstream(site.Path() / name) << text;
  }
  std::ostringstream out;
  const SiteCheckCount count = CheckSite(site.Path(), out);
  EXPECT_EQ(count.pages, 8);
  EXPECT_EQ(count.compiled, 5);
  const std::string told = out.str();
  const char* expected[] = {
      "Global.asa:\n  refused on purpose: <object id=\"cart\" progid=\"Scripting.Dictionary\">: ",
      "bad.ksp:\n  error at bad.ksp:1: Lua: ",
      "broken.asp:\n  error at broken.asp:2: ",
      "fine.asp: ok\n",
      "good.ksp: ok\n",
      "inc/head.asp:\n  creates an object this host does not provide: MSWC.BrowserType\n",
      "lost.asp:\n  error at lost.asp:1: ",
      "sub/cased.asp:\n  found only by ignoring letter case: Inc/Head.asp is inc/head.asp\n"
      "  creates an object this host does not provide: MSWC.Tools\n"
      "  creates an object this host does not provide: MSWC.BrowserType\n",
      "5 of 8 pages compile\n",
  };
  std::size_t at = 0;
  for (const char* part : expected) {
    const std::size_t found = told.find(part, at);
    EXPECT_NE(found, std::string::npos) << part << "\nin:\n" << told;
    if (found != std::string::npos) at = found;
  }
  EXPECT_EQ(told.find("skipped"), std::string::npos);
  EXPECT_EQ(told.find("notes"), std::string::npos);
}

}  // namespace
}  // namespace kelvane::host
