#pragma once
// Where the page running on the calling thread may reach files by their
// own paths (the FileSystemObject, a stream's files, a database file): it
// reads inside the site and the data folders, and writes only inside the
// data folders.

#include <filesystem>
#include <span>
#include <string_view>
#include <vector>

namespace kelvane::host {

enum class FileUse { Read, Write };

// Gives the calling thread's pages the site `root` and the folders
// `dataFolders` (all canonical; copied) until destroyed; scopes nest, and
// the innermost holds. Outside any scope nothing can be reached.
class FileReachScope {
 public:
  FileReachScope(std::filesystem::path root, std::span<const std::filesystem::path> dataFolders);
  ~FileReachScope();
  FileReachScope(const FileReachScope&) = delete;
  FileReachScope& operator=(const FileReachScope&) = delete;

 private:
  const FileReachScope* previous_;
  std::filesystem::path root_;
  std::vector<std::filesystem::path> dataFolders_;

  friend std::filesystem::path ReachPath(std::string_view path, FileUse use);
};

// The file or folder that `path` names, for `use`: '\' is taken as '/', a
// relative path starts at the site's root. Where the file exists, the path
// has its links resolved and the letter case found on disk (the exact name
// preferred, as for includes); where it does not, the path of the folder
// that would hold it, found the same way, with the last names as given.
// Raises 70 "Permission denied" when the file lies, or a link on the way
// leads, outside where `use` may reach, and for a path holding a NUL.
std::filesystem::path ReachPath(std::string_view path, FileUse use);

// The data folders as an option gives them: absolute paths separated by
// commas; each made canonical as far as it exists. Empty for an empty
// text. Throws std::invalid_argument naming a relative path.
std::vector<std::filesystem::path> DataFolders(std::string_view text);

}  // namespace kelvane::host
