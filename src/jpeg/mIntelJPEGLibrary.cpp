#include "jpeg/mIntelJPEGLibrary.h"

#include <sys/random.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdio>
#include <filesystem>

#include "platform/files/Files.h"
#include "platform/oleaut/AutomationError.h"
#include "platform/oleaut/ModuleName.h"

namespace kelvane::jpeg {

namespace {

using oleaut::CheckedMul;
using oleaut::CheckedSub;

[[noreturn]] void RaiseJpegError(std::string description, std::string helpFile = {}) {
  throw oleaut::AutomationError(kJpegError, oleaut::ModuleName() + ".mIntelJPEGLibrary",
                                std::move(description), std::move(helpFile));
}

// Releases the library instance however the routine ends.
class LibraryInstance {
 public:
  explicit LibraryInstance(ijl::JPEG_CORE_PROPERTIES& record) : record_(record) {}
  ~LibraryInstance() { ijl::ijlFree(&record_); }
  LibraryInstance(const LibraryInstance&) = delete;
  LibraryInstance& operator=(const LibraryInstance&) = delete;

 private:
  ijl::JPEG_CORE_PROPERTIES& record_;
};

// The name of the new file until it is complete: in the folder of
// `fileName`, so that it can be renamed into place, drawn at random, so that
// no one can know it before the library makes the file, and short, so that
// it fits wherever `fileName` does. An empty name stays empty, for the
// library to refuse. 75 when the system gives no random bytes.
std::string PartialName(const std::string& fileName) {
  if (fileName.empty()) return fileName;
  std::array<unsigned char, 12> random{};
  for (std::size_t filled = 0; filled < random.size();) {
    const ssize_t got = ::getrandom(random.data() + filled, random.size() - filled, 0);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) oleaut::RaiseRuntimeError(oleaut::kPathFileAccessError);
    filled += static_cast<std::size_t>(got);
  }
  std::string name = ".part-";
  for (const unsigned char byte : random) {
    name += "0123456789abcdef"[byte >> 4];
    name += "0123456789abcdef"[byte & 15];
  }
  return (std::filesystem::path(fileName).parent_path() / name).string();
}

// Whether an existing file may be replaced: it is not read-only and its
// folder lets entries be removed and added.
bool MayReplace(const std::string& fileName, files::DWORD attributes) {
  if ((attributes & 0222) == 0) return false;
  std::filesystem::path folder = std::filesystem::path(fileName).parent_path();
  if (folder.empty()) folder = ".";
  return ::access(folder.c_str(), W_OK | X_OK) == 0;
}

}  // namespace

void DescribeDib(dib::cDIBSection& dib, const char* jpegFile, ijl::JPEG_CORE_PROPERTIES& record) {
  record.DIBWidth = dib.Width();
  record.DIBHeight = CheckedSub(oleaut::Long{0}, dib.Height());
  record.DIBBytes = dib.DIBSectionBitsPtr();
  record.DIBPadBytes = CheckedSub(dib.BytesPerScanLine(), CheckedMul(oleaut::Long{3}, dib.Width()));
  record.JPGFile = jpegFile;
  record.JPGWidth = dib.Width();
  record.JPGHeight = dib.Height();
  record.jquality = 100;
}

void WriteJpegFile(dib::cDIBSection& dib, const std::string& fileName) {
  const std::string name = fileName;

  ijl::JPEG_CORE_PROPERTIES record{};
  const LibraryInstance instance(record);
  if (const ijl::IJLERR code = ijl::ijlInit(&record); code != ijl::IJL_OK)
    RaiseJpegError("Failed to initialise the IJL library: " + std::to_string(code));

  files::WIN32_FIND_DATAA existing;
  const files::HANDLE search = files::FindFirstFileA(name.c_str(), &existing);
  const bool existed = search != files::INVALID_HANDLE_VALUE;
  if (existed) {
    files::FindClose(search);
    if (!MayReplace(name, existing.dwFileAttributes))
      oleaut::RaiseRuntimeError(oleaut::kPathFileAccessError);
  }

  // A file with content is replaced only once the new one is complete; a
  // new name, or an empty file, is written in place.
  const bool keepUntilComplete =
      existed && (existing.nFileSizeHigh != 0 || existing.nFileSizeLow != 0);
  const std::string written = keepUntilComplete ? PartialName(name) : name;
  DescribeDib(dib, written.c_str(), record);
  if (const ijl::IJLERR code = ijl::ijlWrite(&record, ijl::IJL_JFILE_WRITEWHOLEIMAGE);
      code != ijl::IJL_OK)
    RaiseJpegError("Failed to save to JPG " + std::to_string(code), "48");

  if (keepUntilComplete && std::rename(written.c_str(), name.c_str()) != 0) {
    std::remove(written.c_str());
    oleaut::RaiseRuntimeError(oleaut::kPathFileAccessError);
  }
  if (existed) {
    const files::HFILE file =
        files::_lopen(name.c_str(), files::OF_WRITE | files::OF_SHARE_DENY_WRITE);
    if (file != files::HFILE_ERROR) {
      files::SetFileTime(file, &existing.ftCreationTime, &existing.ftLastAccessTime,
                         &existing.ftLastWriteTime);
      files::_lclose(file);
    }
    files::SetFileAttributesA(name.c_str(), existing.dwFileAttributes);
  }
}

}  // namespace kelvane::jpeg
