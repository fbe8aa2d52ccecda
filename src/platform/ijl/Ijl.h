#pragma once
// The JPEG library's calls and record, over libjpeg-turbo's TurboJPEG API.
// One record is one library instance: ijlInit makes it, ijlFree releases it.
// ijlWrite with IJL_JFILE_WRITEWHOLEIMAGE encodes the DIB fields' pixels,
// read in place without a copy, to a baseline JFIF file at quality jquality
// with 4:4:4 sampling.

#include <cstdint>

namespace kelvane::ijl {

// Result codes: 0 is success, every failure its own negative code.
enum IJLERR : int {
  IJL_OK = 0,
  IJL_INVALID_JPEG_PROPERTIES = -1,  // no record given
  IJL_NOT_INITIALISED = -2,          // the record holds no library instance
  IJL_UNSUPPORTED_IOTYPE = -3,       // an I/O type other than IJL_JFILE_WRITEWHOLEIMAGE
  IJL_INVALID_DIB = -4,              // no pixels, a width of 0 or below, a height of 0, JPG and
                                     // DIB sizes that differ, a negative pad, channels other
                                     // than 3, a colour other than BGR, a row beyond int
  IJL_INVALID_QUALITY = -5,          // jquality outside 1 to 100
  IJL_INVALID_FILENAME = -6,         // no file name
  IJL_ENCODE_ERROR = -7,             // the encoder failed (for want of memory too)
  IJL_FILE_ERROR = -8,               // the file could not be created or written in full
  IJL_MEMORY_ERROR = -9,             // no memory for the instance
};

enum IJLIOTYPE : int {
  IJL_JFILE_WRITEWHOLEIMAGE = 8,
};

enum IJL_COLOR : int {
  IJL_RGB = 1,
  IJL_BGR = 2,
  IJL_YCBCR = 3,
};

// The record. Zero it, then ijlInit fills the defaults (3 channels, blue-
// green-red DIB pixels, YCbCr JPEG, quality 75); the caller sets the rest.
struct JPEG_CORE_PROPERTIES {
  const std::uint8_t* DIBBytes;  // first byte of the first row in memory
  std::int32_t DIBWidth;         // pixels
  std::int32_t DIBHeight;        // pixels; negative: rows stored bottom-up
  std::int32_t DIBPadBytes;      // bytes after each row's pixels
  std::int32_t DIBChannels;
  IJL_COLOR DIBColor;
  const char* JPGFile;           // zero-terminated UTF-8 file name
  std::int32_t JPGWidth;
  std::int32_t JPGHeight;
  std::int32_t JPGChannels;      // the file is always 3-channel YCbCr: these
  IJL_COLOR JPGColor;            // two are set by ijlInit and not read
  std::int32_t jquality;         // 1 to 100
  void* instance;                // the library instance; set by ijlInit
};

// Makes the instance (releasing one the record already held) and fills the
// defaults; IJL_MEMORY_ERROR, with no instance, when it cannot be made.
IJLERR ijlInit(JPEG_CORE_PROPERTIES* record);
// Writes a new file named by JPGFile, mode 0666 less the umask, made
// exclusively, or fills an existing empty regular file of that name that
// has no other name (it holds nothing to lose). Any other name that is taken
// (by a file, a folder or a symbolic link) fails with IJL_FILE_ERROR and is
// left as it was, so whoever replaces a file writes a new name and renames
// it into place. On failure a new file is removed, an empty one emptied.
IJLERR ijlWrite(JPEG_CORE_PROPERTIES* record, IJLIOTYPE ioType);
// Releases the instance; IJL_OK also when the record held none.
IJLERR ijlFree(JPEG_CORE_PROPERTIES* record);

}  // namespace kelvane::ijl
