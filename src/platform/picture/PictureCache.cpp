#include "platform/picture/PictureCache.h"

#include <chrono>
#include <new>
#include <utility>
#include <vector>

namespace kelvane::picture {

namespace {

using std::chrono::nanoseconds;

// What an entry costs beyond its pixels (list and index nodes, the bitmap
// object and its count), so that many small pictures are held to the limit
// too.
constexpr std::size_t kEntryBytes = 256;

// How long a file must be left alone before it is kept. Stamps with a
// fraction of a second follow the kernel's coarse clock, whose step is at
// most 10 ms; stamps in whole seconds may be of a file system that counts
// in steps of two.
constexpr nanoseconds kSettleFine = std::chrono::milliseconds(100);
constexpr nanoseconds kSettleWhole = std::chrono::seconds(2);

nanoseconds SinceEpoch(timespec time) {
  return std::chrono::seconds(time.tv_sec) + nanoseconds(time.tv_nsec);
}

bool SameTime(timespec a, timespec b) { return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec; }

}  // namespace

FileVersion FileVersion::Of(const struct stat& status) {
  return {status.st_dev, status.st_ino, status.st_size, status.st_mtim, status.st_ctim};
}

bool FileVersion::operator==(const FileVersion& other) const {
  return device == other.device && inode == other.inode && size == other.size &&
         SameTime(modified, other.modified) && SameTime(changed, other.changed);
}

bool Settled(timespec changed, timespec now) {
  return SinceEpoch(now) - SinceEpoch(changed) >= (changed.tv_nsec == 0 ? kSettleWhole : kSettleFine);
}

std::size_t PictureCache::Hash::operator()(const FileVersion& version) const {
  std::size_t hash = 0;
  for (const auto part : {std::uint64_t(version.device), std::uint64_t(version.inode), std::uint64_t(version.size),
                          std::uint64_t(version.modified.tv_sec), std::uint64_t(version.modified.tv_nsec),
                          std::uint64_t(version.changed.tv_sec), std::uint64_t(version.changed.tv_nsec)})
    hash = (hash ^ part) * 0x100000001B3u;
  return hash;
}

timespec PictureCache::RealTime() {
  timespec now{};
  ::clock_gettime(CLOCK_REALTIME, &now);
  return now;
}

PictureCache::PictureCache(std::size_t limitBytes, Clock now) : now_(now), limit_(limitBytes) {}

std::optional<Decoded> PictureCache::Find(const FileVersion& version) {
  const std::lock_guard lock(mutex_);
  const auto found = index_.find(version);
  if (found == index_.end()) return std::nullopt;
  entries_.splice(entries_.begin(), entries_, found->second);
  return found->second->decoded;
}

void PictureCache::Keep(const FileVersion& version, timespec seen, const Decoded& decoded) {
  if (!decoded.pixels || !Settled(version.changed, seen)) return;
  const std::size_t bytes =
      static_cast<std::size_t>(decoded.pixels->Stride()) * static_cast<std::size_t>(decoded.pixels->Height()) +
      kEntryBytes;
  Entries gone;
  const std::lock_guard lock(mutex_);
  if (bytes > limit_ || index_.contains(version)) return;
  try {
    entries_.push_front({version, decoded, bytes});
    try {
      index_.emplace(version, entries_.begin());
    } catch (const std::bad_alloc&) {
      entries_.pop_front();
      return;
    }
  } catch (const std::bad_alloc&) {
    return;  // not kept: decoded again next time
  }
  decoded.pixels->Uncharge();
  bytes_ += bytes;
  Trim(gone);
}

void PictureCache::SetLimit(std::size_t limitBytes) {
  Entries gone;
  const std::lock_guard lock(mutex_);
  limit_ = limitBytes;
  Trim(gone);
}

std::size_t PictureCache::Bytes() const {
  const std::lock_guard lock(mutex_);
  return bytes_;
}

void PictureCache::Trim(Entries& gone) {
  while (bytes_ > limit_) {
    const auto last = std::prev(entries_.end());
    index_.erase(last->version);
    bytes_ -= last->bytes;
    gone.splice(gone.begin(), entries_, last);
  }
}

PictureCache& ProcessPictureCache() {
  static PictureCache cache(kDefaultPictureCacheBytes);
  return cache;
}

}  // namespace kelvane::picture
