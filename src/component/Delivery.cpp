// Delivery: the drawing written to a temporary file as BMP or JPEG, read
// back whole and sent as the response body.

#include "component/Delivery.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <set>
#include <vector>

#include "component/Image.h"
#include "dib/cDIBSection.h"
#include "jpeg/mIntelJPEGLibrary.h"
#include "platform/oleaut/AutomationError.h"
#include "platform/oleaut/Random.h"
#include "platform/picture/SavePicture.h"
#include "surface/Form1.h"

namespace kelvane::component {

namespace {

using oleaut::RaiseRuntimeError;

bool IsBmp(const std::string& imageType) {
  std::string upper = imageType;
  std::transform(upper.begin(), upper.end(), upper.begin(),
                 [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  return upper == "BMP";
}

// The temporary file, made exclusively so that two deliveries never share
// one, readable by the owner alone; deleted when this goes, on every path.
class TemporaryFile {
 public:
  // Draws numbers 1 to 20 for the current second until a name is free;
  // once all twenty are taken, counts on from 21.
  TemporaryFile() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    std::set<Long> tried;
    for (Long counted = 21; counted < 21 + kMaxCounted;) {
      Long number;
      if (tried.size() < 20) {
        number = oleaut::FloorTo<Long>(static_cast<double>(
            oleaut::ToSinglePrecision(static_cast<double>(oleaut::Rnd()) * 20 + 1)));
        if (!tried.insert(number).second) continue;
      } else {
        number = counted++;
      }
      name_ = TemporaryFileName(local, number);
      const int fd = ::open(name_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
      if (fd >= 0) {
        ::close(fd);
        return;
      }
      if (errno != EEXIST) break;
    }
    name_.clear();
    RaiseRuntimeError(oleaut::kPathFileAccessError);
  }
  ~TemporaryFile() { std::remove(name_.c_str()); }
  TemporaryFile(const TemporaryFile&) = delete;
  TemporaryFile& operator=(const TemporaryFile&) = delete;

  const std::string& Name() const { return name_; }

 private:
  static constexpr Long kMaxCounted = 100000;
  std::string name_;
};

// The whole file as a byte array with bounds 1 to its length; 9 for an
// empty file, 75 when it cannot be read.
Variant ReadBack(const std::string& name) {
  const int fd = ::open(name.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) RaiseRuntimeError(oleaut::kPathFileAccessError);
  std::vector<oleaut::Byte> bytes;
  struct stat status {};
  bool ok = ::fstat(fd, &status) == 0;
  if (ok) {
    bytes.resize(static_cast<std::size_t>(status.st_size));
    std::size_t filled = 0;
    while (ok && filled < bytes.size()) {
      const ssize_t got = ::read(fd, bytes.data() + filled, bytes.size() - filled);
      if (got < 0 && errno == EINTR) continue;
      ok = got > 0;
      if (ok) filled += static_cast<std::size_t>(got);
    }
  }
  ::close(fd);
  if (!ok) RaiseRuntimeError(oleaut::kPathFileAccessError);
  if (bytes.empty()) RaiseRuntimeError(oleaut::kSubscriptOutOfRange);
  return Variant::ByteArray(std::move(bytes), 1);
}

}  // namespace

std::string TemporaryFileName(const std::tm& when, Long number) {
  char text[64];
  std::snprintf(text, sizeof text, "%02d%02d%04d%02d%02d%02d-%d.tmp", when.tm_mday,
                when.tm_mon + 1, when.tm_year + 1900, when.tm_hour, when.tm_min, when.tm_sec,
                static_cast<int>(number));
  return text;
}

bool IsTemporaryFileName(std::string_view name) {
  constexpr std::size_t kStamp = 14;
  constexpr std::string_view kExtension = ".tmp";
  const auto digits = [](std::string_view text) {
    return !text.empty() && std::ranges::all_of(text, [](char c) { return c >= '0' && c <= '9'; });
  };
  if (name.size() <= kStamp + 1 + kExtension.size() || name[kStamp] != '-' ||
      !name.ends_with(kExtension))
    return false;
  const std::string_view number =
      name.substr(kStamp + 1, name.size() - kStamp - 1 - kExtension.size());
  return digits(name.substr(0, kStamp)) && number.size() <= 10 && digits(number);
}

void Image::SendImage() {
  oleaut::Randomize(oleaut::Timer());
  const TemporaryFile file;
  surface::PictureBox& plot = surface::Form1::ForThread().Plot;
  plot.putref_Picture(plot.get_Image());
  plot.put_AutoRedraw(VariantBool::False);
  const bool bmp = IsBmp(ImageType_);
  if (bmp) {
    picture::SavePicture(plot.get_Picture(), file.Name());
  } else {
    dib::cDIBSection dib;
    dib.CreateFromPicture(plot.get_Picture());
    jpeg::WriteJpegFile(dib, file.Name());
  }
  const Variant buffer = ReadBack(file.Name());
  if (!CurrentResponse) RaiseRuntimeError(oleaut::kObjectNotSet);
  CurrentResponse->put_Buffer(VariantBool::True);
  CurrentResponse->put_ContentType(bmp ? "image/bmp" : "image/jpg");
  CurrentResponse->BinaryWrite(buffer);
  CurrentResponse->End();
}

}  // namespace kelvane::component
