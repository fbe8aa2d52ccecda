#pragma once
// The runtime's picture loader.

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>

#include "platform/picture/Picture.h"

namespace kelvane::picture {

class PictureCache;

// Reads a BMP, GIF, JPEG or PNG file, told apart by its content, into a new
// picture. The empty name gives an empty picture (handle 0). Raises 53 "File
// not found" for a missing file, 75 "Path/File access error" for one that
// cannot be read, 481 "Invalid picture" for anything else that is not such
// a picture: damaged, of another format, or beyond the pixel limits, and 7
// "Out of memory" when memory runs out. Anything but a regular file (a
// folder, a FIFO, a device) gives 75 without being opened for reading. A
// relative name resolves against the calling thread's picture folder (see
// PictureFolderScope), or else the working directory.
//
// A file is decoded once while it stays the same file in the same version
// (PictureCache.h): later loads open it and check its status, so that a
// missing, unreadable or changed file is noticed as before, and share the
// decoded pixels, which nothing may draw on.
PictureRef LoadPicture(const std::string& fileName);
// The same, keeping decoded pictures in `cache` instead of the process's.
PictureRef LoadPicture(const std::string& fileName, PictureCache& cache);

// Finds the file that the relative name `name` means in `folder`.
using PictureFinder = std::filesystem::path (*)(const std::filesystem::path& folder, const std::filesystem::path& name);

// Makes `folder` the calling thread's picture folder until destroyed: a page
// host points it at its site, whatever the process's working directory is.
// `find`, when given, finds relative names in it (a site that ignores
// letter case); otherwise they are joined to it.
class PictureFolderScope {
 public:
  explicit PictureFolderScope(const std::filesystem::path& folder, PictureFinder find = nullptr);
  ~PictureFolderScope();
  PictureFolderScope(const PictureFolderScope&) = delete;
  PictureFolderScope& operator=(const PictureFolderScope&) = delete;

 private:
  const std::filesystem::path* previous_;
  PictureFinder previousFinder_;
};

// Decodes a picture file held in memory; 481 when it is none.
PictureRef LoadPictureFromMemory(std::span<const std::uint8_t> file);

}  // namespace kelvane::picture
