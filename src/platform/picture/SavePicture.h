#pragma once
// The runtime's picture saver.

#include <string>

#include "platform/picture/Picture.h"

namespace kelvane::picture {

// Writes the picture's bitmap to `fileName` as a Windows bitmap file: 24 bits
// a pixel, BI_RGB, rows bottom-up, a 14-byte file header and a 40-byte info
// header. The file is created (mode 0666 less the umask) or truncated, never
// through a symbolic link. Raises 481 "Invalid picture" for a picture without
// a bitmap and 75 "Path/File access error" when the file cannot be written
// in full.
void SavePicture(const PictureRef& picture, const std::string& fileName);

}  // namespace kelvane::picture
