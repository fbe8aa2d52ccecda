// Scripting.FileSystemObject, TextStream, File and Folder as pages use
// them: run through the page engine, with a data folder inside the site
// and a link from it to a folder outside.

#include "host/objects/scripting/FileSystemObject.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>

#include "host/pages/PageEngine.h"
#include "support/TempFolder.h"

namespace kelvane::host::scripting {
namespace {

namespace fs = std::filesystem;

class FileSystemObjectTest : public testing::Test {
 protected:
  FileSystemObjectTest() {
    base = fs::canonical(folder.Path());
    site = base / "site";
    fs::create_directories(site / "data");
    fs::create_directories(base / "elsewhere");
    Put(base / "elsewhere/secret.txt", "secret");
    Put(site / "data/Notes.txt", "one\r\ntwo\n");
    Put(site / "readme.txt", "site text");
    fs::create_directory_symlink(base / "elsewhere", site / "data/out");
    limits.dataFolders = {site / "data"};
  }

  static void Put(const fs::path& file, const std::string& bytes) { std::ofstream(file, std::ios::binary) << bytes; }
  std::string Bytes(const std::string& name) const {
    std::ifstream in(site / name, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
  }

  // What the page `file` with `text` writes, or "error N" for its failure.
  std::string RunPage(const std::string& file, const std::string& text) {
    Put(site / file, text);
    PageRequest request;
    request.method = "GET";
    request.path = "/" + file;
    const PageReply reply = PageEngine(site, limits).Run(site / file, request);
    if (reply.failure) return "error " + (reply.failure->number ? std::to_string(*reply.failure->number) : reply.failure->description);
    return reply.body;
  }
  // Runs VBScript `code` with `fso` made.
  std::string Run(const std::string& code) {
    return RunPage("page.asp", "<%\nSet fso = Server.CreateObject(\"Scripting.FileSystemObject\")\n" + code + "\n%>");
  }

  TempFolder folder{"fso"};
  fs::path base;
  fs::path site;
  PageLimits limits;
};

TEST_F(FileSystemObjectTest, ReadsInTheSiteWritesInTheDataFoldersOnly) {
  struct Case {
    std::string code;
    std::string result;
  };
  const Case cases[] = {
      {"Response.Write fso.FileExists(\"readme.txt\") & fso.FileExists(\"DATA\\notes.TXT\")", "TrueTrue"},
      {"Response.Write fso.FileExists(\"data/out/secret.txt\") & fso.FileExists(\"../elsewhere/secret.txt\")",
       "FalseFalse"},
      {"Response.Write fso.FolderExists(\"data\") & fso.FolderExists(\"readme.txt\") & fso.FolderExists(\"data/out\")",
       "TrueFalseFalse"},
      {"Response.Write fso.OpenTextFile(\"Readme.txt\").ReadAll", "site text"},
      {"Response.Write fso.GetFile(\"data\\notes.txt\").Path = \"" + (site / "data/Notes.txt").string() + "\"",
       "True"},
      {"fso.OpenTextFile(\"data/out/secret.txt\")", "error 70"},
      {"fso.GetFile(\"" + (base / "elsewhere/secret.txt").string() + "\")", "error 70"},
      {"fso.CreateTextFile(\"made.txt\")", "error 70"},
      {"fso.OpenTextFile \"readme.txt\", 8", "error 70"},
      {"fso.DeleteFile \"readme.txt\"", "error 70"},
      {"fso.CopyFile \"readme.txt\", \"data/out/\"", "error 70"},
      {"fso.CopyFile \"data/notes.txt\", \"copy.txt\"", "error 70"},
      {"fso.CreateFolder \"data/out/new\"", "error 70"},
      {"fso.DeleteFolder \"data\"", "error 70"},
      {"fso.MoveFolder \"data\", \"data/moved\"", "error 70"},
      {"fso.GetFolder(\"data\").Name = \"other\"", "error 70"},
      {"fso.CreateTextFile(\"data/made.txt\").Write \"x\"", ""},
      {"fso.GetFile \"data/missing.txt\"", "error 53"},
      {"fso.GetFile \"data\"", "error 53"},
      {"fso.GetFolder \"data/none\"", "error 76"},
      {"fso.OpenTextFile \"data/missing.txt\"", "error 53"},
      {"fso.OpenTextFile \"data/missing.txt\", 2", "error 53"},
      {"fso.OpenTextFile \"data\"", "error 70"},
      {"fso.CreateTextFile \"data/notes.txt\", False", "error 58"},
      {"fso.CreateTextFile \"data/none/a.txt\"", "error 76"},
      {"fso.CreateFolder \"data/a/b\"", "error 76"},
      {"fso.CreateFolder \"data\"", "error 58"},
      {"fso.DeleteFile \"data/missing.txt\"", "error 53"},
      {"fso.DeleteFolder \"data/none\"", "error 76"},
      {"fso.OpenTextFile \"data/notes.txt\", 3", "error 5"},
      {"fso.OpenTextFile \"data/notes.txt\", 1, False, 1", "error 5"},
      {"fso.OpenTextFile", "error 450"},
      {"fso.GetTempName 1", "error 450"},
      {"fso.OpenTextFile \"data/notes.txt\", 1, False, 0, 9", "error 450"},
      {"Response.Write fso.OpenTextFile(\"data/notes.txt\", , , -2).ReadLine", "one"},
      {"Response.Write TypeName(fso) & TypeName(fso.GetFile(\"readme.txt\")) & TypeName(fso.GetFolder(\"data\"))",
       "FileSystemObjectFileFolder"},
      {"Response.Write TypeName(fso.OpenTextFile(\"readme.txt\"))", "TextStream"},
      {"Response.Write fso.GetAbsolutePathName(\"data\\sub\\..\\x.txt\") = \"" + (site / "data/x.txt").string() + "\"",
       "True"},
  };
  for (const Case& c : cases) EXPECT_EQ(Run(c.code), c.result) << c.code;
  EXPECT_EQ(Bytes("data/made.txt"), "x");
  EXPECT_FALSE(fs::exists(base / "elsewhere/new"));
}

TEST_F(FileSystemObjectTest, NameFunctionsNeverTouchTheDisk) {
  EXPECT_EQ(Run("Response.Write fso.GetFileName(\"C:\\x\\y.txt\") & \"|\" & fso.GetBaseName(\"a/b.c.d\") & \"|\" & "
                "fso.GetExtensionName(\"a/b.c.d\") & \"|\" & fso.GetParentFolderName(\"x\\y\\\") & \"|\" & "
                "fso.BuildPath(\"/nowhere\", \"z\")"),
            "y.txt|b.c|d|x|/nowhere/z");
  const std::string name = Run("Response.Write fso.GetTempName");
  EXPECT_EQ(name.size(), 12u);
  EXPECT_TRUE(name.starts_with("rad") && name.ends_with(".tmp")) << name;
}

TEST_F(FileSystemObjectTest, WritesTheBytesOfEachForm) {
  struct Case {
    std::string code;  // writes data/t.txt
    std::string bytes;
  };
  const Case cases[] = {
      {"Set t = fso.CreateTextFile(\"data/t.txt\")\nt.Write \"\xC3\xA9\"\nt.WriteLine \"a\"\nt.WriteBlankLines 2\n"
       "t.WriteLine\nt.Close",
       "\xC3\xA9" "a\r\n\r\n\r\n\r\n"},
      {"Response.CodePage = 1252\nSet t = fso.CreateTextFile(\"data/t.txt\")\nt.Write \"\xC3\xA9\xE2\x82\xAC\"\nt.Close",
       "\xE9\x80"},
      {"Set t = fso.CreateTextFile(\"data/t.txt\", True, True)\nt.Write \"\xC3\xA9\"\nt.Close",
       std::string("\xFF\xFE\xE9\0", 4)},
      {"Set t = fso.OpenTextFile(\"data/t.txt\", 2, True, -2)\nt.Write \"\xC3\xA9\"\nt.Close", "\xC3\xA9"},
      {"Set t = fso.OpenTextFile(\"data/t.txt\", 2, True, -1)\nt.WriteLine \"a\"\nt.Close",
       std::string("\xFF\xFE" "a\0\r\0\n\0", 8)},
      {"Set t = fso.CreateTextFile(\"data/t.txt\", True, True)\nt.Write \"a\"\nt.Close\n"
       "fso.OpenTextFile(\"data/t.txt\", 8, False, -2).Write \"b\"",
       std::string("\xFF\xFE" "a\0b\0", 6)},
      {"Set t = fso.CreateTextFile(\"data/t.txt\")\nt.Write \"a\"\nt.Close\nSet t = fso.OpenTextFile(\"data/t.txt\", 8)\n"
       "t.Write \"b\"\nt.Close\nfso.OpenTextFile(\"data/t.txt\", 8, False, -1).Write \"c\"",
       std::string("abc\0", 4)},
      {"Set t = fso.CreateTextFile(\"data/t.txt\")\nt.Write \"old text\"\nt.Close\n"
       "fso.OpenTextFile(\"data/t.txt\", 2).Write \"new\"",
       "new"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Run(c.code), "") << c.code;
    EXPECT_EQ(Bytes("data/t.txt"), c.bytes) << c.code;
  }
}

TEST_F(FileSystemObjectTest, ReadsLinesCharactersAndFormsBackAsWritten) {
  struct Case {
    std::string bytes;  // of data/r.txt
    std::string code;   // `t` is the stream
    std::string result;
  };
  const std::string readAll = "Response.Write t.ReadAll";
  const std::string lines =
      "Do Until t.AtEndOfStream\nResponse.Write t.Line & \":\" & t.ReadLine & \"|\"\nLoop\nResponse.Write t.Line";
  const Case cases[] = {
      {"a\r\nb\nc", lines, "1:a|2:b|3:c|3"},
      {"a\r\n\r\nb\r\n", lines, "1:a|2:|3:b|4"},
      {"a\rb", lines, "1:a\rb|1"},
      {"ab\xC3\xA9z\ncd", "Response.Write t.Read(3) & t.Column & t.AtEndOfLine & t.Read(9) & t.Column",
       "ab\xC3\xA9" "4False" "z\ncd" "3"},
      {"ab\r\ncd", "t.Skip 2\nResponse.Write t.AtEndOfLine & t.Column\nt.SkipLine\nResponse.Write t.ReadAll & t.Line",
       "True3cd2"},
      {std::string("\xFF\xFE" "a\0\r\0\n\0\xE9\0", 10), "Set t = fso.OpenTextFile(\"data/r.txt\", 1, False, -2)\n" + readAll,
       "a\r\n\xC3\xA9"},
      {std::string("\xFF\xFE" "a\0", 4), "Set t = fso.OpenTextFile(\"data/r.txt\", 1, False, -1)\n" + readAll, "a"},
      {std::string("a\0", 2), "Set t = fso.OpenTextFile(\"data/r.txt\", 1, False, -1)\n" + readAll, "a"},
      {"\xEF\xBB\xBFx", readAll, "x"},
      {"\xE9", "Response.CodePage = 1252\nSet t = fso.OpenTextFile(\"data/r.txt\")\nResponse.Write AscW(t.ReadAll)",
       "233"},
      {"", "Response.Write t.AtEndOfStream & t.AtEndOfLine", "TrueTrue"},
      {"", readAll, "error 62"},
      {"a", "t.ReadLine\nt.ReadLine", "error 62"},
      {"a", "t.Read 1\nt.Skip 1", "error 62"},
      {"a", "t.Read -1", "error 5"},
      {"a", "t.Write \"b\"", "error 54"},
      {"a", "t.Close\nt.ReadLine", "error 54"},
      {"a", "t.Close\nt.Close\nResponse.Write \"twice\"", "twice"},
      {"a", "Set t = fso.OpenTextFile(\"data/r.txt\", 8)\nt.ReadLine", "error 54"},
      {"a", "Set t = fso.OpenTextFile(\"data/r.txt\", 8)\nResponse.Write t.AtEndOfStream", "error 54"},
      {"a", "Set t = fso.OpenTextFile(\"data/r.txt\", 2)\nt.WriteBlankLines -1", "error 5"},
  };
  for (const Case& c : cases) {
    Put(site / "data/r.txt", c.bytes);
    EXPECT_EQ(Run("Set t = fso.OpenTextFile(\"data/r.txt\")\n" + c.code), c.result) << c.code;
  }
}

TEST_F(FileSystemObjectTest, ReadsAcrossChunksWithoutSplittingCharacters) {
  // Long lines of two-byte characters, in both forms: every chunk border
  // of the reader falls somewhere inside one of them.
  std::string line;
  for (int i = 0; i < 40000; ++i) line += "\xC3\xA9";
  Run("Set t = fso.CreateTextFile(\"data/u.txt\", True, True)\nFor i = 1 To 3\nt.WriteLine \"" + line +
      "\"\nNext\nt.Close\nSet t = fso.CreateTextFile(\"data/a.txt\")\nFor i = 1 To 3\nt.WriteLine \"" + line +
      "\"\nNext");
  EXPECT_EQ(Bytes("data/u.txt").size(), 2 + 3 * (40000 * 2 + 4));
  for (const char* file : {"data/u.txt", "data/a.txt"}) {
    EXPECT_EQ(Run(std::string("Set t = fso.OpenTextFile(\"") + file +
                  "\", 1, False, -2)\nDo Until t.AtEndOfStream\nl = t.ReadLine\n"
                  "If l <> String(40000, ChrW(233)) Then Response.Write \"bad \" & t.Line\nLoop\nResponse.Write t.Line"),
              "4")
        << file;
  }
}

TEST_F(FileSystemObjectTest, AStreamLeftOpenIsWrittenAndClosedWhenThePageEnds) {
  const auto openFiles = [] { return std::distance(fs::directory_iterator("/proc/self/fd"), {}); };
  const auto before = openFiles();
  EXPECT_EQ(Run("Set t = fso.CreateTextFile(\"data/open.txt\")\nt.WriteLine \"kept\"\n"
                "fso.OpenTextFile(\"data/notes.txt\").ReadLine\n"
                "Set d = Server.CreateObject(\"Scripting.Dictionary\")\nd.Add \"self\", d\n"
                "d.Add \"stream\", fso.OpenTextFile(\"data/held.txt\", 8, True)\nd(\"stream\").Write \"held\""),
            "");
  EXPECT_EQ(Bytes("data/open.txt"), "kept\r\n");
  EXPECT_EQ(Bytes("data/held.txt"), "held");
  EXPECT_EQ(openFiles(), before);
  EXPECT_EQ(Run("For i = 1 To 300\nfso.OpenTextFile(\"data/notes.txt\")\nNext\nResponse.Write \"dropped ones close\""),
            "dropped ones close");
  EXPECT_EQ(Run("ReDim s(300)\nFor i = 0 To 300\nSet s(i) = fso.OpenTextFile(\"data/notes.txt\")\nNext"), "error 67");
  EXPECT_EQ(openFiles(), before);
}

TEST_F(FileSystemObjectTest, LargeReadsCountAgainstThePagesMemory) {
  Put(site / "data/big.txt", std::string(std::size_t{8} << 20, 'x'));
  limits.memoryBytes = std::size_t{4} << 20;
  EXPECT_EQ(Run("x = fso.OpenTextFile(\"data/big.txt\").ReadAll"), "error 7");
  EXPECT_EQ(Run("x = fso.OpenTextFile(\"data/big.txt\").ReadLine"), "error 7");
  EXPECT_EQ(Run("Response.Write Len(fso.OpenTextFile(\"data/big.txt\").Read(10))"), "10");
}

TEST_F(FileSystemObjectTest, FoldersListTheirFilesAndFoldersByName) {
  for (const char* name : {"data/b.txt", "data/A.txt", "data/Y/x.txt", "data/z/y/w.bin"}) {
    fs::create_directories((site / name).parent_path());
    Put(site / name, "12345");
  }
  EXPECT_EQ(Run("Set f = fso.GetFolder(\"data\")\n"
                "For Each x In f.Files\nResponse.Write x.Name & \"=\" & x.Size & \" \"\nNext\n"
                "For Each x In f.SubFolders\nResponse.Write x.Name & \"/\" & x.Files.Count & \" \"\nNext\n"
                "Response.Write f.Files.Count & f.SubFolders.Count & f.Files(\"B.TXT\").Name & f.Size"),
            "A.txt=5 b.txt=5 Notes.txt=9 Y/1 z/0 32b.txt29");
  EXPECT_EQ(Run("Set f = fso.GetFolder(\"data\")\nx = f.Files(\"none.txt\")"), "error 53");
  EXPECT_EQ(Run("Set f = fso.GetFolder(\"data\")\nx = f.SubFolders(\"none\")"), "error 76");
  EXPECT_EQ(Run("Set f = fso.GetFolder(\"data\")\nx = f.OpenAsTextStream"), "error 438");
  EXPECT_EQ(Run("Set f = fso.GetFile(\"data/b.txt\")\nx = f.Files"), "error 438");
}

TEST_F(FileSystemObjectTest, FilesAndFoldersTellTheirPropertiesAndChange) {
  const std::string data = (site / "data").string();
  EXPECT_EQ(Run("Set f = fso.GetFile(\"data/notes.txt\")\n"
                "Response.Write f.Name & \"|\" & f.Type & \"|\" & f.Attributes & \"|\" & f.ParentFolder.Path & \"|\" & "
                "f.ParentFolder.IsRootFolder & \"|\" & fso.GetFolder(\".\").IsRootFolder & \"|\" & "
                "(fso.GetFolder(\".\").ParentFolder Is Nothing) & \"|\" & fso.GetFolder(\"data\").Attributes & \"|\" & "
                "(Abs(DateDiff(\"s\", f.DateLastModified, Now)) < 60) & \"|\" & (f.DateCreated <= Now) & \"|\" & f"),
            "Notes.txt|TXT File|32|" + data + "|False|True|True|16|True|True|" + data + "/Notes.txt");
  EXPECT_EQ(Run("Set f = fso.GetFile(\"data/notes.txt\")\nf.Attributes = 1\nResponse.Write f.Attributes\n"
                "f.Delete"),
            "error 70");
  EXPECT_TRUE(fs::exists(site / "data/Notes.txt"));
  EXPECT_EQ(Run("Set f = fso.GetFile(\"data/notes.txt\")\nf.Delete True\nResponse.Write fso.FileExists(f.Path)"),
            "False");
  Put(site / "data/r.txt", "r");
  EXPECT_EQ(Run("Set f = fso.GetFile(\"data/r.txt\")\nf.Name = \"s.txt\"\nResponse.Write f.Name & f.Path & "
                "fso.FileExists(\"data/r.txt\")\nf.Name = \"../x.txt\""),
            "error 52");
  EXPECT_EQ(Bytes("data/s.txt"), "r");
  EXPECT_EQ(Run("Set f = fso.GetFile(\"data/s.txt\")\nf.Copy \"data/c.txt\"\nf.Move \"data/m.txt\"\n"
                "Response.Write f.Name & f.OpenAsTextStream.ReadAll\nf.OpenAsTextStream(8).Write \"+\"\n"
                "fso.GetFolder(\"data\").CreateTextFile(\"n.txt\").Write \"n\""),
            "m.txtr");
  EXPECT_EQ(Bytes("data/c.txt") + Bytes("data/m.txt") + Bytes("data/n.txt"), "rr+n");
  EXPECT_EQ(Run("fso.GetFile(\"readme.txt\").Name = \"x.txt\""), "error 70");
}

TEST_F(FileSystemObjectTest, CopiesMovesAndDeletesByWildcard) {
  for (const char* name : {"data/a.txt", "data/B.TXT", "data/c.log", "data/keep/k.txt"}) {
    fs::create_directories((site / name).parent_path());
    Put(site / name, name);
  }
  EXPECT_EQ(Run("fso.CreateFolder \"data/copies\"\nfso.CopyFile \"data/*.txt\", \"data/copies\"\n"
                "fso.CopyFile \"data/c.log\", \"data/copies/\"\nfso.CopyFile \"data/a.txt\", \"data/copies/b.txt\"\n"
                "Response.Write fso.GetFolder(\"data/copies\").Files.Count"),
            "4");
  EXPECT_EQ(Bytes("data/copies/B.TXT"), "data/a.txt") << "b.txt is found in another letter case";
  EXPECT_EQ(Run("fso.CopyFolder \"data/keep\", \"data/kept\"\nfso.GetFolder(\"data/kept\").Copy \"data/copies/\"\n"
                "Response.Write fso.GetFile(\"data/copies/kept/k.txt\").Size & fso.GetFolder(\"data/kept\").Size"),
            "1515");
  EXPECT_EQ(Run("fso.CopyFolder \"data/keep\", \"data/keep/\""), "error 70") << "never into itself";
  EXPECT_EQ(Run("fso.CopyFolder \"data/out\", \"data/x\""), "error 70");
  EXPECT_EQ(Run("fso.CopyFile \"data/a.txt\", \"data/copies/b.txt\", False"), "error 58");
  EXPECT_EQ(Run("fso.CopyFile \"data/a.txt\", \"data/copies\""), "error 70");
  EXPECT_EQ(Run("fso.CopyFile \"data/*.none\", \"data/copies/\""), "error 53");
  EXPECT_EQ(Run("fso.CopyFile \"data/a.txt\", \"data/nowhere/\""), "error 76");
  EXPECT_EQ(Run("fso.MoveFile \"data/a.txt\", \"data/copies/b.txt\""), "error 58");
  EXPECT_EQ(Run("fso.MoveFile \"data/?.txt\", \"data/keep/\"\nfso.DeleteFile \"data/copies/*.TXT\"\n"
                "fso.MoveFolder \"data/copies\", \"data/moved\"\n"
                "Response.Write fso.GetFolder(\"data/keep\").Files.Count & fso.GetFolder(\"data/moved\").Files.Count"),
            "31");
  EXPECT_EQ(Bytes("data/moved/c.log"), "data/c.log");
  EXPECT_EQ(Run("fso.DeleteFolder \"data/*\""), "error 70") << "a match leads out: nothing is deleted";
  EXPECT_EQ(Run("fso.DeleteFolder \"data/k*\"\nfso.DeleteFolder \"data/MOVED\"\n"
                "Response.Write fso.FolderExists(\"data/keep\") & fso.FolderExists(\"data/moved\") & "
                "fso.FileExists(\"data/c.log\")"),
            "FalseFalseTrue");
  EXPECT_TRUE(fs::exists(base / "elsewhere/secret.txt"));
  EXPECT_EQ(std::distance(fs::directory_iterator(site / "data"), {}), 3) << "no copy's temporary file is left";
}

TEST_F(FileSystemObjectTest, KspPagesUseItToo) {
  EXPECT_EQ(RunPage("page.ksp",
                    "<% local fso = Server.CreateObject(\"Scripting.FileSystemObject\")\n"
                    "local t = fso:CreateTextFile(\"data/k.txt\")\nt:WriteLine(\"from lua\")\nt:Close()\n"
                    "local r = fso:OpenTextFile(\"data/k.txt\")\n"
                    "Response.Write(r:ReadLine() .. tostring(r.AtEndOfStream)) %>"),
            "from luatrue");
}

}  // namespace
}  // namespace kelvane::host::scripting
