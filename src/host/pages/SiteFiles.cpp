#include "host/pages/SiteFiles.h"

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <utility>
#include <vector>

#include "platform/oleaut/Dispatch.h"

namespace kelvane::host {

namespace {

namespace fs = std::filesystem;

// A folder's names as read at one version of the folder: pairs of the name
// folded to one case and the name itself, ordered by the folded name.
struct Listing {
  FileStamp stamp;
  std::vector<std::pair<std::string, std::string>> names;
};

// Folders listed at most at once; past it the listings start afresh.
constexpr std::size_t kMostListings = 4096;

std::mutex listingsMutex;
std::unordered_map<std::string, std::shared_ptr<const Listing>> listings;

// The names in `folder` as they are now; nullptr when it is no folder or
// cannot be read. A listing is read again once the folder's stamp changes.
std::shared_ptr<const Listing> ListingOf(const fs::path& folder) {
  struct stat status {};
  if (::stat(folder.c_str(), &status) != 0 || !S_ISDIR(status.st_mode)) return nullptr;
  const FileStamp stamp = FileStamp::Of(status);
  {
    const std::lock_guard lock(listingsMutex);
    const auto it = listings.find(folder.native());
    if (it != listings.end() && it->second->stamp == stamp) return it->second;
  }
  // The stamp is taken before the names are read: a change in between makes
  // the next lookup read them again.
  auto listing = std::make_shared<Listing>();
  listing->stamp = stamp;
  const std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(folder.c_str()), ::closedir);
  if (!dir) return nullptr;
  while (const dirent* entry = ::readdir(dir.get())) {
    const std::string_view name = entry->d_name;
    if (name != "." && name != "..") listing->names.emplace_back(oleaut::FoldCase(name), name);
  }
  std::sort(listing->names.begin(), listing->names.end());
  const std::lock_guard lock(listingsMutex);
  if (listings.size() >= kMostListings) listings.clear();
  listings[folder.native()] = listing;
  return listing;
}

// The one name in `folder` that is `name` when case is ignored; nullopt
// when there is none, or more than one.
std::optional<std::string> NameIgnoringCase(const fs::path& folder, const std::string& name) {
  const auto listing = ListingOf(folder);
  if (!listing) return std::nullopt;
  const std::string folded = oleaut::FoldCase(name);
  const auto first = std::lower_bound(listing->names.begin(), listing->names.end(), folded,
                                      [](const auto& entry, const std::string& key) { return entry.first < key; });
  if (first == listing->names.end() || first->first != folded) return std::nullopt;
  const auto next = std::next(first);
  if (next != listing->names.end() && next->first == folded) return std::nullopt;
  return first->second;
}

bool Exists(const fs::path& path) {
  struct stat status {};
  return ::stat(path.c_str(), &status) == 0;
}

// `path` with its links resolved, when that lies in `root`.
std::optional<fs::path> InsideSite(const fs::path& root, const fs::path& path) {
  std::error_code error;
  fs::path canonical = fs::canonical(path, error);
  if (error || !IsInside(root, canonical)) return std::nullopt;
  return canonical;
}

}  // namespace

std::optional<SiteFile> FindSiteFile(const fs::path& root, const fs::path& path) {
  if (Exists(path)) {
    auto exact = InsideSite(root, path);
    if (!exact) return std::nullopt;
    return SiteFile{*std::move(exact), false};
  }
  const fs::path relative = path.lexically_relative(root);
  if (relative.empty() || *relative.begin() == "..") return std::nullopt;
  fs::path found = root;
  for (const fs::path& part : relative) {
    if (part.empty() || part == ".") continue;
    fs::path next = found / part;
    if (!Exists(next)) {
      const auto name = NameIgnoringCase(found, part.native());
      if (!name) return std::nullopt;
      next = found / *name;
    }
    found = std::move(next);
  }
  auto byCase = InsideSite(root, found);
  if (!byCase) return std::nullopt;
  return SiteFile{*std::move(byCase), true};
}

std::optional<fs::path> SitePath(const fs::path& root, const fs::path& folder, std::string_view reference) {
  std::string joined(reference);
  std::replace(joined.begin(), joined.end(), '\\', '/');
  const bool fromRoot = !joined.empty() && joined.front() == '/';
  joined.erase(0, joined.find_first_not_of('/'));
  fs::path path = ((fromRoot ? root : folder) / joined).lexically_normal();
  const fs::path relative = path.lexically_relative(root);
  if (relative.empty() || *relative.begin() == "..") return std::nullopt;
  return path;
}

std::optional<std::string> ReadSiteFile(const std::filesystem::path& path, FileStamp* stamp) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  struct stat status {};
  std::optional<std::string> text;
  if (::fstat(fd, &status) == 0 && S_ISREG(status.st_mode)) {
    text.emplace();
    text->reserve(static_cast<std::size_t>(status.st_size));
    char buffer[16384];
    ssize_t n = 0;
    while ((n = ::read(fd, buffer, sizeof buffer)) != 0) {
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) {
        text.reset();
        break;
      }
      text->append(buffer, static_cast<std::size_t>(n));
    }
    if (text && stamp != nullptr) *stamp = FileStamp::Of(status);
  }
  ::close(fd);
  return text;
}

}  // namespace kelvane::host
