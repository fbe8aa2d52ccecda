#pragma once
// The site's files as pages read them: where a file lies relative to the
// site, found in any letter case, which version of it was read, and its
// bytes.

#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace kelvane::host {

// True when `path` lies in `root` (or is it); both canonical.
inline bool IsInside(const std::filesystem::path& root, const std::filesystem::path& path) {
  const auto [rootEnd, pathEnd] = std::mismatch(root.begin(), root.end(), path.begin(), path.end());
  return rootEnd == root.end();
}

// The version of a file: when it was last written, to the nanosecond, and
// its size. A compiled page is current while its files keep their stamps.
struct FileStamp {
  time_t modified = 0;
  long modifiedNanos = 0;
  off_t size = 0;

  static FileStamp Of(const struct stat& status) {
    return {status.st_mtim.tv_sec, status.st_mtim.tv_nsec, status.st_size};
  }
  bool operator==(const FileStamp&) const = default;
};

// The bytes of the regular file at `path`, with the stamp of the version
// read in `*stamp` when it is not null; nullopt when the file is missing,
// unreadable, or not a regular file (opened without waiting, so a FIFO is
// refused, not waited for).
std::optional<std::string> ReadSiteFile(const std::filesystem::path& path, FileStamp* stamp = nullptr);

// Where the site path `path` (absolute, inside `root`; both lexically
// normal, `root` canonical) leads: the file or folder itself, links
// resolved, when it exists; else, as the file system of the sites these
// pages were written for did, the one whose path matches when letter case
// is ignored, component by component, each component taking the name
// that matches exactly when there is one. nullopt when nothing matches,
// when a component matches two names in different cases and neither
// exactly, or when the path or a link on the way leads out of the site.
// An exact hit lists no folder; the listings of the others are kept per
// process for as long as their folders do not change. Safe to call from
// several threads.
struct SiteFile {
  std::filesystem::path path;  // canonical
  bool byCase = false;         // found only by ignoring letter case
};
std::optional<SiteFile> FindSiteFile(const std::filesystem::path& root, const std::filesystem::path& path);

// The site path that `reference` names ('/' or '\' separated): from the
// root when it starts with a slash, else from the folder `folder`, which
// lies in `root`. Lexical: nullopt when ".." climbs above the root.
std::optional<std::filesystem::path> SitePath(const std::filesystem::path& root, const std::filesystem::path& folder,
                                              std::string_view reference);

}  // namespace kelvane::host
