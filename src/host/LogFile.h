#pragma once
// The file the access log is appended to. Reopen opens its path again once
// a log rotation has moved the file away, in place: a line being written
// on another thread at that moment goes whole to the old file or the new.

#include <filesystem>
#include <string>
#include <string_view>

namespace kelvane::host {

class LogFile {
 public:
  // Opens `path` for appending, made with mode 0640 when missing. Throws
  // std::system_error when it cannot.
  explicit LogFile(const std::filesystem::path& path);
  ~LogFile();
  LogFile(const LogFile&) = delete;
  LogFile& operator=(const LogFile&) = delete;

  // Appends `line` and a newline in one write; from any thread. A failed
  // write is lost.
  void Write(std::string_view line) const;

  // Opens the path again. Returns false, with the reason in `*error`, and
  // goes on with the file it had, when it cannot.
  bool Reopen(std::string* error);

 private:
  std::filesystem::path path_;
  int fd_;
};

}  // namespace kelvane::host
