#include "host/LogFile.h"

#include <fcntl.h>
#include <sys/uio.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <system_error>

namespace kelvane::host {

namespace {

int OpenForAppending(const std::filesystem::path& path) {
  return ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0640);
}

}  // namespace

LogFile::LogFile(const std::filesystem::path& path)
    : path_(std::filesystem::absolute(path)), fd_(OpenForAppending(path_)) {
  if (fd_ < 0)
    throw std::system_error(errno, std::generic_category(), "cannot open " + path_.string());
}

LogFile::~LogFile() { ::close(fd_); }

void LogFile::Write(std::string_view line) const {
  char newline = '\n';
  const iovec parts[2] = {{const_cast<char*>(line.data()), line.size()}, {&newline, 1}};
  while (::writev(fd_, parts, 2) < 0 && errno == EINTR) {
  }
}

bool LogFile::Reopen(std::string* error) {
  const int fresh = OpenForAppending(path_);
  // dup3 puts the new file in place of the old under the same descriptor
  // at once, so that no writer ever holds a closed one.
  if (fresh < 0 || ::dup3(fresh, fd_, O_CLOEXEC) < 0) {
    if (error) *error = "cannot reopen " + path_.string() + ": " + std::strerror(errno);
    if (fresh >= 0) ::close(fresh);
    return false;
  }
  ::close(fresh);
  return true;
}

}  // namespace kelvane::host
