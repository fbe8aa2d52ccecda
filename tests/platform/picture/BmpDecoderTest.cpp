#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <iterator>
#include <optional>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "platform/gdi/Gdi.h"
#include "platform/picture/Decoders.h"

namespace kelvane::picture {
namespace {

using Bytes = std::vector<std::uint8_t>;

void Le16(Bytes& out, std::uint32_t v) {
  out.push_back(static_cast<std::uint8_t>(v));
  out.push_back(static_cast<std::uint8_t>(v >> 8));
}
void Le32(Bytes& out, std::uint32_t v) {
  Le16(out, v & 0xFFFF);
  Le16(out, v >> 16);
}

// A BMP file put together field by field, so that each test states only what
// it is about.
struct BmpFile {
  std::uint32_t infoSize = 40;
  std::int32_t width = 1;
  std::int32_t height = 1;
  std::uint16_t planes = 1;
  std::uint16_t bitsPerPixel = 24;
  std::uint32_t compression = 0;
  std::uint32_t coloursUsed = 0;
  std::vector<std::uint32_t> masks{};    // red, green, blue, alpha; after a 40-byte header
  std::vector<std::uint32_t> palette{};  // 0xRRGGBB
  Bytes pixels{};

  Bytes Build() const {
    Bytes info;
    Le32(info, infoSize);
    if (infoSize == 12) {
      Le16(info, static_cast<std::uint32_t>(width));
      Le16(info, static_cast<std::uint32_t>(height));
      Le16(info, planes);
      Le16(info, bitsPerPixel);
    } else {
      Le32(info, static_cast<std::uint32_t>(width));
      Le32(info, static_cast<std::uint32_t>(height));
      Le16(info, planes);
      Le16(info, bitsPerPixel);
      Le32(info, compression);
      Le32(info, static_cast<std::uint32_t>(pixels.size()));
      Le32(info, 2835);
      Le32(info, 2835);
      Le32(info, coloursUsed);
      Le32(info, 0);
      for (const std::uint32_t mask : masks) Le32(info, mask);
      while (info.size() < infoSize) info.push_back(0);
    }
    for (const std::uint32_t colour : palette) {
      info.push_back(static_cast<std::uint8_t>(colour));
      info.push_back(static_cast<std::uint8_t>(colour >> 8));
      info.push_back(static_cast<std::uint8_t>(colour >> 16));
      if (infoSize != 12) info.push_back(0);
    }
    Bytes file{'B', 'M'};
    const auto offset = static_cast<std::uint32_t>(14 + info.size());
    Le32(file, offset + static_cast<std::uint32_t>(pixels.size()));
    Le32(file, 0);
    Le32(file, offset);
    file.insert(file.end(), info.begin(), info.end());
    file.insert(file.end(), pixels.begin(), pixels.end());
    return file;
  }
};

// Scan lines in file order, each padded to whole 32-bit words.
Bytes Rows(std::initializer_list<Bytes> rows) {
  Bytes out;
  for (const Bytes& row : rows) {
    out.insert(out.end(), row.begin(), row.end());
    out.resize((out.size() + 3) / 4 * 4);
  }
  return out;
}

Bytes Words16(std::initializer_list<std::uint32_t> words) {
  Bytes out;
  for (const std::uint32_t w : words) Le16(out, w);
  return out;
}

Bytes Words32(std::initializer_list<std::uint32_t> words) {
  Bytes out;
  for (const std::uint32_t w : words) Le32(out, w);
  return out;
}

std::optional<Decoded> Decode(const Bytes& file) { return DecodeBmp(file); }

// The decoded pixel at x, y (from the top) as 0xAARRGGBB.
std::uint32_t At(const Decoded& decoded, std::int32_t x, std::int32_t y) {
  const std::uint8_t* p = decoded.pixels->Row(y) + x * 4;
  return static_cast<std::uint32_t>(p[3]) << 24 | static_cast<std::uint32_t>(p[2]) << 16 |
         static_cast<std::uint32_t>(p[1]) << 8 | p[0];
}

constexpr std::uint32_t kBlack = 0xFF000000;

TEST(BmpDecoder, OneBitPixelsTakeTheirPaletteColours) {
  BmpFile bmp{.width = 9, .height = 2, .bitsPerPixel = 1, .palette = {0x112233, 0xAABBCC}};
  bmp.pixels = Rows({{0x01, 0x00}, {0x80, 0x80}});
  const auto decoded = Decode(bmp.Build());
  ASSERT_TRUE(decoded);
  EXPECT_EQ(decoded->pixels->Width(), 9);
  EXPECT_EQ(decoded->pixels->Height(), 2);
  EXPECT_FALSE(decoded->hasAlpha);
  EXPECT_EQ(At(*decoded, 0, 0), 0xFFAABBCC);
  EXPECT_EQ(At(*decoded, 1, 0), 0xFF112233);
  EXPECT_EQ(At(*decoded, 8, 0), 0xFFAABBCC);
  EXPECT_EQ(At(*decoded, 7, 1), 0xFFAABBCC);
  EXPECT_EQ(At(*decoded, 8, 1), 0xFF112233);
}

TEST(BmpDecoder, FourBitPixelsUseTheColoursInUse) {
  BmpFile bmp{.width = 3, .bitsPerPixel = 4, .coloursUsed = 3,
              .palette = {0x000010, 0x002000, 0x300000}};
  bmp.pixels = Rows({{0x12, 0x00}});
  const auto decoded = Decode(bmp.Build());
  ASSERT_TRUE(decoded);
  EXPECT_EQ(At(*decoded, 0, 0), 0xFF002000);
  EXPECT_EQ(At(*decoded, 1, 0), 0xFF300000);
  EXPECT_EQ(At(*decoded, 2, 0), 0xFF000010);
}

TEST(BmpDecoder, EightBitPixelsReadBottomUp) {
  BmpFile bmp{.width = 2, .height = 2, .bitsPerPixel = 8, .coloursUsed = 4,
              .palette = {0x000000, 0xFF0000, 0x00FF00, 0x0000FF}};
  bmp.pixels = Rows({{1, 2}, {3, 0}});
  const auto decoded = Decode(bmp.Build());
  ASSERT_TRUE(decoded);
  EXPECT_EQ(At(*decoded, 0, 0), 0xFF0000FF);
  EXPECT_EQ(At(*decoded, 1, 0), 0xFF000000);
  EXPECT_EQ(At(*decoded, 0, 1), 0xFFFF0000);
  EXPECT_EQ(At(*decoded, 1, 1), 0xFF00FF00);
}

TEST(BmpDecoder, SixteenBitsWithoutMasksAreFiveFiveFive) {
  BmpFile bmp{.width = 2, .bitsPerPixel = 16};
  bmp.pixels = Rows({Words16({0x7C00, 16 << 10 | 1 << 5 | 31})});
  const auto decoded = Decode(bmp.Build());
  ASSERT_TRUE(decoded);
  EXPECT_EQ(At(*decoded, 0, 0), 0xFFFF0000);
  EXPECT_EQ(At(*decoded, 1, 0), 0xFF8408FF);  // 16 of 31 is 132, 1 of 31 is 8
}

TEST(BmpDecoder, SixteenBitFieldsFiveSixFive) {
  BmpFile bmp{.width = 3, .bitsPerPixel = 16, .compression = 3,
              .masks = {0xF800, 0x07E0, 0x001F}};
  bmp.pixels = Rows({Words16({31 << 11 | 32 << 5, 63 << 5, 1})});
  const auto decoded = Decode(bmp.Build());
  ASSERT_TRUE(decoded);
  EXPECT_FALSE(decoded->hasAlpha);
  EXPECT_EQ(At(*decoded, 0, 0), 0xFFFF8200);  // 32 of 63 is 130
  EXPECT_EQ(At(*decoded, 1, 0), 0xFF00FF00);
  EXPECT_EQ(At(*decoded, 2, 0), 0xFF000008);
}

TEST(BmpDecoder, TwentyFourBitRowsSkipTheirPadding) {
  BmpFile bmp{.width = 3, .height = 2};
  bmp.pixels = Rows({{1, 2, 3, 4, 5, 6, 7, 8, 9}, {10, 11, 12, 13, 14, 15, 16, 17, 18}});
  const auto decoded = Decode(bmp.Build());
  ASSERT_TRUE(decoded);
  EXPECT_EQ(At(*decoded, 0, 0), 0xFF0C0B0A);
  EXPECT_EQ(At(*decoded, 2, 0), 0xFF121110);
  EXPECT_EQ(At(*decoded, 0, 1), 0xFF030201);
  EXPECT_EQ(At(*decoded, 2, 1), 0xFF090807);
}

TEST(BmpDecoder, ThirtyTwoBitsWithoutMasksIgnoreTheFourthByte) {
  BmpFile bmp{.width = 2, .bitsPerPixel = 32};
  bmp.pixels = Words32({0x00123456, 0x7F000000});
  const auto decoded = Decode(bmp.Build());
  ASSERT_TRUE(decoded);
  EXPECT_FALSE(decoded->hasAlpha);
  EXPECT_EQ(At(*decoded, 0, 0), 0xFF123456);
  EXPECT_EQ(At(*decoded, 1, 0), kBlack);
}

TEST(BmpDecoder, WideMasksKeepTheirTopBitsAndThreeMasksCarryNoAlpha) {
  BmpFile bmp{.width = 2, .bitsPerPixel = 32, .compression = 3,
              .masks = {0x3FF00000, 0x000FFC00, 0x000003FF}};
  bmp.pixels = Words32({0x3FF00000 | 0x200 << 10 | 0x0FF, 0x00000000});
  const auto decoded = Decode(bmp.Build());
  ASSERT_TRUE(decoded);
  EXPECT_FALSE(decoded->hasAlpha);
  EXPECT_EQ(At(*decoded, 0, 0), 0xFFFF803F);
  EXPECT_EQ(At(*decoded, 1, 0), kBlack);
}

TEST(BmpDecoder, VersionFiveAlphaIsPremultiplied) {
  BmpFile bmp{.infoSize = 124, .width = 3, .bitsPerPixel = 32, .compression = 3,
              .masks = {0x00FF0000, 0x0000FF00, 0x000000FF, 0xFF000000}};
  bmp.pixels = Words32({0x80C86432, 0xFF102030, 0x00FFFFFF});
  const auto decoded = Decode(bmp.Build());
  ASSERT_TRUE(decoded);
  EXPECT_TRUE(decoded->hasAlpha);
  EXPECT_EQ(At(*decoded, 0, 0), 0x80643219);  // 200, 100, 50 at 128 of 255
  EXPECT_EQ(At(*decoded, 1, 0), 0xFF102030);
  EXPECT_EQ(At(*decoded, 2, 0), 0x00000000);
}

TEST(BmpDecoder, AnAlphaMaskWithEveryPixelOpaqueHasNoAlpha) {
  BmpFile bmp{.infoSize = 108, .width = 1, .bitsPerPixel = 32, .compression = 3,
              .masks = {0x00FF0000, 0x0000FF00, 0x000000FF, 0xFF000000}};
  bmp.pixels = Words32({0xFF010203});
  const auto decoded = Decode(bmp.Build());
  ASSERT_TRUE(decoded);
  EXPECT_FALSE(decoded->hasAlpha);
  EXPECT_EQ(At(*decoded, 0, 0), 0xFF010203);
}

TEST(BmpDecoder, AnAlphaMaskThatIsZeroEverywhereIsTakenAsOpaque) {
  BmpFile bmp{.infoSize = 124, .width = 2, .bitsPerPixel = 32, .compression = 3,
              .masks = {0x00FF0000, 0x0000FF00, 0x000000FF, 0xFF000000}};
  bmp.pixels = Words32({0x00010203, 0x00FFFFFF});
  const auto decoded = Decode(bmp.Build());
  ASSERT_TRUE(decoded);
  EXPECT_FALSE(decoded->hasAlpha);
  EXPECT_EQ(At(*decoded, 0, 0), 0xFF010203);
  EXPECT_EQ(At(*decoded, 1, 0), 0xFFFFFFFF);
}

TEST(BmpDecoder, CoreHeaderHasThreeBytePaletteEntries) {
  BmpFile bmp{.infoSize = 12, .width = 3, .height = 2, .bitsPerPixel = 8,
              .palette = std::vector<std::uint32_t>(256, 0x000000)};
  bmp.palette[1] = 0x102030;
  bmp.palette[2] = 0x405060;
  bmp.pixels = Rows({{0, 0, 0}, {1, 2, 0}});
  const auto decoded = Decode(bmp.Build());
  ASSERT_TRUE(decoded);
  EXPECT_EQ(At(*decoded, 0, 0), 0xFF102030);
  EXPECT_EQ(At(*decoded, 1, 0), 0xFF405060);
  EXPECT_EQ(At(*decoded, 0, 1), kBlack);
}

TEST(BmpDecoder, NegativeHeightReadsTopDown) {
  BmpFile bmp{.width = 1, .height = -2};
  bmp.pixels = Rows({{1, 2, 3}, {4, 5, 6}});
  const auto decoded = Decode(bmp.Build());
  ASSERT_TRUE(decoded);
  EXPECT_EQ(decoded->pixels->Height(), 2);
  EXPECT_EQ(At(*decoded, 0, 0), 0xFF030201);
  EXPECT_EQ(At(*decoded, 0, 1), 0xFF060504);
}

const std::vector<std::uint32_t> kFourColours = {0x000000, 0xFF0000, 0x00FF00, 0x0000FF};

TEST(BmpDecoder, RunLengthEightBits) {
  BmpFile bmp{.width = 6, .height = 3, .bitsPerPixel = 8, .compression = 1, .coloursUsed = 4,
              .palette = kFourColours};
  bmp.pixels = {3, 1,   0, 3, 2, 3, 2, 0,  // run, absolute run with its pad byte
                0, 0,                      // end of line
                2, 2,                      // two pixels
                0, 2, 1, 1,                // delta: one right, one up
                1, 3, 0, 1};               // one pixel, end of bitmap
  const auto decoded = Decode(bmp.Build());
  ASSERT_TRUE(decoded);
  EXPECT_FALSE(decoded->hasAlpha);
  EXPECT_EQ(At(*decoded, 0, 2), 0xFFFF0000);
  EXPECT_EQ(At(*decoded, 2, 2), 0xFFFF0000);
  EXPECT_EQ(At(*decoded, 3, 2), 0xFF00FF00);
  EXPECT_EQ(At(*decoded, 4, 2), 0xFF0000FF);
  EXPECT_EQ(At(*decoded, 5, 2), 0xFF00FF00);
  EXPECT_EQ(At(*decoded, 1, 1), 0xFF00FF00);
  EXPECT_EQ(At(*decoded, 2, 1), kBlack) << "skipped by the delta";
  EXPECT_EQ(At(*decoded, 3, 1), kBlack);
  EXPECT_EQ(At(*decoded, 2, 0), kBlack);
  EXPECT_EQ(At(*decoded, 3, 0), 0xFF0000FF);
  EXPECT_EQ(At(*decoded, 4, 0), kBlack);
}

TEST(BmpDecoder, RunLengthFourBits) {
  BmpFile bmp{.width = 5, .height = 2, .bitsPerPixel = 4, .compression = 2, .coloursUsed = 4,
              .palette = kFourColours};
  bmp.pixels = {5, 0x12, 0, 0,      // alternating nibbles
                0, 3, 0x31, 0x20,   // absolute run of three nibbles
                0, 1};
  const auto decoded = Decode(bmp.Build());
  ASSERT_TRUE(decoded);
  const std::uint32_t bottom[] = {0xFFFF0000, 0xFF00FF00, 0xFFFF0000, 0xFF00FF00, 0xFFFF0000};
  for (std::int32_t x = 0; x < 5; ++x) EXPECT_EQ(At(*decoded, x, 1), bottom[x]) << x;
  EXPECT_EQ(At(*decoded, 0, 0), 0xFF0000FF);
  EXPECT_EQ(At(*decoded, 1, 0), 0xFFFF0000);
  EXPECT_EQ(At(*decoded, 2, 0), 0xFF00FF00);
  EXPECT_EQ(At(*decoded, 3, 0), kBlack);
}

TEST(BmpDecoder, RunsAreClippedToTheirRow) {
  BmpFile bmp{.width = 2, .height = 2, .bitsPerPixel = 8, .compression = 1, .coloursUsed = 4,
              .palette = kFourColours};
  bmp.pixels = {5, 1, 0, 4, 2, 2, 2, 2, 0, 0, 1, 3, 0, 1};
  const auto decoded = Decode(bmp.Build());
  ASSERT_TRUE(decoded);
  EXPECT_EQ(At(*decoded, 0, 1), 0xFFFF0000);
  EXPECT_EQ(At(*decoded, 1, 1), 0xFFFF0000);
  EXPECT_EQ(At(*decoded, 0, 0), 0xFF0000FF);
  EXPECT_EQ(At(*decoded, 1, 0), kBlack);
}

TEST(BmpDecoder, RunLengthDataThatStopsEarlyKeepsWhatWasDrawn) {
  BmpFile bmp{.width = 2, .height = 2, .bitsPerPixel = 8, .compression = 1, .coloursUsed = 4,
              .palette = kFourColours};
  bmp.pixels = {1, 3, 0, 0, 1, 2, 0};
  const auto decoded = Decode(bmp.Build());
  ASSERT_TRUE(decoded);
  EXPECT_EQ(At(*decoded, 0, 1), 0xFF0000FF);
  EXPECT_EQ(At(*decoded, 0, 0), 0xFF00FF00);
  EXPECT_EQ(At(*decoded, 1, 0), kBlack);
}

TEST(BmpDecoder, RefusesPicturesBeyondThePixelLimits) {
  const gdi::PixelLimits saved = gdi::GetPixelLimits();
  gdi::SetPixelLimits({4, 12});
  BmpFile bmp{.width = 4, .height = 4};
  bmp.pixels = Bytes(64);
  EXPECT_FALSE(Decode(bmp.Build()));
  bmp.height = 3;
  EXPECT_TRUE(Decode(bmp.Build()));
  gdi::SetPixelLimits(saved);
}

TEST(BmpDecoder, EveryTruncationOfAnUncompressedFileIsRefused) {
  BmpFile bmp{.width = 3, .height = 2, .bitsPerPixel = 8, .coloursUsed = 2,
              .palette = {0x010101, 0x020202}};
  bmp.pixels = Rows({{0, 1, 0}, {1, 0, 1}});
  const Bytes whole = bmp.Build();
  ASSERT_TRUE(Decode(whole));
  for (std::size_t size = 0; size < whole.size(); ++size)
    EXPECT_FALSE(DecodeBmp(std::span(whole.data(), size))) << size << " bytes";
}

// Damaged copies of good files must decode or be refused without reading
// outside the input; the sanitizer build is what makes this test bite.
TEST(BmpDecoder, DamagedFilesNeverReadOutsideTheirBytes) {
  BmpFile rle{.width = 7, .height = 5, .bitsPerPixel = 4, .compression = 2, .coloursUsed = 4,
              .palette = kFourColours};
  rle.pixels = {9, 0x12, 0, 5, 0x12, 0x30, 0x10, 0, 2, 3, 2, 4, 0x11, 0, 0, 0, 1};
  BmpFile masked{.infoSize = 124, .width = 3, .height = -2, .bitsPerPixel = 16, .compression = 3,
                 .masks = {0xF00, 0xF0, 0xF, 0xF000}};
  masked.pixels = Rows({Words16({1, 2, 3}), Words16({4, 5, 6})});
  BmpFile core{.infoSize = 12, .width = 5, .height = 3, .bitsPerPixel = 1,
               .palette = {0xFFFFFF, 0}};
  core.pixels = Rows({{0xA8}, {0x50}, {0xF8}});
  std::mt19937 random(20240611);
  for (const Bytes& good : {rle.Build(), masked.Build(), core.Build()}) {
    ASSERT_TRUE(DecodeBmp(good));
    for (int round = 0; round < 3000; ++round) {
      Bytes file = good;
      const int changes = 1 + static_cast<int>(random() % 4);
      for (int i = 0; i < changes; ++i)
        file[random() % file.size()] = static_cast<std::uint8_t>(random());
      file.resize(file.size() - random() % 3);
      const auto decoded = DecodeBmp(file);
      if (decoded) {
        ASSERT_TRUE(gdi::WithinPixelLimits(decoded->pixels->Width(), decoded->pixels->Height()));
        ASSERT_EQ(decoded->pixels->Format(), gdi::PixelFormat::Bgrx32);
      }
    }
  }
}

const std::filesystem::path kMalformed =
    std::filesystem::path(__FILE__).parent_path() / "malformed";

Bytes ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

TEST(BmpDecoder, MalformedFilesAreRefusedUnlessOnlyOdd) {
  const std::set<std::string> odd = {
      "palette-index-beyond-palette.bmp", "rle-run-past-row.bmp",
      "rle-absolute-past-row.bmp",        "rle-delta-past-end.bmp",
      "rle-line-past-end.bmp",            "rle-without-end.bmp",
      "rle-absolute-past-file.bmp",
  };
  int files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(kMalformed)) {
    if (entry.path().extension() != ".bmp") continue;
    ++files;
    const std::string name = entry.path().filename().string();
    EXPECT_EQ(DecodeBmp(ReadFile(entry.path())).has_value(), odd.contains(name)) << name;
  }
  EXPECT_GE(files, 30);
}

TEST(BmpDecoder, PaletteIndexBeyondThePaletteIsBlack) {
  const auto decoded = Decode(ReadFile(kMalformed / "palette-index-beyond-palette.bmp"));
  ASSERT_TRUE(decoded);
  EXPECT_EQ(At(*decoded, 0, 0), 0xFFFFFFFF);
  EXPECT_EQ(At(*decoded, 1, 0), kBlack);
}

}  // namespace
}  // namespace kelvane::picture
