#include "host/objects/adodb/StreamFiles.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "host/objects/adodb/AdoErrors.h"
#include "host/pages/FileReach.h"
#include "platform/files/WholeFile.h"

namespace kelvane::host::adodb {

namespace {

namespace fs = std::filesystem;

// A new file's permissions: readable by all, as the site's files are.
constexpr mode_t kNewFileMode = 0644;

// A file being written under a hidden name of its own, removed unless it is
// given its real name.
class PartialFile {
 public:
  explicit PartialFile(const fs::path& beside)
      : name_((beside.parent_path() / ("." + beside.filename().string() + ".XXXXXX")).string()),
        fd_(::mkostemp(name_.data(), O_CLOEXEC)) {
    if (fd_.get() < 0) RaiseAdo(kWriteFile, "ADODB.Stream");
  }
  ~PartialFile() {
    if (!named_) ::unlink(name_.c_str());
  }
  PartialFile(const PartialFile&) = delete;
  PartialFile& operator=(const PartialFile&) = delete;

  bool Write(std::string_view bytes) {
    while (!bytes.empty()) {
      const ssize_t written = ::write(fd_.get(), bytes.data(), bytes.size());
      if (written < 0 && errno == EINTR) continue;
      if (written <= 0) return false;
      bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
  }
  bool Finish(mode_t mode) { return ::fchmod(fd_.get(), mode) == 0 && fd_.Close(); }

  // Gives the file the name `path`: in place of a file there when
  // `replace`, else only where none is (an atomic check).
  bool Name(const fs::path& path, bool replace) {
    if (replace) {
      named_ = ::rename(name_.c_str(), path.c_str()) == 0;
      return named_;
    }
    return ::link(name_.c_str(), path.c_str()) == 0;
  }

 private:
  std::string name_;
  files::FileDescriptor fd_;
  bool named_ = false;
};

}  // namespace

std::string ReadStreamFile(std::string_view name) {
  const fs::path path = ReachPath(name, FileUse::Read);
  std::string bytes;
  if (files::ReadWholeFile(path.c_str(), kMostStreamBytes, bytes) != files::ReadFailure::None)
    RaiseAdo(kOpeningFile, "ADODB.Stream");
  return bytes;
}

void WriteStreamFile(std::string_view name, std::string_view bytes, bool overwrite) {
  const fs::path path = ReachPath(name, FileUse::Write);
  // A replaced file keeps its permissions.
  struct stat existing {};
  const mode_t mode = ::stat(path.c_str(), &existing) == 0 ? existing.st_mode & 07777 : kNewFileMode;
  PartialFile file(path);
  if (!file.Write(bytes) || !file.Finish(mode) || !file.Name(path, overwrite)) RaiseAdo(kWriteFile, "ADODB.Stream");
}

}  // namespace kelvane::host::adodb
