#include "platform/picture/SavePicture.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <utility>
#include <vector>

#include "platform/gdi/Objects.h"
#include "platform/oleaut/AutomationError.h"

namespace kelvane::picture {

namespace {

using oleaut::RaiseRuntimeError;

constexpr std::size_t kFileHeaderBytes = 14;
constexpr std::size_t kInfoHeaderBytes = 40;
constexpr std::size_t kChunk = 256 * 1024;

void Put16(std::uint8_t* at, std::uint16_t v) {
  at[0] = static_cast<std::uint8_t>(v);
  at[1] = static_cast<std::uint8_t>(v >> 8);
}

void Put32(std::uint8_t* at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) at[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

// The file, emptied. An empty file is not truncated: on ext4 a truncation
// to zero makes closing the file write its data out at once.
class OutputFile {
 public:
  explicit OutputFile(const std::string& name)
      : fd_(::open(name.c_str(), O_WRONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0666)) {
    struct stat status {};
    if (fd_ < 0 || ::fstat(fd_, &status) != 0 ||
        (status.st_size != 0 && ::ftruncate(fd_, 0) != 0))
      RaiseRuntimeError(oleaut::kPathFileAccessError);
  }
  ~OutputFile() {
    if (fd_ >= 0) ::close(fd_);
  }
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  void Write(const std::uint8_t* bytes, std::size_t count) {
    while (count > 0) {
      const ssize_t written = ::write(fd_, bytes, count);
      if (written < 0 && errno == EINTR) continue;
      if (written <= 0) RaiseRuntimeError(oleaut::kPathFileAccessError);
      bytes += written;
      count -= static_cast<std::size_t>(written);
    }
  }

  void Close() {
    if (::close(std::exchange(fd_, -1)) != 0) RaiseRuntimeError(oleaut::kPathFileAccessError);
  }

 private:
  int fd_;
};

}  // namespace

void SavePicture(const PictureRef& picture, const std::string& fileName) {
  const auto bitmap = gdi::FindBitmap(picture ? picture->get_Handle() : 0);
  if (!bitmap) RaiseRuntimeError(oleaut::kInvalidPicture);
  const std::int32_t width = bitmap->Width(), height = bitmap->Height();
  const auto stride = gdi::StrideFor(width, 24);
  if (!stride) RaiseRuntimeError(oleaut::kInvalidPicture);
  const auto pixelBytes = static_cast<std::uint64_t>(*stride) * static_cast<std::uint64_t>(height);
  const std::uint64_t fileBytes = kFileHeaderBytes + kInfoHeaderBytes + pixelBytes;
  if (fileBytes > 0xFFFFFFFFu) RaiseRuntimeError(oleaut::kInvalidPicture);

  std::array<std::uint8_t, kFileHeaderBytes + kInfoHeaderBytes> header{};
  header[0] = 'B';
  header[1] = 'M';
  Put32(&header[2], static_cast<std::uint32_t>(fileBytes));
  Put32(&header[10], kFileHeaderBytes + kInfoHeaderBytes);
  std::uint8_t* info = &header[kFileHeaderBytes];
  Put32(info, kInfoHeaderBytes);
  Put32(info + 4, static_cast<std::uint32_t>(width));
  Put32(info + 8, static_cast<std::uint32_t>(height));
  Put16(info + 12, 1);
  Put16(info + 14, 24);
  Put32(info + 20, static_cast<std::uint32_t>(pixelBytes));
  Put32(info + 24, 3780);  // 96 dots per inch, in dots per metre
  Put32(info + 28, 3780);

  // The rows go out bottom first, gathered into writes of about kChunk bytes.
  OutputFile file(fileName);
  const auto rowBytes = static_cast<std::size_t>(*stride);
  // A picture without width has rows of no bytes.
  const std::size_t rowsPerWrite = rowBytes == 0 ? 1 : std::max<std::size_t>(1, kChunk / rowBytes);
  std::vector<std::uint8_t> chunk(header.size() + rowsPerWrite * rowBytes, 0);
  std::copy(header.begin(), header.end(), chunk.begin());
  std::size_t filled = header.size();
  const int bytesPerPixel = bitmap->BytesPerPixel();
  for (std::int32_t y = height - 1; y >= 0; --y) {
    const std::uint8_t* source = bitmap->Row(y);
    std::uint8_t* row = chunk.data() + filled;
    for (std::int32_t x = 0; x < width; ++x)
      std::memcpy(row + static_cast<std::size_t>(x) * 3, source + x * bytesPerPixel, 3);
    std::fill(row + static_cast<std::size_t>(width) * 3, row + rowBytes, std::uint8_t{0});
    filled += rowBytes;
    if (filled + rowBytes > chunk.size() || y == 0) {
      file.Write(chunk.data(), filled);
      filled = 0;
    }
  }
  if (filled != 0) file.Write(chunk.data(), filled);
  file.Close();
}

}  // namespace kelvane::picture
