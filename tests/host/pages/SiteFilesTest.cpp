// Finding the site's files as a page names them: exactly, or in another
// letter case, component by component, never outside the site.

#include "host/pages/SiteFiles.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "support/TempFolder.h"

namespace kelvane::host {
namespace {

namespace fs = std::filesystem;

class SiteFilesTest : public testing::Test {
 protected:
  SiteFilesTest() {
    for (const char* file : {"site/inc/header.asp", "site/Images/Logo.gif", "site/both/a.txt", "site/both/A.txt",
                             "site/both/B.txt", "site/both/b.TXT", "site/Deep/Er/File.TXT", "elsewhere/x.txt"}) {
      fs::create_directories((folder.Path() / file).parent_path());
      std::ofstream(folder.Path() / file) << file;
    }
    root = fs::canonical(folder.Path() / "site");
    fs::create_directory_symlink(folder.Path() / "elsewhere", root / "Out");
  }

  // The site-relative path found for `path`, "*" marking one found by
  // ignoring case; "-" when none is.
  std::string Find(const std::string& path) {
    const auto found = FindSiteFile(root, (root / path).lexically_normal());
    if (!found) return "-";
    return found->path.lexically_relative(root).generic_string() + (found->byCase ? "*" : "");
  }

  TempFolder folder{"site-files"};
  fs::path root;
};

TEST_F(SiteFilesTest, FindsTheExactNameElseTheOneThatDiffersOnlyInCase) {
  const std::pair<const char*, const char*> cases[] = {
      {"inc/header.asp", "inc/header.asp"},
      {"Inc/Header.asp", "inc/header.asp*"},
      {"INC/HEADER.ASP", "inc/header.asp*"},
      {"images/logo.gif", "Images/Logo.gif*"},
      {"deep/er/file.txt", "Deep/Er/File.TXT*"},
      {"inc", "inc"},
      {"INC/", "inc*"},
      {"both/a.txt", "both/a.txt"},    // two in other cases: the exact one
      {"both/A.txt", "both/A.txt"},
      {"BOTH/a.txt", "both/a.txt*"},   // the folder by case, the file exactly
      {"both/b.txt", "-"},             // two, neither exact: none
      {"both/b.Txt", "-"},
      {"inc/missing.asp", "-"},
      {"missing/header.asp", "-"},
      {"../outside.txt", "-"},
      {"Out/x.txt", "-"},              // a link out of the site
      {"out/X.TXT", "-"},
  };
  for (const auto& [path, found] : cases) EXPECT_EQ(Find(path), found) << path;
}

TEST_F(SiteFilesTest, AFolderIsListedAgainOnceItChanges) {
  EXPECT_EQ(Find("inc/footer.asp"), "-");
  std::this_thread::sleep_for(std::chrono::milliseconds(10));
  std::ofstream(root / "inc" / "Footer.asp") << "";
  EXPECT_EQ(Find("inc/footer.asp"), "inc/Footer.asp*");
  std::this_thread::sleep_for(std::chrono::milliseconds(10));
  std::ofstream(root / "inc" / "FOOTER.asp") << "";
  EXPECT_EQ(Find("inc/footer.asp"), "-") << "now two names match";
}

TEST(SitePath, JoinsFromThePagesFolderOrTheRootAndNeverClimbsOut) {
  const fs::path root = "/srv/site";
  const std::pair<const char*, const char*> cases[] = {
      {"a.asp", "/srv/site/sub/a.asp"},       {"/a.asp", "/srv/site/a.asp"},
      {"//a.asp", "/srv/site/a.asp"},         {"..\\a.asp", "/srv/site/a.asp"},
      {"./x/../b.asp", "/srv/site/sub/b.asp"}, {"../../a.asp", "-"},
      {"/../a.asp", "-"},
  };
  for (const auto& [reference, joined] : cases) {
    const auto path = SitePath(root, root / "sub", reference);
    EXPECT_EQ(path ? path->generic_string() : "-", joined) << reference;
  }
}

}  // namespace
}  // namespace kelvane::host
