#include "platform/files/Files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <limits>
#include <string_view>

namespace kelvane::files {

namespace {

// Seconds from 1601-01-01 to 1970-01-01, both UTC.
constexpr std::uint64_t kEpochOffset = 11'644'473'600;
constexpr std::uint64_t kTicksPerSecond = 10'000'000;
constexpr std::uint64_t kNanosecondsPerTick = 100;

// A search finds at most one file, so it needs no object behind its handle.
constexpr HANDLE kSearchHandle = 1;

bool Named(const char* fileName) { return fileName != nullptr && *fileName != '\0'; }

// Times before 1601 read as 0, times beyond the FILETIME range as its end.
FILETIME ToFileTime(const timespec& time) {
  std::uint64_t ticks = 0;
  if (time.tv_sec >= -static_cast<std::int64_t>(kEpochOffset)) {
    // Wraps back into range for negative seconds: the sum is never below 0.
    const std::uint64_t seconds = static_cast<std::uint64_t>(time.tv_sec) + kEpochOffset;
    const std::uint64_t fraction = static_cast<std::uint64_t>(time.tv_nsec) / kNanosecondsPerTick;
    constexpr std::uint64_t kLimit = std::numeric_limits<std::uint64_t>::max();
    ticks = seconds > (kLimit - fraction) / kTicksPerSecond ? kLimit
                                                            : seconds * kTicksPerSecond + fraction;
  }
  return {static_cast<std::uint32_t>(ticks), static_cast<std::uint32_t>(ticks >> 32)};
}

timespec ToTimespec(const FILETIME& time) {
  const std::uint64_t ticks =
      (static_cast<std::uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
  timespec result{};
  result.tv_sec = static_cast<time_t>(ticks / kTicksPerSecond) - static_cast<time_t>(kEpochOffset);
  result.tv_nsec = static_cast<long>(ticks % kTicksPerSecond * kNanosecondsPerTick);
  return result;
}

// The name without its folder; trailing slashes of a folder's name are not
// part of it, and the root keeps its one slash.
std::string_view LastComponent(std::string_view name) {
  const auto end = name.find_last_not_of('/');
  if (end == std::string_view::npos) return name.substr(0, 1);
  name = name.substr(0, end + 1);
  const auto slash = name.rfind('/');
  return slash == std::string_view::npos ? name : name.substr(slash + 1);
}

}  // namespace

HANDLE FindFirstFileA(const char* fileName, WIN32_FIND_DATAA* findData) {
  struct stat info{};
  if (!Named(fileName) || findData == nullptr || ::stat(fileName, &info) != 0) {
    return INVALID_HANDLE_VALUE;
  }
  WIN32_FIND_DATAA found;
  found.dwFileAttributes = info.st_mode & 07777;
  found.ftCreationTime = ToFileTime(info.st_ctim);
  found.ftLastAccessTime = ToFileTime(info.st_atim);
  found.ftLastWriteTime = ToFileTime(info.st_mtim);
  const auto size = static_cast<std::uint64_t>(info.st_size);
  found.nFileSizeHigh = static_cast<DWORD>(size >> 32);
  found.nFileSizeLow = static_cast<DWORD>(size);
  const std::string_view name = LastComponent(fileName);
  const std::size_t length = std::min(name.size(), sizeof found.cFileName - 1);
  std::memcpy(found.cFileName, name.data(), length);
  *findData = found;
  return kSearchHandle;
}

BOOL FindClose(HANDLE search) { return search == kSearchHandle ? TRUE : FALSE; }

// Judges the entry itself, so that a symbolic link is deleted as a link and
// never refused for its target. unlink() never removes a folder.
BOOL DeleteFileA(const char* fileName) {
  struct stat info{};
  if (!Named(fileName) || ::lstat(fileName, &info) != 0) return FALSE;
  return (info.st_mode & 0222) != 0 && ::unlink(fileName) == 0 ? TRUE : FALSE;
}

BOOL SetFileAttributesA(const char* fileName, DWORD attributes) {
  if (!Named(fileName)) return FALSE;
  return ::chmod(fileName, static_cast<mode_t>(attributes & 07777)) == 0 ? TRUE : FALSE;
}

HFILE _lopen(const char* fileName, int mode) {
  constexpr int kAccess[] = {O_RDONLY, O_WRONLY, O_RDWR};
  const int access = mode & 3;
  if (fileName == nullptr || access == 3) return HFILE_ERROR;
  const int file = ::open(fileName, kAccess[access] | O_NOFOLLOW | O_CLOEXEC);
  return file < 0 ? HFILE_ERROR : file;
}

HFILE _lclose(HFILE file) { return ::close(file) == 0 ? 0 : HFILE_ERROR; }

BOOL SetFileTime(HFILE file, const FILETIME*, const FILETIME* lastAccess,
                 const FILETIME* lastWrite) {
  // A call that changes nothing succeeds in the kernel without looking at
  // the descriptor; the answer must still say whether the file is open.
  if (lastAccess == nullptr && lastWrite == nullptr) {
    return ::fcntl(file, F_GETFD) != -1 ? TRUE : FALSE;
  }
  timespec times[2]{};
  times[0].tv_nsec = UTIME_OMIT;
  times[1].tv_nsec = UTIME_OMIT;
  if (lastAccess != nullptr) times[0] = ToTimespec(*lastAccess);
  if (lastWrite != nullptr) times[1] = ToTimespec(*lastWrite);
  return ::futimens(file, times) == 0 ? TRUE : FALSE;
}

}  // namespace kelvane::files
