#pragma once
// The site's files as pages read them: where a file lies relative to the
// site, which version of it was read, and its bytes.

#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <optional>
#include <string>

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

}  // namespace kelvane::host
