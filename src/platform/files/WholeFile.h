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
  explicit FileDescriptor(int fd = -1) : fd_(fd) {}
  ~FileDescriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  FileDescriptor(FileDescriptor&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
  FileDescriptor& operator=(FileDescriptor&& other) noexcept {
    if (this != &other) {
      if (fd_ >= 0) ::close(fd_);
      fd_ = std::exchange(other.fd_, -1);
    }
    return *this;
  }
  int get() const { return fd_; }
  // Closes now, telling whether all that was written reached the file.
  bool Close() { return ::close(std::exchange(fd_, -1)) == 0; }

 private:
  int fd_;
};

enum class ReadFailure { None, Missing, Unreadable, TooLarge };

// Opens the regular file `path` for reading into `file`, its status in
// `status`. Opening does not wait for a writer, so a FIFO is refused
// (Unreadable) like any other file that is not regular; Missing where the
// file or a folder on its way is not there.
inline ReadFailure OpenRegularFile(const char* path, FileDescriptor& file, struct stat& status) {
  const int fd = ::open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) return errno == ENOENT || errno == ENOTDIR ? ReadFailure::Missing : ReadFailure::Unreadable;
  file = FileDescriptor(fd);
  if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) return ReadFailure::Unreadable;
  return ReadFailure::None;
}

// Reads `file`, opened by OpenRegularFile with `status`, into `bytes` (a
// string or a vector of bytes), when it holds at most `limit` bytes.
template <class Bytes>
ReadFailure ReadOpenFile(const FileDescriptor& file, const struct stat& status, std::uintmax_t limit,
                         Bytes& bytes) {
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

// Reads the regular file `path` into `bytes`, when it holds at most `limit`
// bytes: OpenRegularFile, then ReadOpenFile.
template <class Bytes>
ReadFailure ReadWholeFile(const char* path, std::uintmax_t limit, Bytes& bytes) {
  FileDescriptor file;
  struct stat status {};
  const ReadFailure failure = OpenRegularFile(path, file, status);
  return failure != ReadFailure::None ? failure : ReadOpenFile(file, status, limit, bytes);
}

}  // namespace kelvane::files
