#include "platform/picture/SavePicture.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <cstring>
#include <random>

#include "platform/gdi/Objects.h"
#include "platform/picture/LoadPicture.h"
#include "support/Automation.h"
#include "support/TempFolder.h"

namespace kelvane::picture {
namespace {

// Awkward sizes round-trip exactly, the rows written in several pieces for
// the widest, and over a longer file that was there, which ends up as long
// as the new picture.
TEST(SavePicture, WritesEveryPixelExactlyOverWhateverTheFileHeld) {
  const TempFolder folder("save");
  std::mt19937 random(3);
  const std::pair<std::int32_t, std::int32_t> sizes[] = {{0, 5}, {1, 1}, {7, 1}, {1, 7}, {11, 13}, {301, 301}, {3000, 40}};
  for (const auto& [width, height] : sizes) {
    SCOPED_TRACE(std::to_string(width) + "x" + std::to_string(height));
    auto bitmap = gdi::Bitmap::Create(width, height, gdi::PixelFormat::Bgrx32, false);
    for (std::int32_t y = 0; y < height; ++y)
      for (std::int32_t x = 0; x < 4 * width; ++x) bitmap->Row(y)[x] = static_cast<std::uint8_t>(random());
    const auto picture = std::make_shared<Picture>(gdi::AddObject(bitmap), true);
    const std::string file = folder.File("picture.bmp", std::vector<std::uint8_t>(400000, 0xAA));
    SavePicture(picture, file);

    const auto stride = static_cast<std::uintmax_t>((3 * width + 3) & ~3);
    EXPECT_EQ(std::filesystem::file_size(file), 54 + stride * height);
    if (width == 0) continue;  // no picture to read back, but a file and no crash
    const auto loaded = gdi::FindBitmap(LoadPicture(file)->get_Handle());
    ASSERT_NE(loaded, nullptr);
    for (std::int32_t y = 0; y < height; ++y)
      for (std::int32_t x = 0; x < width; ++x)
        ASSERT_EQ(std::memcmp(loaded->Row(y) + 4 * x, bitmap->Row(y) + 4 * x, 3), 0) << x << "," << y;
  }
}

TEST(SavePicture, RefusesAPictureWithoutBitmapAndANameItCannotWrite) {
  const TempFolder folder("save-refused");
  const auto empty = std::make_shared<Picture>(0, false);
  EXPECT_EQ(oleaut::ErrorOf([&] { SavePicture(empty, folder.File("x.bmp", {})); }), 481);
  const auto picture = std::make_shared<Picture>(
      gdi::AddObject(gdi::Bitmap::Create(2, 2, gdi::PixelFormat::Bgrx32, false)), true);
  const std::string victim = folder.File("victim", {'k', 'e', 'e', 'p'});
  std::filesystem::create_symlink(victim, folder.Path() / "link.bmp");
  EXPECT_EQ(oleaut::ErrorOf([&] { SavePicture(picture, (folder.Path() / "link.bmp").string()); }), 75);
  EXPECT_EQ(std::filesystem::file_size(victim), 4u) << "never through a symbolic link";
  EXPECT_EQ(oleaut::ErrorOf([&] { SavePicture(picture, folder.Path().string()); }), 75);
}

}  // namespace
}  // namespace kelvane::picture
