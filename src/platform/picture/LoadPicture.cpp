#include "platform/picture/LoadPicture.h"

#include <algorithm>
#include <array>
#include <new>
#include <span>
#include <utility>
#include <vector>

#include "platform/files/WholeFile.h"
#include "platform/oleaut/AutomationError.h"
#include "platform/picture/Decoders.h"
#include "platform/picture/PictureCache.h"

namespace kelvane::picture {

namespace {

using oleaut::RaiseRuntimeError;

// The largest picture file read: far beyond any picture the pixel limits let
// through, small enough that reading one cannot exhaust memory.
constexpr std::uintmax_t kMaxFileBytes = std::uintmax_t{256} << 20;

thread_local const std::filesystem::path* pictureFolder = nullptr;
thread_local PictureFinder pictureFinder = nullptr;

void RaiseOnFailure(files::ReadFailure failure) {
  switch (failure) {
    case files::ReadFailure::None: return;
    case files::ReadFailure::Missing: RaiseRuntimeError(oleaut::kFileNotFound);
    case files::ReadFailure::Unreadable: RaiseRuntimeError(oleaut::kPathFileAccessError);
    case files::ReadFailure::TooLarge: RaiseRuntimeError(oleaut::kInvalidPicture);
  }
  RaiseRuntimeError(oleaut::kPathFileAccessError);
}

// The file that `fileName` names, opened, with its status.
files::FileDescriptor OpenPicture(const std::string& fileName, struct stat& status) {
  const std::filesystem::path name(fileName);
  std::filesystem::path resolved = name;
  if (pictureFolder != nullptr && name.is_relative())
    resolved = pictureFinder != nullptr ? pictureFinder(*pictureFolder, name) : *pictureFolder / name;
  files::FileDescriptor file;
  RaiseOnFailure(files::OpenRegularFile(resolved.c_str(), file, status));
  return file;
}

bool StartsWith(std::span<const std::uint8_t> file, std::span<const std::uint8_t> magic) {
  return file.size() >= magic.size() && std::equal(magic.begin(), magic.end(), file.begin());
}

std::optional<Decoded> Decode(std::span<const std::uint8_t> file) {
  static constexpr std::array<std::uint8_t, 2> bmp{'B', 'M'};
  static constexpr std::array<std::uint8_t, 4> gif{'G', 'I', 'F', '8'};
  static constexpr std::array<std::uint8_t, 3> jpeg{0xFF, 0xD8, 0xFF};
  static constexpr std::array<std::uint8_t, 8> png{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  if (StartsWith(file, bmp)) return DecodeBmp(file);
  if (StartsWith(file, gif)) return DecodeGif(file);
  if (StartsWith(file, jpeg)) return DecodeJpeg(file);
  if (StartsWith(file, png)) return DecodePng(file);
  return std::nullopt;
}

// Runs `load`, a failed allocation in it raising 7 "Out of memory" like the
// loader's other runtime errors.
template <class Load>
PictureRef RaisingOutOfMemory(Load load) {
  try {
    return load();
  } catch (const std::bad_alloc&) {
    RaiseRuntimeError(oleaut::kOutOfMemory);
  }
}

// A new picture of `decoded`'s pixels, under a handle of the calling thread.
PictureRef NewPicture(const Decoded& decoded) {
  const gdi::HBITMAP handle = gdi::AddObject(decoded.pixels);
  if (handle == 0) RaiseRuntimeError(oleaut::kOutOfMemory);
  return std::make_shared<Picture>(handle, true, decoded.hasAlpha);
}

Decoded DecodeOrRaise(std::span<const std::uint8_t> file) {
  auto decoded = Decode(file);
  if (!decoded || !decoded->pixels) RaiseRuntimeError(oleaut::kInvalidPicture);
  return *std::move(decoded);
}

}  // namespace

PictureRef LoadPictureFromMemory(std::span<const std::uint8_t> file) {
  return RaisingOutOfMemory([&] { return NewPicture(DecodeOrRaise(file)); });
}

PictureFolderScope::PictureFolderScope(const std::filesystem::path& folder, PictureFinder find)
    : previous_(std::exchange(pictureFolder, &folder)), previousFinder_(std::exchange(pictureFinder, find)) {}

PictureFolderScope::~PictureFolderScope() {
  pictureFolder = previous_;
  pictureFinder = previousFinder_;
}

PictureRef LoadPicture(const std::string& fileName, PictureCache& cache) {
  if (fileName.empty()) return std::make_shared<Picture>(0, false);
  return RaisingOutOfMemory([&] {
    // The clock is read first: a change made after it is one the file's
    // stamps can tell from what was read.
    const timespec seen = cache.Now();
    struct stat status {};
    const files::FileDescriptor file = OpenPicture(fileName, status);
    const FileVersion version = FileVersion::Of(status);
    if (auto kept = cache.Find(version)) return NewPicture(*kept);
    std::vector<std::uint8_t> bytes;
    RaiseOnFailure(files::ReadOpenFile(file, status, kMaxFileBytes, bytes));
    const Decoded decoded = DecodeOrRaise(bytes);
    // What changed while it was read is not kept under the version it had.
    struct stat after {};
    if (::fstat(file.get(), &after) == 0 && FileVersion::Of(after) == version) cache.Keep(version, seen, decoded);
    return NewPicture(decoded);
  });
}

PictureRef LoadPicture(const std::string& fileName) { return LoadPicture(fileName, ProcessPictureCache()); }

}  // namespace kelvane::picture
