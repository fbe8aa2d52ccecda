#pragma once
// The working directory of a `kelvane` command, where deliveries put their
// temporary files: the one given, or else a private folder made for the run
// and removed at its end.
//
// A process that ends without cleaning up (SIGKILL, a crash) leaves the
// files of the deliveries it was making, or its whole private folder. So at
// start, the files of deliveries left in the given directory are removed,
// unless another of our processes works there, and so are the private
// folders whose process is gone. Each process holds a lock on its working
// directory for as long as it runs: a lock ends with its process, however
// that ends, and holds across process namespaces where a process number
// does not.

#include <cstddef>
#include <filesystem>
#include <optional>

namespace kelvane::host {

// Where private working folders are made: in memory (/dev/shm) where the
// system has it, since every delivery makes and deletes a file there, and a
// disk file system pays for each; else the temporary folder.
std::filesystem::path PrivateFolderBase();

class WorkingDirectory {
 public:
  // Makes `given` the current directory, or else a new private folder in
  // `privateBase`, named "kelvane-PID-XXXXXX". Throws
  // std::filesystem::filesystem_error when it cannot.
  explicit WorkingDirectory(const std::optional<std::filesystem::path>& given,
                            const std::filesystem::path& privateBase = PrivateFolderBase());
  // Removes the private folder, if one was made, leaving it first.
  ~WorkingDirectory();
  WorkingDirectory(const WorkingDirectory&) = delete;
  WorkingDirectory& operator=(const WorkingDirectory&) = delete;

  // What earlier processes had left and this one removed at start.
  struct Leftovers {
    std::size_t deliveries = 0;  // files of deliveries in the given directory
    std::size_t folders = 0;     // private folders
  };
  const Leftovers& Removed() const { return removed_; }

  // Removes the private folder, if one was made, leaving it first; again
  // and again if called so.
  void Remove() noexcept;

 private:
  std::filesystem::path made_;
  int lock_ = -1;  // the working directory, open, and locked
  Leftovers removed_;
};

}  // namespace kelvane::host
