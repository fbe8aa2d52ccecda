#include "platform/picture/PictureCache.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <vector>

#include "platform/gdi/Objects.h"
#include "platform/memory/PageMemory.h"
#include "platform/picture/LoadPicture.h"
#include "support/Automation.h"
#include "support/TempFolder.h"

namespace kelvane::picture {
namespace {

using Bytes = std::vector<std::uint8_t>;
using oleaut::ErrorOf;

// A 24-bit BMP of `side` x `side` pixels of one colour: files of one side
// have one size whatever their colour.
Bytes Bmp(gdi::COLORREF colour, int side = 16) {
  const auto row = static_cast<std::uint32_t>((side * 3 + 3) / 4 * 4);
  const std::uint32_t size = 54 + row * static_cast<std::uint32_t>(side);
  Bytes file;
  const auto put = [&file](std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) file.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
  };
  put('B' | 'M' << 8, 2), put(size, 4), put(0, 4), put(54, 4);
  put(40, 4), put(static_cast<std::uint32_t>(side), 4), put(static_cast<std::uint32_t>(side), 4);
  put(1, 2), put(24, 2), put(0, 4), put(row * static_cast<std::uint32_t>(side), 4);
  for (int i = 0; i < 4; ++i) put(0, 4);
  const std::uint32_t pixel = gdi::GetBValue(colour) | gdi::GetGValue(colour) << 8 | gdi::GetRValue(colour) << 16;
  for (int y = 0; y < side; ++y) {
    for (int x = 0; x < side; ++x) put(pixel, 3);
    file.resize(54 + row * static_cast<std::uint32_t>(y + 1));
  }
  return file;
}

// A clock an hour ahead: every file has settled by it.
timespec AnHourOn() {
  timespec now = PictureCache::RealTime();
  now.tv_sec += 3600;
  return now;
}

std::shared_ptr<gdi::Bitmap> PixelsOf(const PictureRef& picture) { return gdi::FindBitmap(picture->get_Handle()); }

gdi::COLORREF ColourOf(const PictureRef& picture) {
  const std::uint8_t* p = PixelsOf(picture)->Row(5) + 5 * 4;
  return gdi::RGB(p[2], p[1], p[0]);
}

void SetModified(const std::string& path, timespec modified) {
  const timespec times[2] = {{0, UTIME_OMIT}, modified};
  ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
}

timespec ModifiedOf(const std::string& path) {
  struct stat status {};
  ::stat(path.c_str(), &status);
  return status.st_mtim;
}

constexpr gdi::COLORREF kRed = gdi::RGB(255, 0, 0);
constexpr gdi::COLORREF kBlue = gdi::RGB(0, 0, 255);

TEST(PictureCache, KeepsAFileOnceItsChangeIsAClockStepOrMoreBehind) {
  struct Case {
    timespec changed;
    timespec now;
    bool settled;
  };
  const Case cases[] = {
      {{100, 500'000'000}, {100, 599'999'999}, false},  // stamps with a fraction: 100 ms
      {{100, 500'000'000}, {100, 600'000'000}, true},
      {{100, 999'999'999}, {101, 99'999'999}, true},
      {{100, 0}, {101, 999'999'999}, false},  // whole seconds: 2 s
      {{100, 0}, {102, 0}, true},
      {{100, 1}, {100, 0}, false},  // the clock behind the file
  };
  for (const auto& [changed, now, settled] : cases)
    EXPECT_EQ(Settled(changed, now), settled)
        << changed.tv_sec << "." << changed.tv_nsec << " at " << now.tv_sec << "." << now.tv_nsec;
}

class PictureCacheFiles : public testing::Test {
 protected:
  std::string File(const std::string& name, const Bytes& bytes) { return folder.File(name, bytes); }
  const TempFolder folder{"picture-cache"};
};

TEST_F(PictureCacheFiles, DecodesAFileOnceAndHandsOutTheSamePixels) {
  const std::string path = File("a.bmp", Bmp(kRed));
  PictureCache cache(1 << 20, AnHourOn);
  const auto first = LoadPicture(path, cache);
  const auto second = LoadPicture(path, cache);
  EXPECT_NE(first->get_Handle(), second->get_Handle()) << "each load is a picture of its own";
  EXPECT_EQ(PixelsOf(first), PixelsOf(second)) << "decoded once";
  EXPECT_EQ(ColourOf(second), kRed);

  PictureCache none(0, AnHourOn);
  const auto unkept = LoadPicture(path, none);
  EXPECT_NE(PixelsOf(unkept), PixelsOf(LoadPicture(path, none)));
  EXPECT_EQ(ColourOf(unkept), kRed);
  EXPECT_EQ(none.Bytes(), 0u);

  PictureCache realTime(1 << 20);
  const std::string fresh = File("fresh.bmp", Bmp(kBlue));
  EXPECT_NE(PixelsOf(LoadPicture(fresh, realTime)), PixelsOf(LoadPicture(fresh, realTime)))
      << "a file changed a moment ago may change again with the same stamps";
  EXPECT_EQ(realTime.Bytes(), 0u);
}

TEST_F(PictureCacheFiles, AFileChangedInAnyWayGivesItsNewPicture) {
  struct Case {
    const char* change;
    std::function<void(const std::string& path, timespec modified)> make;
  };
  const Case cases[] = {
      {"rewritten, the same second",
       [&](const std::string& path, timespec modified) {
         File("a.bmp", Bmp(kBlue));
         SetModified(path, {modified.tv_sec, (modified.tv_nsec + 1) % 1'000'000'000});
       }},
      {"rewritten, its time set back",
       [&](const std::string& path, timespec modified) {
         File("a.bmp", Bmp(kBlue));
         SetModified(path, modified);
       }},
      {"replaced through a rename, the same time",
       [&](const std::string& path, timespec modified) {
         const std::string other = File("b.bmp", Bmp(kBlue));
         SetModified(other, modified);
         std::filesystem::rename(other, path);
       }},
  };
  for (const auto& [change, make] : cases) {
    const std::string path = File("a.bmp", Bmp(kRed));
    SetModified(path, {1'700'000'000, 250'000'000});
    PictureCache cache(1 << 20, AnHourOn);
    const auto red = LoadPicture(path, cache);
    ASSERT_EQ(PixelsOf(red), PixelsOf(LoadPicture(path, cache))) << change;
    make(path, ModifiedOf(path));
    EXPECT_EQ(ColourOf(LoadPicture(path, cache)), kBlue) << change;
    EXPECT_EQ(ColourOf(red), kRed) << change << ": a picture handed out keeps its pixels";
  }
}

TEST_F(PictureCacheFiles, AKeptFileThatGoesOrBreaksRaisesAsBefore) {
  struct Case {
    const char* change;
    std::function<void(const std::string& path)> make;
    int error;
  };
  const Case cases[] = {
      {"removed", [](const std::string& path) { std::filesystem::remove(path); }, 53},
      {"a folder now",
       [](const std::string& path) {
         std::filesystem::remove(path);
         std::filesystem::create_directory(path);
       },
       75},
      {"a FIFO now",
       [](const std::string& path) {
         std::filesystem::remove(path);
         ::mkfifo(path.c_str(), 0600);
       },
       75},
      {"damaged, the same size and time",
       [&](const std::string& path) {
         const timespec modified = ModifiedOf(path);
         Bytes damaged = Bmp(kRed);
         damaged[0] = 'X';
         File("a.bmp", damaged);
         SetModified(path, modified);
       },
       481},
  };
  for (const auto& [change, make, error] : cases) {
    std::filesystem::remove_all(folder.Path() / "a.bmp");
    const std::string path = File("a.bmp", Bmp(kRed));
    PictureCache cache(1 << 20, AnHourOn);
    LoadPicture(path, cache);
    make(path);
    EXPECT_EQ(ErrorOf([&] { LoadPicture(path, cache); }), error) << change;
  }
}

TEST_F(PictureCacheFiles, TheLeastRecentlyUsedGoToKeepTheLimit) {
  const std::string a = File("a.bmp", Bmp(kRed)), b = File("b.bmp", Bmp(kBlue)), c = File("c.bmp", Bmp(kRed));
  PictureCache probe(1 << 20, AnHourOn);
  LoadPicture(a, probe);
  const std::size_t one = probe.Bytes();
  ASSERT_GT(one, 16u * 16 * 4) << "pixels and the entry's own cost";

  PictureCache cache(2 * one + one / 2, AnHourOn);
  const auto keptA = PixelsOf(LoadPicture(a, cache));
  const auto keptB = PixelsOf(LoadPicture(b, cache));
  LoadPicture(a, cache);  // now b is the least recently used
  LoadPicture(c, cache);
  EXPECT_EQ(cache.Bytes(), 2 * one);
  EXPECT_EQ(PixelsOf(LoadPicture(a, cache)), keptA);
  EXPECT_NE(PixelsOf(LoadPicture(b, cache)), keptB) << "b went, and is decoded again";

  cache.SetLimit(one);
  EXPECT_EQ(cache.Bytes(), one);
  const std::string large = File("large.bmp", Bmp(kRed, 64));
  LoadPicture(large, cache);
  EXPECT_EQ(cache.Bytes(), one) << "a picture beyond the whole limit is not kept, nor is room made for it";
}

TEST_F(PictureCacheFiles, AKeptPictureIsNoLongerChargedToThePageThatDecodedIt) {
  const std::string path = File("large.bmp", Bmp(kRed, 256));
  const std::size_t pixels = 256 * 256 * 4;
  for (const std::size_t limit : {std::size_t{1} << 20, std::size_t{0}}) {
    PictureCache cache(limit, AnHourOn);
    const memory::LimitScope page(3 * pixels);
    const auto picture = LoadPicture(path, cache);
    const bool kept = cache.Bytes() > 0;
    EXPECT_EQ(kept, limit > 0);
    // While the page holds the picture, it is charged for its pixels only
    // when the cache does not keep them.
    const bool roomLeft = memory::Charge(pixels * 5 / 2);
    if (roomLeft) memory::Release(pixels * 5 / 2);
    EXPECT_EQ(roomLeft, kept) << "limit " << limit;
  }
}

}  // namespace
}  // namespace kelvane::picture
