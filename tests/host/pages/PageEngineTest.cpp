#include "host/pages/PageEngine.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <thread>

#include "host/lua/KspTranslator.h"

namespace kelvane::host {
namespace {

namespace fs = std::filesystem;

// A site folder, also the working directory, with pages written by the test.
class PageEngineTest : public testing::Test {
 protected:
  void SetUp() override {
    previous = fs::current_path();
    site = fs::temp_directory_path() / ("kelvane-site-" + std::to_string(::getpid()));
    fs::create_directories(site);
    fs::current_path(site);
  }
  void TearDown() override {
    fs::current_path(previous);
    fs::remove_all(site);
  }

  PageReply Run(const std::string& page, const std::string& query = "",
                PageLimits limits = PageLimits{}) {
    std::ofstream(site / "page.ksp") << page;
    PageRequest request;
    request.method = "GET";
    request.path = "/page.ksp";
    request.queryString = query;
    return PageEngine(site, limits).Run(site / "page.ksp", request);
  }

  fs::path previous;
  fs::path site;
};

TEST(TranslatePage, KeepsEveryLineOnItsLineAndEveryByteOfText) {
  const auto page = TranslatePage("a]]b\n<% x = 1 %>\n<%= x %>]=]", "w");
  EXPECT_TRUE(page.error.empty());
  EXPECT_EQ(std::count(page.lua.begin(), page.lua.end(), '\n'), 2);
  EXPECT_NE(page.lua.find("w([=[a]]b\n]=])"), std::string::npos);
  EXPECT_NE(page.lua.find("w(\"\\n\")\n"), std::string::npos) << page.lua;
  EXPECT_NE(page.lua.find("w([==[]=]]==])"), std::string::npos) << page.lua;
  EXPECT_FALSE(TranslatePage("ok\n<% never closed", "w").error.empty());
}

TEST_F(PageEngineTest, WritesTextValuesAndCode) {
  const PageReply reply = Run("<p><%= 6 * 7 %></p><% for i = 1, 3 do %>-<%= i %><% end %>");
  EXPECT_EQ(reply.status, 200);
  EXPECT_EQ(reply.body, "<p>42</p>-1-2-3");
  EXPECT_EQ(reply.contentType, "text/html");
}

TEST_F(PageEngineTest, DrawsAndDeliversThroughAnImageObject) {
  const PageReply reply = Run(
      "before<%\n"
      "local img = Server.CreateObject(\"Kelvane.Image\")\n"
      "img.ImageType = \"bmp\"\n"
      "img.PlotWidth = 10\n"
      "img.PlotHeight = 10\n"
      "img:PlotLine(0, 0, 9, 9)\n"
      "assert(img.PenColor == 0 and img.PlotFontName == \"Arial\")\n"
      "img:SendImage()\n"
      "%>after");
  EXPECT_EQ(reply.status, 200);
  EXPECT_EQ(reply.contentType, "image/bmp");
  EXPECT_EQ(reply.body.substr(0, 8), "beforeBM") << "text written before stays in front";
  EXPECT_EQ(reply.body.find("after"), std::string::npos) << "the page ended with the response";
  EXPECT_EQ(std::distance(fs::directory_iterator(site), {}), 1) << "only the page is left";
}

TEST_F(PageEngineTest, PastePictureFindsARelativeNameInAnyLetterCase) {
  const std::string draw = "<% local img = Server.CreateObject(\"Kelvane.Image\")\n"
                           "img.ImageType = \"bmp\"; img.PlotWidth = 10; img.PlotHeight = 10\n";
  const PageReply red = Run(draw + "img:GradientL2R(255, 255); img:SendImage() %>");
  std::ofstream(site / "Red.BMP", std::ios::binary) << red.body;
  // The bottom-left pixel of the 10 x 10 BMP that a page sends, blue, green, red.
  const auto corner = [&](const std::string& name) {
    const PageReply pasted =
        Run(draw + "img:GradientL2R(0xFFFFFF, 0xFFFFFF); img:PastePicture(0, 0, \"" + name + "\"); img:SendImage() %>");
    return pasted.body.size() > 57 ? pasted.body.substr(54, 3) : pasted.body;
  };
  EXPECT_EQ(corner("Red.BMP"), std::string("\0\0\xff", 3));
  EXPECT_EQ(corner("red.bmp"), std::string("\0\0\xff", 3));
  EXPECT_EQ(corner("blue.bmp"), "\xff\xff\xff") << "a missing picture pastes nothing";
}

TEST_F(PageEngineTest, AdoConstantsAreGlobalsAPageMayReplace) {
  EXPECT_EQ(Run("<%= adOpenStatic %> <%= adVarChar %> <%= tostring(adNoSuch) %> <%= tostring(_G[1]) %>"
                "<% adLockReadOnly = 9 %> <%= adLockReadOnly %>")
                .body,
            "3 200 nil nil 9");
}

TEST_F(PageEngineTest, AutomationErrorsCanBeCaughtOrEndThePageWithTheirLine) {
  const PageReply caught = Run(
      "<% local img = Server.CreateObject('Kelvane.Image')\n"
      "local ok, e = pcall(function() img.PlotWidth = 'wide' end) %>"
      "<%= e.number %> <%= e.source %> <%= e.description %>");
  EXPECT_EQ(caught.body, "13 Kelvane Type mismatch");

  const PageReply uncaught = Run("text\n<% local img = Server.CreateObject('Kelvane.Image')\n"
                                 "img:PlotCircle(1, 1, -1) %>");
  EXPECT_EQ(uncaught.status, 500);
  EXPECT_NE(uncaught.body.find("number: 5"), std::string::npos) << uncaught.body;
  EXPECT_NE(uncaught.body.find("Invalid procedure call or argument"), std::string::npos);
  EXPECT_NE(uncaught.body.find("at: page.ksp:3\n"), std::string::npos) << uncaught.body;
  EXPECT_EQ(Run("<% Server.CreateObject('No.Such') %>").status, 500);
}

TEST_F(PageEngineTest, SyntaxErrorsEndlessLoopsAndHugeAllocationsGive500) {
  EXPECT_EQ(Run("<% if then %>").status, 500);
  EXPECT_EQ(Run("<% while true do end %>", "", {std::chrono::milliseconds(200), 64 << 20}).status, 500);
  EXPECT_EQ(Run("<% while true do pcall(function() while true do end end) end %>", "",
                {std::chrono::milliseconds(200), 64 << 20})
                .status,
            500)
      << "pcall cannot hold a page past its time";
  const PageReply huge = Run("<% local s = string.rep('x', 1 << 30) %>", "", {std::chrono::seconds(5), 64 << 20});
  EXPECT_EQ(huge.status, 500);
  EXPECT_EQ(Run("<%= 1 %>").body, "1") << "the thread's state still serves";
}

TEST_F(PageEngineTest, ReadsTheRequestAndConvertsValues) {
  const PageReply reply = Run(
      "<%= Request.QueryString('name') %>|<%= tostring(Request.QueryString('none')) %>|"
      "<%= Request.ServerVariables('REQUEST_METHOD') %>|<%= Server.HTMLEncode('<a&b>') %>|"
      "<% local img = Server.CreateObject('Kelvane.Image'); img.PenColor = Null %>"
      "<%= tostring(img.PenColor == Null) %>|<%= math.type(img.PlotWidth) %>|"
      "<% img.PenStyle = 2.5 %><%= img.PenStyle %>",
      "name=J%C3%BCrg+Doe&x=1");
  EXPECT_EQ(reply.body, "Jürg Doe|nil|GET|&lt;a&amp;b&gt;|true|integer|2.5");
}

TEST_F(PageEngineTest, PagesShareNoGlobalsAndAreRecompiledWhenChanged) {
  EXPECT_EQ(Run("<% leaked = 5 %><%= leaked %>").body, "5");
  EXPECT_EQ(Run("<%= tostring(leaked) %>").body, "nil");
  EXPECT_EQ(Run("<%= tostring(io) .. tostring(os) .. tostring(load) %>").body, "nilnilnil");
}

TEST_F(PageEngineTest, AMissingPageIs404) {
  PageRequest request;
  EXPECT_EQ(PageEngine(site, {}).Run(site / "none.ksp", request).status, 404);
}

}  // namespace
}  // namespace kelvane::host
