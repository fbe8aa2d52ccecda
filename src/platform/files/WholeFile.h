#pragma once
// A file read whole, once: whoever reads it then sees one consistent set of
// bytes even when the file changes meanwhile.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <utility>

namespace kelvane::files {

// A file descriptor, closed when destroyed.
class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) : fd_(fd) {}
  ~FileDescriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  int get() const { return fd_; }
  // Closes now, telling whether all that was written reached the file.
  bool Close() { return ::close(std::exchange(fd_, -1)) == 0; }

 private:
  int fd_;
};

enum class ReadFailure { None, Missing, Unreadable, TooLarge };

// Reads the regular file `path` into `bytes` (a string or a vector of
// bytes), when it holds at most `limit` bytes. Opening does not wait for a
// writer, so a FIFO is refused (Unreadable) like any other file that is not
// regular; Missing where the file or a folder on its way is not there.
template <class Bytes>
ReadFailure ReadWholeFile(const char* path, std::uintmax_t limit, Bytes& bytes) {
  const FileDescriptor file(::open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
  if (file.get() < 0) return errno == ENOENT || errno == ENOTDIR ? ReadFailure::Missing : ReadFailure::Unreadable;
  struct stat status {};
  if (::fstat(file.get(), &status) != 0 || !S_ISREG(status.st_mode)) return ReadFailure::Unreadable;
  if (static_cast<std::uintmax_t>(status.st_size) > limit) return ReadFailure::TooLarge;
  bytes.resize(static_cast<std::size_t>(status.st_size));
  std::size_t filled = 0;
  while (filled < bytes.size()) {
    const ssize_t got = ::read(file.get(), bytes.data() + filled, bytes.size() - filled);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return ReadFailure::Unreadable;
    if (got == 0) break;  // the file shrank meanwhile
    filled += static_cast<std::size_t>(got);
  }
  bytes.resize(filled);
  return ReadFailure::None;
}

}  // namespace kelvane::files
