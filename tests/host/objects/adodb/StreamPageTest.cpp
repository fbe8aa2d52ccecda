// ADODB.Stream in pages of both languages: sending a file's bytes, turning
// text from one charset into another, and the files a page may reach.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "host/pages/PageEngine.h"
#include "support/TempFolder.h"

namespace kelvane::host {
namespace {

namespace fs = std::filesystem;

class StreamPageTest : public testing::Test {
 protected:
  StreamPageTest() {
    fs::create_directories(folder.Path() / "site");
    fs::create_directories(folder.Path() / "data");
    for (int b = 0; b < 256; ++b) picture += static_cast<char>(b);
    Write("site/Picture.bin", picture);
    Write("site/latin.txt", "caf\xE9 \x80\r\nline two");
    Write("data/old.txt", "old");
    limits.dataFolders = {fs::canonical(folder.Path() / "data")};
  }

  void Write(const std::string& name, const std::string& bytes) {
    std::ofstream(folder.Path() / name, std::ios::binary) << bytes;
  }
  std::string Read(const std::string& name) {
    std::ifstream in(folder.Path() / name, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
  }

  PageReply Run(const std::string& name, const std::string& page) {
    Write("site/" + name, page);
    PageRequest request;
    request.method = "GET";
    request.path = "/" + name;
    return PageEngine(folder.Path() / "site", limits).Run(folder.Path() / "site" / name, request);
  }

  TempFolder folder{"stream-pages"};
  PageLimits limits;
  std::string picture;
};

TEST_F(StreamPageTest, SendsAFilesBytesFromBothLanguages) {
  const PageReply asp = Run("send.asp",
                            "<% Response.ContentType = \"application/octet-stream\"\n"
                            "Set s = Server.CreateObject(\"ADODB.Stream\") : s.Type = 1 : s.Open\n"
                            "s.LoadFromFile Server.MapPath(\"picture.bin\")\n"
                            "Response.BinaryWrite s.Read : s.Close %>");
  EXPECT_EQ(asp.status, 200) << asp.body;
  EXPECT_EQ(asp.body, picture);
  const PageReply ksp = Run("send.ksp",
                            "<% local s = Server.CreateObject('ADODB.Stream'); s.Type = 1; s:Open()\n"
                            "s:LoadFromFile('Picture.bin'); Response.BinaryWrite(s:Read()) %>");
  EXPECT_EQ(ksp.status, 200) << ksp.body;
  EXPECT_EQ(ksp.body, picture);
}

TEST_F(StreamPageTest, ConvertsTextBetweenCharsetsIntoADataFile) {
  const std::string data = (folder.Path() / "data").string();
  const PageReply asp = Run("convert.asp",
                            "<% Set s = Server.CreateObject(\"ADODB.Stream\") : s.Charset = \"windows-1252\" : s.Open\n"
                            "s.LoadFromFile \"latin.txt\" : first = s.ReadText(-2)\n"
                            "Set d = Server.CreateObject(\"ADODB.Stream\") : d.Charset = \"utf-8\" : d.Open\n"
                            "d.WriteText first, 1 : d.WriteText s.ReadText\n"
                            "d.SaveToFile \"" + data + "/utf8.txt\", 2 : Response.Write first & \"|\" & d.Position %>");
  EXPECT_EQ(asp.body, "caf\xC3\xA9 \xE2\x82\xAC|0");
  EXPECT_EQ(Read("data/utf8.txt"), "\xEF\xBB\xBF" "caf\xC3\xA9 \xE2\x82\xAC\r\nline two");
  const PageReply ksp = Run("convert.ksp",
                            "<% local s = Server.CreateObject('ADODB.Stream'); s.Charset = 'unicode'; s:Open()\n"
                            "s:WriteText('\xE2\x82\xAC'); s:SaveToFile('" + data + "/utf16.txt') %>");
  EXPECT_EQ(ksp.status, 200) << ksp.body;
  EXPECT_EQ(Read("data/utf16.txt"), std::string("\xFF\xFE\xAC\x20", 4));
}

TEST_F(StreamPageTest, ReachesFilesOnlyWhereAPageMay) {
  const std::string data = (folder.Path() / "data").string();
  struct Case {
    std::string call;
    std::string expected;  // Err.Number
  };
  const Case cases[] = {
      {"s.LoadFromFile \"missing.bin\"", "3002"},
      {"s.LoadFromFile \"" + data + "\"", "3002"},  // a folder
      {"s.LoadFromFile \"" + data + "/OLD.TXT\" : Response.Write s.Size & \" \"", "3 0"},
      {"s.LoadFromFile \"/etc/passwd\"", "70"},
      {"s.LoadFromFile \"../data/../../x\"", "70"},
      {"s.SaveToFile \"picture.bin\", 2", "70"},
      {"s.SaveToFile \"" + data + "/old.txt\"", "3004"},
      {"s.SaveToFile \"" + data + "/none/new.txt\"", "3004"},
      {"s.SaveToFile \"" + data + "/new.txt\", 3", "3001"},
      {"s.Close : s.SaveToFile \"" + data + "/new.txt\"", "3704"},
  };
  for (const Case& c : cases) {
    const PageReply reply = Run("reach.asp",
                                "<% On Error Resume Next\n"
                                "Set s = Server.CreateObject(\"ADODB.Stream\") : s.Type = 1 : s.Open\n" +
                                    c.call + "\nResponse.Write Err.Number %>");
    EXPECT_EQ(reply.body, c.expected) << c.call;
  }
  EXPECT_EQ(Read("data/old.txt"), "old");
  // Overwriting replaces the file whole, with its permissions, and leaves
  // no other file behind.
  const auto ownerOnly = fs::perms::owner_read | fs::perms::owner_write;
  fs::permissions(folder.Path() / "data/old.txt", ownerOnly);
  Run("save.asp",
      "<% Set s = Server.CreateObject(\"ADODB.Stream\") : s.Type = 1 : s.Open : s.Write \"new bytes\"\n"
      "s.SaveToFile \"" + data + "/old.txt\", 2 %>");
  EXPECT_EQ(Read("data/old.txt"), "new bytes");
  EXPECT_EQ(fs::status(folder.Path() / "data/old.txt").permissions(), ownerOnly);
  std::size_t files = 0;
  for ([[maybe_unused]] const auto& entry : fs::directory_iterator(folder.Path() / "data")) ++files;
  EXPECT_EQ(files, 1u);
}

TEST_F(StreamPageTest, AStreamsBytesCountAgainstThePagesMemory) {
  limits.memoryBytes = 32 << 20;
  const PageReply grown = Run("grow.ksp",
                              "<% local s = Server.CreateObject('ADODB.Stream'); s.Type = 1; s:Open()\n"
                              "s.Position = 64 * 1024 * 1024 %>");
  EXPECT_EQ(grown.status, 500);
  EXPECT_EQ(Run("after.ksp", "<%= 'fine' %>").body, "fine");
}

}  // namespace
}  // namespace kelvane::host
