#include "host/pages/FileReach.h"

#include <sys/stat.h>

#include <algorithm>
#include <stdexcept>
#include <string>
#include <utility>

#include "host/pages/SiteFiles.h"
#include "platform/oleaut/AutomationError.h"

namespace kelvane::host {

namespace {

namespace fs = std::filesystem;

thread_local const FileReachScope* current = nullptr;

[[noreturn]] void Refuse() { oleaut::RaiseRuntimeError(oleaut::kPermissionDenied); }

// The file `path` (absolute, lexically normal) names, links resolved and
// letter case found: the file itself when it exists, else the deepest
// folder on its way that exists, with the names after it as given.
// nullopt when a name after that folder exists all the same: a link that
// leads nowhere, or a name that two files match in different cases.
std::optional<fs::path> Resolve(const fs::path& path) {
  static const fs::path top("/");
  if (auto found = FindSiteFile(top, path)) return std::move(found->path);
  fs::path folder = path;
  fs::path rest;
  while (folder != top) {
    rest = rest.empty() ? folder.filename() : folder.filename() / rest;
    folder = folder.parent_path();
    if (auto found = FindSiteFile(top, folder)) {
      struct stat status {};
      const fs::path next = found->path / *rest.begin();
      if (::lstat(next.c_str(), &status) == 0) return std::nullopt;
      return found->path / rest;
    }
  }
  return std::nullopt;
}

}  // namespace

FileReachScope::FileReachScope(fs::path root, std::span<const fs::path> dataFolders)
    : previous_(current), root_(std::move(root)), dataFolders_(dataFolders.begin(), dataFolders.end()) {
  current = this;
}

FileReachScope::~FileReachScope() { current = previous_; }

fs::path ReachPath(std::string_view path, FileUse use) {
  if (!current || path.empty() || path.find('\0') != std::string_view::npos) Refuse();
  std::string text(path);
  std::replace(text.begin(), text.end(), '\\', '/');
  const auto found = Resolve((current->root_ / text).lexically_normal());
  if (!found) Refuse();
  for (const fs::path& folder : current->dataFolders_)
    if (IsInside(folder, *found)) return *found;
  if (use == FileUse::Read && IsInside(current->root_, *found)) return *found;
  Refuse();
}

std::vector<fs::path> DataFolders(std::string_view text) {
  std::vector<fs::path> folders;
  while (!text.empty()) {
    const auto comma = text.find(',');
    std::string_view item = text.substr(0, comma);
    text = comma == std::string_view::npos ? std::string_view{} : text.substr(comma + 1);
    const auto first = item.find_first_not_of(" \t");
    if (first == std::string_view::npos) continue;
    item = item.substr(first, item.find_last_not_of(" \t") - first + 1);
    const fs::path folder(item);
    if (!folder.is_absolute()) throw std::invalid_argument("a data folder must be an absolute path: " + folder.string());
    folders.push_back(fs::weakly_canonical(folder));
  }
  return folders;
}

}  // namespace kelvane::host
