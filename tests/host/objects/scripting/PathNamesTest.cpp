// The FileSystemObject's name functions: read from the text alone, with
// either separator, kept as given.

#include "host/objects/scripting/PathNames.h"

#include <gtest/gtest.h>

#include <string>

namespace kelvane::host::scripting {
namespace {

TEST(PathNames, PartsOfAPathComeFromItsTextAlone) {
  struct Case {
    std::string path, last, parent, base, extension;
  };
  const Case cases[] = {
      {"C:\\site\\data\\notes.txt", "notes.txt", "C:\\site\\data", "notes", "txt"},
      {"/srv/site/data/notes.txt", "notes.txt", "/srv/site/data", "notes", "txt"},
      {"data/sub\\a.tar.gz", "a.tar.gz", "data/sub", "a.tar", "gz"},
      {"data\\sub\\", "sub", "data", "sub", ""},
      {"data//sub//", "sub", "data", "sub", ""},
      {"notes.txt", "notes.txt", "", "notes", "txt"},
      {"\\a", "a", "\\", "a", ""},
      {"/a", "a", "/", "a", ""},
      {"C:\\a", "a", "C:\\", "a", ""},
      {"C:\\", "", "", "", ""},
      {"/", "", "", "", ""},
      {"", "", "", "", ""},
      {".htaccess", ".htaccess", "", "", "htaccess"},
      {"no-extension", "no-extension", "", "no-extension", ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(LastName(c.path), c.last) << c.path;
    EXPECT_EQ(ParentName(c.path), c.parent) << c.path;
    EXPECT_EQ(BaseName(c.path), c.base) << c.path;
    EXPECT_EQ(ExtensionName(c.path), c.extension) << c.path;
  }
}

TEST(PathNames, JoinUsesOneSeparatorOfThePathsOwnKind) {
  struct Case {
    std::string path, name, joined;
  };
  const Case cases[] = {
      {"C:\\data", "a.txt", "C:\\data\\a.txt"}, {"C:\\data\\", "a.txt", "C:\\data\\a.txt"},
      {"/srv/data", "a.txt", "/srv/data/a.txt"}, {"/srv/data/", "/a.txt", "/srv/data/a.txt"},
      {"data", "sub/a.txt", "data/sub/a.txt"},   {"data", "a.txt", "data\\a.txt"},
      {"", "a.txt", "a.txt"},                     {"data", "", "data"},
      {"/", "a.txt", "/a.txt"},                   {"C:", "a.txt", "C:\\a.txt"},
  };
  for (const Case& c : cases) EXPECT_EQ(JoinPath(c.path, c.name), c.joined) << c.path << " + " << c.name;
}

TEST(PathNames, WildcardsMatchAnyRunOrOneCharacterInAnyCase) {
  struct Case {
    std::string pattern, name;
    bool matches;
  };
  const Case cases[] = {
      {"*.txt", "notes.TXT", true},      {"*.txt", "notes.txt.bak", false}, {"*", ".hidden", true},
      {"?.txt", "a.txt", true},          {"?.txt", "ab.txt", false},        {"?.txt", "\xC3\xA9.txt", true},
      {"a*b*c", "axxbyyc", true},        {"a*b*c", "axxbyy", false},        {"*a*a*a*b", "aaaaaaaaaaaaaaaaac", false},
      {"[ab].txt", "a.txt", false},      {"[ab].txt", "[AB].TXT", true},    {"*.*", "noext", true},
      {"a.*", "a", true},                {"a.*", "ab", false},
      {"report*", "report", true},       {"", "", true},                    {"*?", "", false},
  };
  for (const Case& c : cases) EXPECT_EQ(MatchesWildcard(c.pattern, c.name), c.matches) << c.pattern << " " << c.name;
}

}  // namespace
}  // namespace kelvane::host::scripting
