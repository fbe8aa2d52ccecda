#include "platform/ijl/Ijl.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <turbojpeg.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <limits>
#include <memory>
#include <optional>
#include <span>
#include <utility>

namespace kelvane::ijl {
namespace {

// Bytes from the start of one DIB row to the next: three per pixel plus the
// pad. Empty when that does not fit the encoder's int.
std::optional<int> RowPitch(std::int32_t width, std::int32_t padBytes) {
  const std::int64_t pitch = std::int64_t{3} * width + padBytes;
  if (pitch > std::numeric_limits<int>::max()) return std::nullopt;
  return static_cast<int>(pitch);
}

// The row pitch of a DIB the encoder can read as it stands: 24-bit blue-green-
// red pixels, sizes above 0 that match the JPEG's. Empty for any other DIB.
std::optional<int> DibPitch(const JPEG_CORE_PROPERTIES& record) {
  const std::int64_t height = record.DIBHeight < 0 ? -std::int64_t{record.DIBHeight}
                                                   : std::int64_t{record.DIBHeight};
  const bool valid = record.DIBBytes != nullptr && record.DIBWidth > 0 && height > 0 &&
                     record.DIBPadBytes >= 0 && record.JPGWidth == record.DIBWidth &&
                     record.JPGHeight == height && record.DIBChannels == 3 &&
                     record.DIBColor == IJL_BGR;
  if (!valid) return std::nullopt;
  return RowPitch(record.DIBWidth, record.DIBPadBytes);
}

struct TurboFree {
  void operator()(unsigned char* bytes) const { tjFree(bytes); }
};
using EncodedBytes = std::unique_ptr<unsigned char, TurboFree>;

// Owns an open file descriptor; Close reports what the system said, the
// destructor closes whatever is still open.
class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) : fd_(fd) {}
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  ~FileDescriptor() {
    if (fd_ >= 0) ::close(fd_);
  }

  int get() const { return fd_; }
  int Release() { return std::exchange(fd_, -1); }

  // Closes now; false when the system reports the written bytes lost.
  bool Close() { return ::close(std::exchange(fd_, -1)) == 0; }

 private:
  int fd_;
};

// Writes every byte, going on after interruptions and short writes.
bool WriteAll(int fd, std::span<const unsigned char> bytes) {
  while (!bytes.empty()) {
    const ssize_t written = ::write(fd, bytes.data(), bytes.size());
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    bytes = bytes.subspan(static_cast<std::size_t>(written));
  }
  return true;
}

// An existing file that may be filled in place, open for writing: a regular
// file, not a symbolic link, empty, and known by this one name, so that
// writing it changes nothing anyone had. -1 for any other.
int OpenEmptyFile(const char* name) {
  FileDescriptor file(::open(name, O_WRONLY | O_NOFOLLOW | O_CLOEXEC));
  struct stat status {};
  if (file.get() < 0 || ::fstat(file.get(), &status) != 0 || !S_ISREG(status.st_mode) ||
      status.st_size != 0 || status.st_nlink != 1)
    return -1;
  return file.Release();
}

// Puts bytes in a new file of that name, mode 0666 less the umask, made
// exclusively, or in an empty one of that name (see OpenEmptyFile); any
// other name that is taken, by a symbolic link too, is refused and left
// alone. On failure a new file is removed and an empty one emptied again.
bool WriteFile(const char* name, std::span<const unsigned char> bytes) {
  int fd = ::open(name, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
  const bool made = fd >= 0;
  if (!made && errno == EEXIST) fd = OpenEmptyFile(name);
  FileDescriptor file(fd);
  if (file.get() < 0) return false;
  const bool written = WriteAll(file.get(), bytes);
  if (!written && !made) [[maybe_unused]] const int emptied = ::ftruncate(file.get(), 0);
  const bool complete = file.Close() && written;
  if (!complete && made) ::unlink(name);
  return complete;
}

}  // namespace

IJLERR ijlInit(JPEG_CORE_PROPERTIES* record) {
  if (record == nullptr) return IJL_INVALID_JPEG_PROPERTIES;
  if (record->instance != nullptr) tjDestroy(std::exchange(record->instance, nullptr));
  record->instance = tjInitCompress();
  if (record->instance == nullptr) return IJL_MEMORY_ERROR;
  record->DIBChannels = 3;
  record->DIBColor = IJL_BGR;
  record->JPGChannels = 3;
  record->JPGColor = IJL_YCBCR;
  record->jquality = 75;
  return IJL_OK;
}

IJLERR ijlWrite(JPEG_CORE_PROPERTIES* record, IJLIOTYPE ioType) {
  if (record == nullptr) return IJL_INVALID_JPEG_PROPERTIES;
  if (record->instance == nullptr) return IJL_NOT_INITIALISED;
  if (ioType != IJL_JFILE_WRITEWHOLEIMAGE) return IJL_UNSUPPORTED_IOTYPE;
  const std::optional<int> pitch = DibPitch(*record);
  if (!pitch) return IJL_INVALID_DIB;
  if (record->jquality < 1 || record->jquality > 100) return IJL_INVALID_QUALITY;
  if (record->JPGFile == nullptr || record->JPGFile[0] == '\0') return IJL_INVALID_FILENAME;

  // The encoder reads the DIB's rows in place; a negative height means the
  // first row in memory is the bottom line of the picture.
  unsigned char* encoded = nullptr;
  unsigned long size = 0;
  const int flags = record->DIBHeight < 0 ? TJFLAG_BOTTOMUP : 0;
  const int result = tjCompress2(record->instance, record->DIBBytes, record->DIBWidth, *pitch,
                                 record->JPGHeight, TJPF_BGR, &encoded, &size, TJSAMP_444,
                                 record->jquality, flags);
  const EncodedBytes bytes(encoded);
  if (result != 0) return IJL_ENCODE_ERROR;
  return WriteFile(record->JPGFile, {bytes.get(), size}) ? IJL_OK : IJL_FILE_ERROR;
}

IJLERR ijlFree(JPEG_CORE_PROPERTIES* record) {
  if (record == nullptr) return IJL_INVALID_JPEG_PROPERTIES;
  if (record->instance != nullptr) tjDestroy(std::exchange(record->instance, nullptr));
  return IJL_OK;
}

}  // namespace kelvane::ijl
