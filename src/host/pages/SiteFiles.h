#pragma once
// Where a file lies relative to the site.

#include <algorithm>
#include <filesystem>

namespace kelvane::host {

// True when `path` lies in `root` (or is it); both canonical.
inline bool IsInside(const std::filesystem::path& root, const std::filesystem::path& path) {
  const auto [rootEnd, pathEnd] = std::mismatch(root.begin(), root.end(), path.begin(), path.end());
  return rootEnd == root.end();
}

}  // namespace kelvane::host
