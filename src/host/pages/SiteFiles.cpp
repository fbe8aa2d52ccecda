#include "host/pages/SiteFiles.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

namespace kelvane::host {

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
