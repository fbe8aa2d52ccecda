#include "host/WorkingDirectory.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <string>
#include <string_view>
#include <system_error>

#include "component/Delivery.h"

namespace kelvane::host {

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kPrivatePrefix = "kelvane-";

[[noreturn]] void Fail(const char* what, const fs::path& path, int error = errno) {
  throw fs::filesystem_error(what, path, std::error_code(error, std::generic_category()));
}

// `path` opened as a folder, not through a link, to be locked; -1 when it
// cannot be.
int OpenFolder(const fs::path& path) {
  return ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
}

// The process that a private folder's name says made it:
// "kelvane-PID-XXXXXX"; nullopt for another name.
std::optional<pid_t> MakerOf(std::string_view name) {
  if (!name.starts_with(kPrivatePrefix)) return std::nullopt;
  name.remove_prefix(kPrivatePrefix.size());
  pid_t pid = 0;
  const char* const last = name.data() + name.size();
  const auto [end, error] = std::from_chars(name.data(), last, pid);
  const std::string_view rest(end, static_cast<std::size_t>(last - end));
  if (error != std::errc() || pid <= 0 || rest.size() != 7 || rest.front() != '-' ||
      !std::ranges::all_of(rest.substr(1), [](char c) { return std::isalnum(static_cast<unsigned char>(c)) != 0; }))
    return std::nullopt;
  return pid;
}

// Removes this user's private folders in `base` whose process is gone: no
// process has the number in its name, and none holds the folder's lock.
// The number alone may be one of another namespace's processes; the lock
// alone does not tell a folder left from one whose maker has not yet
// locked it. A number taken again by a new process keeps its folder until
// that process too has gone.
std::size_t RemoveForsakenFolders(const fs::path& base) {
  std::size_t removed = 0;
  try {
    for (const auto& entry : fs::directory_iterator(base)) {
      const auto maker = MakerOf(entry.path().filename().native());
      if (!maker || ::kill(*maker, 0) == 0 || errno != ESRCH) continue;
      const int folder = OpenFolder(entry.path());
      if (folder < 0) continue;
      struct stat status {};
      if (::fstat(folder, &status) == 0 && status.st_uid == ::geteuid() &&
          ::flock(folder, LOCK_EX | LOCK_NB) == 0) {
        std::error_code error;
        fs::remove_all(entry.path(), error);
        removed += error ? 0 : 1;
      }
      ::close(folder);
    }
  } catch (const fs::filesystem_error&) {
    // A base that cannot be read has nothing to remove.
  }
  return removed;
}

// Removes the files of deliveries in the current directory; only regular
// files with the names deliveries give them.
std::size_t RemoveDeliveryFiles() {
  std::size_t removed = 0;
  for (const auto& entry : fs::directory_iterator(".")) {
    std::error_code error;
    if (entry.symlink_status(error).type() == fs::file_type::regular &&
        component::IsTemporaryFileName(entry.path().filename().native()) && fs::remove(entry.path(), error))
      ++removed;
  }
  return removed;
}

}  // namespace

fs::path PrivateFolderBase() {
  const fs::path shared = "/dev/shm";
  std::error_code error;
  if (fs::is_directory(shared, error) && ::access(shared.c_str(), W_OK | X_OK) == 0) return shared;
  return fs::temp_directory_path();
}

WorkingDirectory::WorkingDirectory(const std::optional<fs::path>& given, const fs::path& privateBase) {
  removed_.folders = RemoveForsakenFolders(privateBase);
  if (given) {
    fs::current_path(*given);
    lock_ = OpenFolder(".");
    if (lock_ < 0) Fail("cannot open the working directory", *given);
    // Alone here: no other process of ours can be amid a delivery.
    if (::flock(lock_, LOCK_EX | LOCK_NB) == 0) removed_.deliveries = RemoveDeliveryFiles();
  } else {
    std::string pattern =
        (privateBase / (std::string(kPrivatePrefix) + std::to_string(::getpid()) + "-XXXXXX")).string();
    if (::mkdtemp(pattern.data()) == nullptr) Fail("cannot make a private working directory", pattern);
    made_ = pattern;
    lock_ = OpenFolder(made_);
    std::error_code error;
    if (lock_ >= 0) fs::current_path(made_, error);
    if (lock_ < 0 || error) {
      const int reason = lock_ < 0 ? errno : error.value();
      fs::remove_all(made_, error);
      if (lock_ >= 0) ::close(lock_);
      Fail("cannot enter the private working directory", made_, reason);
    }
  }
  // Shared by every process working here; an exclusive lock taken above
  // becomes shared.
  ::flock(lock_, LOCK_SH);
}

WorkingDirectory::~WorkingDirectory() {
  Remove();
  ::close(lock_);
}

void WorkingDirectory::Remove() noexcept {
  if (made_.empty()) return;
  std::error_code ignored;
  fs::current_path(fs::temp_directory_path(), ignored);
  fs::remove_all(made_, ignored);
  made_.clear();
}

}  // namespace kelvane::host
