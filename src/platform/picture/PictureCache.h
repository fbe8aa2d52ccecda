#pragma once
// Pictures decoded from files, kept for the process: a file is decoded once
// for as long as it does not change. Safe to call from several threads.

#include <sys/stat.h>
#include <time.h>

#include <cstddef>
#include <list>
#include <mutex>
#include <optional>
#include <unordered_map>

#include "platform/picture/Decoders.h"

namespace kelvane::picture {

// What the cache holds when nothing sets its size.
inline constexpr std::size_t kDefaultPictureCacheBytes = std::size_t{64} << 20;

// Which file, in which version: its device and inode, its size, and when
// its content (mtime) and its status (ctime) last changed, to the
// nanosecond. A file rewritten in place, replaced through a rename, or
// given back an earlier modification time has another version: the ctime
// is the kernel's clock at the change and cannot be set back.
struct FileVersion {
  dev_t device = 0;
  ino_t inode = 0;
  off_t size = 0;
  timespec modified{};
  timespec changed{};

  static FileVersion Of(const struct stat& status);
  bool operator==(const FileVersion& other) const;
};

// Whether a file whose status changed at `changed` was left alone long
// enough before `now` that any later change gives it another ctime. A
// file system stamps a change with a clock that ticks in steps (the
// kernel's coarse clock, or whole seconds where stamps have no fraction),
// so two writes within one step leave the same stamps behind.
bool Settled(timespec changed, timespec now);

class PictureCache {
 public:
  // The clock that tells when a file settled: CLOCK_REALTIME, which the
  // file system's stamps follow, unless a test moves it.
  using Clock = timespec (*)();
  static timespec RealTime();

  // Holds up to `limitBytes` of pictures (0: keeps none).
  explicit PictureCache(std::size_t limitBytes, Clock now = RealTime);

  // The picture kept for `version`, now the most recently used; nullopt
  // when none is kept.
  std::optional<Decoded> Find(const FileVersion& version);

  // Keeps `decoded`, read from the file in `version` after `seen` (a
  // reading of the clock), unless the file had not yet settled then, or
  // it alone passes the limit. The least recently used pictures go until
  // the limit holds. A kept picture's pixel memory is the process's from
  // then on, no longer charged to the calling thread's page, and nothing
  // may draw on it: every Find hands out the same pixels.
  void Keep(const FileVersion& version, timespec seen, const Decoded& decoded);

  // What a Keep should be given as `seen`.
  timespec Now() const { return now_(); }

  // Changes the limit; the least recently used go until it holds.
  void SetLimit(std::size_t limitBytes);

  // What the kept pictures hold, by the count the limit is held to.
  std::size_t Bytes() const;

 private:
  struct Entry {
    FileVersion version;
    Decoded decoded;
    std::size_t bytes;
  };
  struct Hash {
    std::size_t operator()(const FileVersion& version) const;
  };
  using Entries = std::list<Entry>;  // the most recently used first

  // Takes the least recently used entries out into `gone` (freed by the
  // caller, outside the lock) until the limit holds.
  void Trim(Entries& gone);

  const Clock now_;
  mutable std::mutex mutex_;
  std::size_t limit_;
  std::size_t bytes_ = 0;
  Entries entries_;
  std::unordered_map<FileVersion, Entries::iterator, Hash> index_;
};

// The process's cache, which LoadPicture uses.
PictureCache& ProcessPictureCache();

}  // namespace kelvane::picture
