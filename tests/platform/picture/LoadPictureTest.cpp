#include "platform/picture/LoadPicture.h"

#include <gtest/gtest.h>
#include <turbojpeg.h>

#include <vector>

#include "platform/gdi/Objects.h"
#include "platform/picture/Decoders.h"
#include "platform/memory/PageMemory.h"
#include "support/Automation.h"
#include "support/TempFolder.h"

namespace kelvane::picture {
namespace {

using oleaut::ErrorOf;

// A 16 x 16 JPEG of one colour, given in `format` (BGR, grey or CMYK).
std::vector<std::uint8_t> Jpeg(int format, int sampling, std::vector<std::uint8_t> pixel) {
  std::vector<std::uint8_t> pixels;
  for (int i = 0; i < 256; ++i) pixels.insert(pixels.end(), pixel.begin(), pixel.end());
  tjhandle encoder = tjInitCompress();
  unsigned char* out = nullptr;
  unsigned long size = 0;
  tjCompress2(encoder, pixels.data(), 16, 0, 16, format, &out, &size, sampling, 100, 0);
  std::vector<std::uint8_t> file(out, out + size);
  tjFree(out);
  tjDestroy(encoder);
  return file;
}

std::uint32_t PixelAt(const Decoded& picture, int x, int y) {
  const std::uint8_t* p = picture.pixels->Row(y) + x * 4;
  return static_cast<std::uint32_t>(p[3]) << 24 | gdi::RGB(p[2], p[1], p[0]);
}

void ExpectNear(std::uint32_t actual, std::uint32_t expected) {
  for (int shift : {0, 8, 16, 24})
    EXPECT_NEAR(static_cast<int>((actual >> shift) & 0xFF), static_cast<int>((expected >> shift) & 0xFF), 2)
        << std::hex << actual << " against " << expected;
}

TEST(JpegDecoder, ReadsColourGreyAndInvertedCmykOpaque) {
  const auto colour = DecodeJpeg(Jpeg(TJPF_BGR, TJSAMP_444, {40, 120, 200}));
  ASSERT_TRUE(colour);
  EXPECT_FALSE(colour->hasAlpha);
  ExpectNear(PixelAt(*colour, 7, 7), 0xFF000000u | gdi::RGB(200, 120, 40));

  const auto grey = DecodeJpeg(Jpeg(TJPF_GRAY, TJSAMP_GRAY, {90}));
  ASSERT_TRUE(grey);
  ExpectNear(PixelAt(*grey, 3, 12), 0xFF000000u | gdi::RGB(90, 90, 90));

  const auto white = DecodeJpeg(Jpeg(TJPF_CMYK, TJSAMP_444, {255, 255, 255, 255}));
  ASSERT_TRUE(white);
  ExpectNear(PixelAt(*white, 8, 8), 0xFFFFFFFFu);
  const auto red = DecodeJpeg(Jpeg(TJPF_CMYK, TJSAMP_444, {255, 0, 0, 255}));
  ASSERT_TRUE(red);
  ExpectNear(PixelAt(*red, 8, 8), 0xFF000000u | gdi::RGB(255, 0, 0));
}

TEST(JpegDecoder, RefusesTruncatedAndOversizedFiles) {
  std::vector<std::uint8_t> file = Jpeg(TJPF_BGR, TJSAMP_420, {1, 2, 3});
  EXPECT_FALSE(DecodeJpeg(std::span(file).first(file.size() / 2)));
  EXPECT_FALSE(DecodeJpeg(std::span(file).first(4)));
  // The frame header's height and width (after FF C0, length, precision).
  for (std::size_t i = 0; i + 8 < file.size(); ++i)
    if (file[i] == 0xFF && file[i + 1] == 0xC0) {
      file[i + 5] = file[i + 7] = 0xEA;
      file[i + 6] = file[i + 8] = 0x60;
      break;
    }
  EXPECT_FALSE(DecodeJpeg(file)) << "60000 x 60000 is beyond the pixel limits";
}

class LoadPictureFiles : public testing::Test {
 protected:
  std::string File(const std::string& name, const std::vector<std::uint8_t>& bytes) {
    return folder.File(name, bytes);
  }
  const TempFolder folder{"load"};
};

TEST_F(LoadPictureFiles, TellsFormatsByContentAndFailuresByNumber) {
  const auto picture = LoadPicture(File("really-a-jpeg.bmp", Jpeg(TJPF_BGR, TJSAMP_444, {0, 0, 255})));
  ASSERT_NE(picture->get_Handle(), 0u);
  gdi::BITMAP record{};
  gdi::GetObjectA(picture->get_Handle(), sizeof(record), &record);
  EXPECT_EQ(record.bmWidth, 16);

  EXPECT_EQ(LoadPicture("")->get_Handle(), 0u) << "the empty name gives an empty picture";
  EXPECT_EQ(ErrorOf([&] { LoadPicture((folder.Path() / "missing.png").string()); }), 53);
  EXPECT_EQ(ErrorOf([&] { LoadPicture((folder.Path() / "no/such/folder.png").string()); }), 53);
  EXPECT_EQ(ErrorOf([&] { LoadPicture(folder.Path().string()); }), 75) << "a folder";
  EXPECT_EQ(ErrorOf([&] { LoadPicture(File("text.png", {'h', 'e', 'l', 'l', 'o'})); }), 481);
  EXPECT_EQ(ErrorOf([&] { LoadPicture(File("empty.jpg", {})); }), 481);
  const std::string large = File("large.bin", std::vector<std::uint8_t>(200000));
  const memory::LimitScope limit(100000);
  EXPECT_EQ(ErrorOf([&] { LoadPicture(large); }), 7) << "out of memory";
}

TEST_F(LoadPictureFiles, ReleasesThePicturesBitmapWithThePicture) {
  gdi::HBITMAP handle = 0;
  {
    const auto picture = LoadPicture(File("a.jpg", Jpeg(TJPF_BGR, TJSAMP_444, {9, 9, 9})));
    handle = picture->get_Handle();
    EXPECT_NE(gdi::FindBitmap(handle), nullptr);
  }
  EXPECT_EQ(gdi::FindBitmap(handle), nullptr);
}

}  // namespace
}  // namespace kelvane::picture
