// Where a page reaches files by their own paths: reading in the site and
// the data folders, writing in the data folders only, links and letter
// case resolved before the check.

#include "host/pages/FileReach.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/oleaut/AutomationError.h"
#include "support/TempFolder.h"

namespace kelvane::host {
namespace {

namespace fs = std::filesystem;

class FileReachTest : public testing::Test {
 protected:
  FileReachTest() {
    for (const char* file : {"site/page.asp", "site/Docs/Read.TXT", "data/Notes.txt", "elsewhere/secret.txt"}) {
      fs::create_directories((folder.Path() / file).parent_path());
      std::ofstream(folder.Path() / file) << file;
    }
    base = fs::canonical(folder.Path());
    root = base / "site";
    data = {base / "data"};
    fs::create_directory_symlink(base / "elsewhere", root / "out");
    fs::create_directory_symlink(base / "elsewhere", base / "data" / "out");
    fs::create_directory_symlink(base / "data", root / "files");
    fs::create_symlink(base / "elsewhere" / "made.txt", base / "data" / "dangling");
  }

  // The path reached, relative to the temporary folder; "70" when refused.
  std::string Reach(const std::string& path, FileUse use) {
    const FileReachScope scope(root, data);
    try {
      return ReachPath(path, use).lexically_relative(base).generic_string();
    } catch (const oleaut::AutomationError& error) {
      return std::to_string(error.Number());
    }
  }

  TempFolder folder{"file-reach"};
  fs::path base;
  fs::path root;
  std::vector<fs::path> data;
};

TEST_F(FileReachTest, ReadsInTheSiteAndDataWritesInDataOnly) {
  struct Case {
    std::string path;  // "@" stands for the temporary folder
    std::string read;
    std::string write;
  };
  const Case cases[] = {
      {"@/site/page.asp", "site/page.asp", "70"},
      {"page.asp", "site/page.asp", "70"},
      {"docs\\read.txt", "site/Docs/Read.TXT", "70"},
      {"@/data/notes.TXT", "data/Notes.txt", "data/Notes.txt"},
      {"@/DATA/new/deeper.txt", "data/new/deeper.txt", "data/new/deeper.txt"},
      {"@/data/../site/page.asp", "site/page.asp", "70"},
      {"@/elsewhere/secret.txt", "70", "70"},
      {"../elsewhere/secret.txt", "70", "70"},
      {"/etc/passwd", "70", "70"},
      {"out/secret.txt", "70", "70"},
      {"@/data/out/secret.txt", "70", "70"},
      {"@/data/out/new.txt", "70", "70"},
      {"@/data/dangling", "70", "70"},
      {"files/Notes.txt", "data/Notes.txt", "data/Notes.txt"},
      {"FILES/notes.txt", "data/Notes.txt", "data/Notes.txt"},
      {"", "70", "70"},
  };
  for (const Case& c : cases) {
    std::string path = c.path;
    if (path.starts_with("@")) path = base.string() + path.substr(1);
    EXPECT_EQ(Reach(path, FileUse::Read), c.read) << c.path;
    EXPECT_EQ(Reach(path, FileUse::Write), c.write) << c.path;
  }
  EXPECT_EQ(Reach((base / "data").string() + std::string("/a\0b", 4), FileUse::Write), "70");
}

TEST_F(FileReachTest, NothingIsReachedOutsideAPage) {
  EXPECT_THROW(ReachPath((root / "page.asp").string(), FileUse::Read), oleaut::AutomationError);
}

TEST(DataFoldersTest, ReadsAbsolutePathsSeparatedByCommas) {
  EXPECT_TRUE(DataFolders("").empty());
  EXPECT_TRUE(DataFolders(" , ").empty());
  EXPECT_EQ(DataFolders("/var/lib/x, /srv/y/../z"), (std::vector<fs::path>{"/var/lib/x", "/srv/z"}));
  EXPECT_THROW(DataFolders("/ok,relative/folder"), std::invalid_argument);
}

}  // namespace
}  // namespace kelvane::host
