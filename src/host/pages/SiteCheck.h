#pragma once
// `kelvane check`: every page of a site compiled as a request would compile
// it, with its includes, and nothing run.

#include <filesystem>
#include <ostream>

namespace kelvane::host {

struct SiteCheckCount {
  int pages = 0;
  int compiled = 0;
};

// Checks the site's global.asa, then every .asp and .ksp page under `root`
// (dot folders and dot files left out, folder links not followed), in path
// order, counting global.asa as a page, and writes a line
// for each page ("PAGE: ok", or "PAGE:" and what it found on the lines
// below: its compile error with file and line, or the construct it uses
// that this host refuses on purpose, with the reason (global.asa's object
// declarations among them); the files it names
// that were found only by ignoring letter case; the objects it creates by a
// literal ProgID that this host does not provide), then "N of M pages
// compile".
SiteCheckCount CheckSite(const std::filesystem::path& root, std::ostream& out);

}  // namespace kelvane::host
