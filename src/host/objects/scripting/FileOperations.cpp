#include "host/objects/scripting/FileOperations.h"

#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <memory>
#include <string>
#include <vector>

#include "host/objects/scripting/FileErrors.h"
#include "host/objects/scripting/PathNames.h"
#include "host/pages/FileReach.h"
#include "host/pages/PageDeadline.h"
#include "host/pages/SiteFiles.h"
#include "platform/oleaut/AutomationError.h"

namespace kelvane::host::scripting {

namespace {

using namespace oleaut;
namespace fs = std::filesystem;

// Bytes copied between two looks at the clock.
constexpr std::size_t kCopyStep = std::size_t{1} << 20;

enum class Kind { File, Folder };

bool Exists(const fs::path& path, Kind kind) {
  struct stat status {};
  if (::stat(path.c_str(), &status) != 0) return false;
  return kind == Kind::Folder ? S_ISDIR(status.st_mode) : !S_ISDIR(status.st_mode);
}

Missing MissingOf(Kind kind) { return kind == Kind::File ? Missing::File : Missing::Folder; }

[[noreturn]] void RaiseMissing(Kind kind) {
  RaiseRuntimeError(kind == Kind::File ? kFileNotFound : kPathNotFound);
}

// The folder part of `spec` as a page's path: the site's root for a bare name.
std::string FolderOf(std::string_view spec) {
  const std::string_view parent = ParentName(spec);
  return parent.empty() ? std::string(".") : std::string(parent);
}

}  // namespace

std::vector<FolderEntry> FolderEntries(const fs::path& folder) {
  const std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(folder.c_str()), ::closedir);
  if (!dir) RaiseFileError(errno, Missing::Folder);
  std::vector<FolderEntry> entries;
  DeadlineTicker<256> ticker;
  while (const dirent* entry = ::readdir(dir.get())) {
    ticker.Tick();
    const std::string_view name = entry->d_name;
    if (name == "." || name == "..") continue;
    const auto kind = entry->d_type == DT_REG   ? FolderEntry::File
                      : entry->d_type == DT_DIR ? FolderEntry::Folder
                                                : FolderEntry::Other;
    entries.push_back({std::string(name), kind});
  }
  return entries;
}

namespace {

// `spec` reached for `use`. Removing or renaming a file changes the folder
// that holds it, so writing needs that folder within reach too: a data
// folder itself stays where it is.
fs::path Reach(std::string_view spec, FileUse use) {
  fs::path path = ReachPath(spec, use);
  if (use == FileUse::Write) ReachPath(path.parent_path().native(), FileUse::Write);
  return path;
}

// Every `kind` that `spec` names, reached for `use`.
std::vector<fs::path> Sources(std::string_view spec, FileUse use, Kind kind) {
  const std::string_view pattern = LastName(spec);
  if (!HasWildcards(pattern)) {
    fs::path path = Reach(spec, use);
    if (!Exists(path, kind)) RaiseMissing(kind);
    return {std::move(path)};
  }
  const std::string folderName = FolderOf(spec);
  const fs::path folder = ReachPath(folderName, use);
  std::vector<fs::path> found;
  DeadlineTicker<256> ticker;
  for (const FolderEntry& entry : FolderEntries(folder)) {
    ticker.Tick();
    const std::string& name = entry.name;
    if (!MatchesWildcard(pattern, name)) continue;
    fs::path path = Reach(JoinPath(folderName, name), use);
    if (Exists(path, kind)) found.push_back(std::move(path));
  }
  if (found.empty()) RaiseMissing(kind);
  return found;
}

// Where each source goes: into the folder `destination`, or to it as a name.
fs::path Target(const fs::path& source, std::string_view destination, bool intoFolder) {
  if (!intoFolder) return ReachPath(destination, FileUse::Write);
  return ReachPath(JoinPath(destination, source.filename().native()), FileUse::Write);
}

// Whether `destination` takes the sources into it as a folder, which must
// then exist.
bool IntoFolder(std::string_view source, std::string_view destination) {
  const bool into = HasWildcards(LastName(source)) ||
                    (!destination.empty() && (destination.back() == '\\' || destination.back() == '/'));
  if (into && !IsFolder(ReachPath(destination, FileUse::Write))) RaiseRuntimeError(kPathNotFound);
  return into;
}

struct Descriptor {
  int fd;
  ~Descriptor() {
    if (fd >= 0) ::close(fd);
  }
};

// A file made beside its final place, removed unless it gets there.
struct TemporaryFile {
  std::string path;
  Descriptor file{-1};
  bool kept = false;
  ~TemporaryFile() {
    if (!kept && !path.empty()) ::unlink(path.c_str());
  }
};

void CopyBytes(int from, int to) {
  for (;;) {
    CheckDeadline();
    ssize_t copied = ::copy_file_range(from, nullptr, to, nullptr, kCopyStep, 0);
    if (copied < 0 && (errno == EXDEV || errno == ENOSYS || errno == EINVAL || errno == EOPNOTSUPP)) {
      std::string buffer(64 * 1024, '\0');
      copied = ::read(from, buffer.data(), buffer.size());
      for (ssize_t written = 0; copied > 0 && written < copied;) {
        const ssize_t step = ::write(to, buffer.data() + written, static_cast<std::size_t>(copied - written));
        if (step < 0) RaiseFileError(errno);
        written += step;
      }
    }
    if (copied < 0 && errno == EINTR) continue;
    if (copied < 0) RaiseFileError(errno);
    if (copied == 0) return;
  }
}

// Renames `from` to `to`, never over an existing file.
void RenameNew(const fs::path& from, const fs::path& to) {
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return;
  if (errno != EINVAL) RaiseFileError(errno);
  // A file system without the flag: a link cannot replace a file either.
  if (::link(from.c_str(), to.c_str()) != 0) RaiseFileError(errno);
  ::unlink(from.c_str());
}

void CopyOne(const fs::path& from, const fs::path& to, bool overwrite) {
  struct stat existing {};
  if (::stat(to.c_str(), &existing) == 0) {
    if (!overwrite) RaiseRuntimeError(kFileAlreadyExists);
    // A folder is never replaced by a file.
    if (S_ISDIR(existing.st_mode) || IsReadOnlyMode(existing.st_mode)) RaiseRuntimeError(kPermissionDenied);
  }
  const Descriptor source{::open(from.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY)};
  if (source.fd < 0) RaiseFileError(errno);
  struct stat status {};
  if (::fstat(source.fd, &status) != 0) RaiseFileError(errno);
  if (!S_ISREG(status.st_mode)) RaiseRuntimeError(kPermissionDenied);
  TemporaryFile copy;
  copy.path = (to.parent_path() / ".kelvane-copy-XXXXXX").native();
  copy.file.fd = ::mkostemp(copy.path.data(), O_CLOEXEC);
  if (copy.file.fd < 0) {
    const int error = errno;
    copy.path.clear();
    RaiseFileError(error, Missing::Folder);
  }
  CopyBytes(source.fd, copy.file.fd);
  ::fchmod(copy.file.fd, status.st_mode & 07777);
  if (overwrite) {
    if (::rename(copy.path.c_str(), to.c_str()) != 0) RaiseFileError(errno);
  } else {
    RenameNew(copy.path, to);
  }
  copy.kept = true;
}

// Copies the folder `from` to `to` (both reached), making it where it is
// missing; each name in it is reached in turn.
void CopyTree(const fs::path& from, const fs::path& to, bool overwrite) {
  if (::mkdir(to.c_str(), 0777) != 0 && errno != EEXIST) RaiseFileError(errno, Missing::Folder);
  if (!IsFolder(to)) RaiseRuntimeError(kFileAlreadyExists);
  for (const FolderEntry& entry : FolderEntries(from)) {
    CheckDeadline();
    const fs::path source = ReachPath((from / entry.name).native(), FileUse::Read);
    const fs::path target = ReachPath((to / entry.name).native(), FileUse::Write);
    if (IsFolder(source)) CopyTree(source, target, overwrite);
    else CopyOne(source, target, overwrite);
  }
}

void MoveOne(const fs::path& from, const fs::path& to, Kind kind) {
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return;
  if (errno == EXDEV && kind == Kind::File) {
    CopyOne(from, to, false);
    if (::unlink(from.c_str()) != 0) RaiseFileError(errno);
    return;
  }
  if (errno == EINVAL && kind == Kind::File) return RenameNew(from, to);
  RaiseFileError(errno, MissingOf(kind));
}

// The sources `source` names with where each goes.
std::vector<std::pair<fs::path, fs::path>> Plan(std::string_view source, std::string_view destination, FileUse use,
                                                Kind kind) {
  const bool into = IntoFolder(source, destination);
  std::vector<std::pair<fs::path, fs::path>> plan;
  for (fs::path& from : Sources(source, use, kind)) {
    fs::path to = Target(from, destination, into);
    plan.emplace_back(std::move(from), std::move(to));
  }
  return plan;
}

std::vector<fs::path> Move(std::string_view source, std::string_view destination, Kind kind) {
  std::vector<fs::path> targets;
  for (auto& [from, to] : Plan(source, destination, FileUse::Write, kind)) {
    MoveOne(from, to, kind);
    targets.push_back(std::move(to));
  }
  return targets;
}

void RemoveFile(const fs::path& path, bool force) {
  struct stat status {};
  if (::lstat(path.c_str(), &status) != 0) RaiseFileError(errno);
  if (!force && !S_ISLNK(status.st_mode) && IsReadOnlyMode(status.st_mode)) RaiseRuntimeError(kPermissionDenied);
  if (::unlink(path.c_str()) != 0) RaiseFileError(errno);
}

void RemoveTree(const fs::path& folder, bool force) {
  for (const FolderEntry& entry : FolderEntries(folder)) {
    CheckDeadline();
    const fs::path path = folder / entry.name;
    struct stat status {};
    if (::lstat(path.c_str(), &status) != 0) continue;
    if (S_ISDIR(status.st_mode)) RemoveTree(path, force);
    else RemoveFile(path, force);
  }
  if (::rmdir(folder.c_str()) != 0) RaiseFileError(errno, Missing::Folder);
}

}  // namespace

bool IsFile(const fs::path& path) { return Exists(path, Kind::File); }
bool IsFolder(const fs::path& path) { return Exists(path, Kind::Folder); }

bool IsReadOnlyMode(unsigned mode) { return (mode & 0222) == 0; }

std::vector<fs::path> CopyFiles(std::string_view source, std::string_view destination, bool overwrite) {
  std::vector<fs::path> targets;
  for (auto& [from, to] : Plan(source, destination, FileUse::Read, Kind::File)) {
    CopyOne(from, to, overwrite);
    targets.push_back(std::move(to));
  }
  return targets;
}

void CopyFolders(std::string_view source, std::string_view destination, bool overwrite) {
  for (const auto& [from, to] : Plan(source, destination, FileUse::Read, Kind::Folder)) {
    if (IsInside(from, to)) RaiseRuntimeError(kPermissionDenied);
    CopyTree(from, to, overwrite);
  }
}

std::vector<fs::path> MoveFiles(std::string_view source, std::string_view destination) {
  return Move(source, destination, Kind::File);
}

std::vector<fs::path> MoveFolders(std::string_view source, std::string_view destination) {
  return Move(source, destination, Kind::Folder);
}

void DeleteFiles(std::string_view spec, bool force) {
  for (const fs::path& path : Sources(spec, FileUse::Write, Kind::File)) RemoveFile(path, force);
}

void DeleteFolders(std::string_view spec, bool force) {
  for (const fs::path& path : Sources(spec, FileUse::Write, Kind::Folder)) RemoveTree(path, force);
}

fs::path CreateFolder(std::string_view path) {
  fs::path folder = ReachPath(path, FileUse::Write);
  if (::mkdir(folder.c_str(), 0777) != 0) RaiseFileError(errno, Missing::Folder);
  return folder;
}

}  // namespace kelvane::host::scripting
