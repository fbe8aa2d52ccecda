#pragma once
// The names the server neither serves nor runs, in any folder and in any
// letter case: dotfiles, what editors leave beside the files they edit
// (backups, swap files, autosaves, merge leftovers), and a list the site's
// owner may change, by default the files where a classic site keeps its
// secrets: include files, global.asa, its databases and web.config. A name
// is judged without its trailing dots and blanks, which some file systems
// drop, so "config.inc." is hidden as "config.inc" is, and a name that only
// they set apart from a page's ("index.asp.") is hidden too: it would be
// sent as it is, the page's source.

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kelvane::host {

class HiddenNames {
 public:
  // The default list, as Parse reads it.
  static constexpr std::string_view kDefaults =
      "*.asa *.asax *.inc *.mdb *.accdb *.ldb *.laccdb *.sqlite *.sqlite3 *.db web.config";

  // The default list.
  HiddenNames() : HiddenNames(*Parse(kDefaults)) {}

  // Entries separated by commas or blanks: "*.inc" hides every name that
  // ends in ".inc", any other entry the one name it is. Empty when an entry
  // holds a '/' or is "*" alone. An empty list hides only what is always
  // hidden.
  static std::optional<HiddenNames> Parse(std::string_view list);

  // True when the file or folder name `name` is hidden.
  bool Hides(std::string_view name) const;

  // True when any part of `path` is a hidden name.
  bool HidesAnyPart(const std::filesystem::path& path) const;

 private:
  struct Nothing {};
  explicit HiddenNames(Nothing) {}

  std::vector<std::string> endings_;  // folded to lower case
  std::vector<std::string> names_;    // folded to lower case
};

}  // namespace kelvane::host
