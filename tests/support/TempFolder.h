#pragma once
// A folder of its own for a test's files, removed with everything in it
// when the test is done.

#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace kelvane {

class TempFolder {
 public:
  explicit TempFolder(const std::string& tag)
      : path_(std::filesystem::temp_directory_path() /
              ("kelvane-" + tag + "-" + std::to_string(::getpid()))) {
    std::filesystem::create_directories(path_);
  }
  ~TempFolder() { std::filesystem::remove_all(path_); }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const std::filesystem::path& Path() const { return path_; }

  // Writes `bytes` to the file `name` in the folder; answers its path.
  std::string File(const std::string& name, const std::vector<std::uint8_t>& bytes) const {
    const std::string path = (path_ / name).string();
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return path;
  }

 private:
  std::filesystem::path path_;
};

}  // namespace kelvane
