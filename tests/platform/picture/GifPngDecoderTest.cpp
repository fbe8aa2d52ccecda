#include <gif_lib.h>
#include <gtest/gtest.h>
#include <png.h>

#include <array>
#include <csetjmp>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <optional>
#include <random>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "platform/picture/Decoders.h"

namespace kelvane::picture {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;
using Bgra = std::array<std::uint8_t, 4>;

Bgra PixelAt(const Decoded& decoded, std::int32_t x, std::int32_t y) {
  const std::uint8_t* p = decoded.pixels->Row(y) + 4 * x;
  return {p[0], p[1], p[2], p[3]};
}

constexpr Bgra kClear{0, 0, 0, 0};

// Narrower pixel limits for one test, put back when it ends.
class LimitsFor {
 public:
  explicit LimitsFor(gdi::PixelLimits limits) : saved_(gdi::GetPixelLimits()) {
    gdi::SetPixelLimits(limits);
  }
  LimitsFor(const LimitsFor&) = delete;
  LimitsFor& operator=(const LimitsFor&) = delete;
  ~LimitsFor() { gdi::SetPixelLimits(saved_); }

 private:
  gdi::PixelLimits saved_;
};

// ---------------------------------------------------------------- GIF files

struct GifFrame {
  int left = 0;
  int top = 0;
  int width = 0;
  int height = 0;
  bool interlaced = false;  // the lines are then given in the file's order
  std::vector<GifColorType> localMap{};
  int transparent = NO_TRANSPARENT_COLOR;  // written in a control block before the frame
  std::vector<Bytes> lines{};              // colour indices, one line after the other
};

struct GifPicture {
  int width = 0;
  int height = 0;
  std::vector<GifColorType> globalMap{};
  std::vector<GifFrame> frames{};
};

int AppendToBytes(GifFileType* gif, const GifByteType* bytes, int length) {
  auto& out = *static_cast<Bytes*>(gif->UserData);
  out.insert(out.end(), bytes, bytes + length);
  return length;
}

struct MapFree {
  void operator()(ColorMapObject* map) const { GifFreeMapObject(map); }
};
using ColourMap = std::unique_ptr<ColorMapObject, MapFree>;

ColourMap MakeMap(const std::vector<GifColorType>& colours) {
  if (colours.empty()) return nullptr;
  return ColourMap(GifMakeMapObject(static_cast<int>(colours.size()), colours.data()));
}

// Writes the picture through giflib's encoder, each frame's lines exactly as given.
Bytes EncodeGif(const GifPicture& picture) {
  Bytes out;
  int error = E_GIF_SUCCEEDED;
  GifFileType* gif = EGifOpen(&out, AppendToBytes, &error);
  EXPECT_NE(gif, nullptr);
  if (gif == nullptr) return out;
  EGifSetGifVersion(gif, true);
  const ColourMap global = MakeMap(picture.globalMap);
  EXPECT_EQ(EGifPutScreenDesc(gif, picture.width, picture.height, 8, 0, global.get()), GIF_OK);
  for (const GifFrame& frame : picture.frames) {
    if (frame.transparent != NO_TRANSPARENT_COLOR) {
      const GraphicsControlBlock control{DISPOSAL_UNSPECIFIED, false, 0, frame.transparent};
      GifByteType block[4];
      EGifGCBToExtension(&control, block);
      EXPECT_EQ(EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, 4, block), GIF_OK);
    }
    const ColourMap local = MakeMap(frame.localMap);
    EXPECT_EQ(EGifPutImageDesc(gif, frame.left, frame.top, frame.width, frame.height,
                               frame.interlaced, local.get()),
              GIF_OK);
    for (Bytes line : frame.lines)
      EXPECT_EQ(EGifPutLine(gif, line.data(), static_cast<int>(line.size())), GIF_OK);
  }
  EXPECT_EQ(EGifCloseFile(gif, &error), GIF_OK);
  return out;
}

const std::vector<GifColorType> kFourColours{
    {200, 10, 20}, {30, 220, 40}, {50, 60, 240}, {7, 8, 9}};

// One frame covering the whole screen.
GifPicture FullFrame(int width, int height, std::vector<Bytes> lines) {
  GifPicture picture{.width = width, .height = height, .globalMap = kFourColours};
  picture.frames.push_back({.width = width, .height = height, .lines = std::move(lines)});
  return picture;
}

Bgra Opaque(const GifColorType& c) { return {c.Blue, c.Green, c.Red, 255}; }

TEST(GifDecoder, PaintsTheGlobalColourMap) {
  const auto decoded = DecodeGif(EncodeGif(FullFrame(3, 2, {{0, 1, 2}, {3, 2, 1}})));
  ASSERT_TRUE(decoded);
  EXPECT_EQ(decoded->pixels->Width(), 3);
  EXPECT_EQ(decoded->pixels->Height(), 2);
  EXPECT_FALSE(decoded->hasAlpha);
  EXPECT_EQ(PixelAt(*decoded, 0, 0), (Bgra{20, 10, 200, 255}));
  EXPECT_EQ(PixelAt(*decoded, 1, 0), (Bgra{40, 220, 30, 255}));
  EXPECT_EQ(PixelAt(*decoded, 0, 1), (Bgra{9, 8, 7, 255}));
  EXPECT_EQ(PixelAt(*decoded, 2, 1), Opaque(kFourColours[1]));
}

TEST(GifDecoder, PrefersTheFramesLocalColourMap) {
  GifPicture picture = FullFrame(2, 1, {{0, 1}});
  picture.frames[0].localMap = {{1, 2, 3}, {250, 251, 252}};
  const auto decoded = DecodeGif(EncodeGif(picture));
  ASSERT_TRUE(decoded);
  EXPECT_EQ(PixelAt(*decoded, 0, 0), (Bgra{3, 2, 1, 255}));
  EXPECT_EQ(PixelAt(*decoded, 1, 0), (Bgra{252, 251, 250, 255}));
}

TEST(GifDecoder, UsesALocalColourMapWhenThereIsNoGlobalOne) {
  GifPicture picture = FullFrame(1, 1, {{1}});
  picture.globalMap.clear();
  picture.frames[0].localMap = {{1, 2, 3}, {90, 91, 92}};
  const auto decoded = DecodeGif(EncodeGif(picture));
  ASSERT_TRUE(decoded);
  EXPECT_EQ(PixelAt(*decoded, 0, 0), (Bgra{92, 91, 90, 255}));
}

TEST(GifDecoder, ClearsTheTransparentIndex) {
  GifPicture picture = FullFrame(3, 1, {{0, 2, 1}});
  picture.frames[0].transparent = 2;
  const auto decoded = DecodeGif(EncodeGif(picture));
  ASSERT_TRUE(decoded);
  EXPECT_TRUE(decoded->hasAlpha);
  EXPECT_EQ(PixelAt(*decoded, 0, 0), Opaque(kFourColours[0]));
  EXPECT_EQ(PixelAt(*decoded, 1, 0), kClear);
  EXPECT_EQ(PixelAt(*decoded, 2, 0), Opaque(kFourColours[1]));
}

TEST(GifDecoder, AnUnusedTransparentIndexLeavesThePictureOpaque) {
  GifPicture picture = FullFrame(2, 1, {{0, 1}});
  picture.frames[0].transparent = 3;
  const auto decoded = DecodeGif(EncodeGif(picture));
  ASSERT_TRUE(decoded);
  EXPECT_FALSE(decoded->hasAlpha);
}

TEST(GifDecoder, PlacesTheFrameAtItsOffsetAndClearsTheRest) {
  GifPicture picture{.width = 5, .height = 4, .globalMap = kFourColours};
  picture.frames.push_back(
      {.left = 2, .top = 1, .width = 2, .height = 2, .lines = {{0, 1}, {2, 3}}});
  const auto decoded = DecodeGif(EncodeGif(picture));
  ASSERT_TRUE(decoded);
  EXPECT_EQ(decoded->pixels->Width(), 5);
  EXPECT_EQ(decoded->pixels->Height(), 4);
  EXPECT_TRUE(decoded->hasAlpha);
  EXPECT_EQ(PixelAt(*decoded, 2, 1), Opaque(kFourColours[0]));
  EXPECT_EQ(PixelAt(*decoded, 3, 1), Opaque(kFourColours[1]));
  EXPECT_EQ(PixelAt(*decoded, 2, 2), Opaque(kFourColours[2]));
  EXPECT_EQ(PixelAt(*decoded, 3, 2), Opaque(kFourColours[3]));
  for (const auto& [x, y] : {std::pair{0, 0}, {1, 1}, {4, 1}, {2, 0}, {2, 3}, {4, 3}})
    EXPECT_EQ(PixelAt(*decoded, x, y), kClear) << x << "," << y;
}

TEST(GifDecoder, ClipsAFrameThatReachesBeyondTheScreen) {
  GifPicture picture{.width = 3, .height = 2, .globalMap = kFourColours};
  picture.frames.push_back({.left = 1,
                            .top = 1,
                            .width = 4,
                            .height = 3,
                            .lines = {{0, 1, 2, 3}, {3, 3, 3, 3}, {2, 2, 2, 2}}});
  const auto decoded = DecodeGif(EncodeGif(picture));
  ASSERT_TRUE(decoded);
  EXPECT_EQ(decoded->pixels->Width(), 3);
  EXPECT_EQ(decoded->pixels->Height(), 2);
  EXPECT_EQ(PixelAt(*decoded, 0, 1), kClear);
  EXPECT_EQ(PixelAt(*decoded, 1, 1), Opaque(kFourColours[0]));
  EXPECT_EQ(PixelAt(*decoded, 2, 1), Opaque(kFourColours[1]));
  EXPECT_EQ(PixelAt(*decoded, 2, 0), kClear);
}

TEST(GifDecoder, AScreenOfNoSizeTakesTheFramesExtent) {
  GifPicture picture{.width = 0, .height = 0, .globalMap = kFourColours};
  picture.frames.push_back({.left = 1, .top = 2, .width = 2, .height = 1, .lines = {{3, 1}}});
  const auto decoded = DecodeGif(EncodeGif(picture));
  ASSERT_TRUE(decoded);
  EXPECT_EQ(decoded->pixels->Width(), 3);
  EXPECT_EQ(decoded->pixels->Height(), 3);
  EXPECT_EQ(PixelAt(*decoded, 2, 2), Opaque(kFourColours[1]));
  EXPECT_EQ(PixelAt(*decoded, 0, 0), kClear);
}

TEST(GifDecoder, PutsInterlacedLinesInTheirRows) {
  // The file holds rows 0 and 8, then 4, then 2 and 6, then the odd rows.
  const int fileOrder[10] = {0, 8, 4, 2, 6, 1, 3, 5, 7, 9};
  GifPicture picture{.width = 1, .height = 10};
  for (std::uint8_t i = 0; i < 16; ++i)
    picture.globalMap.push_back({static_cast<GifByteType>(10 * i), 0, 0});
  GifFrame frame{.width = 1, .height = 10, .interlaced = true};
  for (const int row : fileOrder) frame.lines.push_back({static_cast<std::uint8_t>(row)});
  picture.frames.push_back(frame);
  const auto decoded = DecodeGif(EncodeGif(picture));
  ASSERT_TRUE(decoded);
  for (std::int32_t y = 0; y < 10; ++y)
    EXPECT_EQ(PixelAt(*decoded, 0, y), (Bgra{0, 0, static_cast<std::uint8_t>(10 * y), 255}))
        << "row " << y;
}

TEST(GifDecoder, DrawsOnlyTheFirstFrame) {
  GifPicture picture = FullFrame(2, 1, {{0, 0}});
  picture.frames.push_back({.width = 2, .height = 1, .transparent = 0, .lines = {{1, 2}}});
  const Bytes file = EncodeGif(picture);
  const auto decoded = DecodeGif(file);
  ASSERT_TRUE(decoded);
  EXPECT_FALSE(decoded->hasAlpha);
  EXPECT_EQ(PixelAt(*decoded, 1, 0), Opaque(kFourColours[0]));

  // The second frame is never read: cut short, the file still gives the first.
  const Bytes cut(file.begin(), file.end() - 6);
  const auto fromCut = DecodeGif(cut);
  ASSERT_TRUE(fromCut);
  EXPECT_EQ(PixelAt(*fromCut, 1, 0), Opaque(kFourColours[0]));
}

TEST(GifDecoder, PaintsIndicesBeyondTheColourMapOpaqueBlack) {
  // A two-colour map is coded with 2-bit pixels, so indices 2 and 3 still occur.
  GifPicture picture = FullFrame(3, 1, {{1, 3, 2}});
  picture.globalMap = {{100, 110, 120}, {130, 140, 150}};
  const auto decoded = DecodeGif(EncodeGif(picture));
  ASSERT_TRUE(decoded);
  EXPECT_EQ(PixelAt(*decoded, 0, 0), (Bgra{150, 140, 130, 255}));
  EXPECT_EQ(PixelAt(*decoded, 1, 0), (Bgra{0, 0, 0, 255}));
  EXPECT_EQ(PixelAt(*decoded, 2, 0), (Bgra{0, 0, 0, 255}));
}

TEST(GifDecoder, RefusesAScreenOrFrameBeyondThePixelLimits) {
  const LimitsFor limits({100, 2000});
  EXPECT_TRUE(DecodeGif(EncodeGif(FullFrame(100, 20, std::vector<Bytes>(20, Bytes(100))))));
  EXPECT_FALSE(DecodeGif(EncodeGif(FullFrame(101, 1, {Bytes(101)}))));
  EXPECT_FALSE(DecodeGif(EncodeGif(FullFrame(50, 41, std::vector<Bytes>(41, Bytes(50))))));
  GifPicture wideFrame{.width = 10, .height = 1, .globalMap = kFourColours};
  wideFrame.frames.push_back({.width = 101, .height = 1, .lines = {Bytes(101)}});
  EXPECT_FALSE(DecodeGif(EncodeGif(wideFrame)));
}

TEST(GifDecoder, RefusesEveryFileCutBeforeTheFirstFrameEnds) {
  GifPicture picture = FullFrame(7, 5, {});
  for (int y = 0; y < 5; ++y) picture.frames[0].lines.push_back({0, 1, 2, 3, 2, 1, 0});
  const Bytes file = EncodeGif(picture);
  // Only the trailer byte may go; the frame's data ends just before it.
  for (std::size_t size = 0; size + 1 < file.size(); ++size)
    EXPECT_FALSE(DecodeGif(std::span(file).first(size))) << size << " bytes";
  EXPECT_TRUE(DecodeGif(std::span(file).first(file.size() - 1)));
}

// ---------------------------------------------------------------- PNG files

struct PngPicture {
  png_uint_32 width = 0;
  png_uint_32 height = 0;
  int colourType = PNG_COLOR_TYPE_RGB;
  int bitDepth = 8;
  bool interlaced = false;
  std::vector<png_color> palette{};
  Bytes paletteAlpha{};                       // tRNS of a palette picture
  std::optional<png_color_16> transparent{};  // tRNS of a grey or RGB picture
  std::vector<Bytes> rows{};                  // as they stand in the file, packed
};

void AppendPngBytes(png_structp png, png_bytep bytes, std::size_t length) {
  auto& out = *static_cast<Bytes*>(png_get_io_ptr(png));
  out.insert(out.end(), bytes, bytes + length);
}

void NoFlush(png_structp) {}

// Writes with libpng; false when libpng reported an error. Nothing in here
// has a destructor, as libpng leaves by longjmp.
bool WritePng(png_structp png, png_infop info, const PngPicture& picture, png_bytepp rows) {
  if (setjmp(png_jmpbuf(png)) != 0) return false;
  png_set_IHDR(png, info, picture.width, picture.height, picture.bitDepth, picture.colourType,
               picture.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  if (!picture.palette.empty())
    png_set_PLTE(png, info, picture.palette.data(), static_cast<int>(picture.palette.size()));
  if (!picture.paletteAlpha.empty())
    png_set_tRNS(png, info, picture.paletteAlpha.data(),
                 static_cast<int>(picture.paletteAlpha.size()), nullptr);
  if (picture.transparent) png_set_tRNS(png, info, nullptr, 0, &*picture.transparent);
  png_write_info(png, info);
  png_write_image(png, rows);
  png_write_end(png, nullptr);
  return true;
}

Bytes EncodePng(const PngPicture& picture) {
  Bytes out;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  png_set_write_fn(png, &out, AppendPngBytes, NoFlush);
  std::vector<png_bytep> rows;
  std::vector<Bytes> rowBytes = picture.rows;
  for (Bytes& row : rowBytes) rows.push_back(row.data());
  EXPECT_TRUE(WritePng(png, info, picture, rows.data()));
  png_destroy_write_struct(&png, &info);
  return out;
}

// Samples of `bits` each, packed from the high bits of each byte down.
Bytes Packed(int bits, const std::vector<int>& samples) {
  Bytes row((samples.size() * static_cast<std::size_t>(bits) + 7) / 8);
  for (std::size_t i = 0; i < samples.size(); ++i) {
    const std::size_t bit = i * static_cast<std::size_t>(bits);
    row[bit / 8] |= static_cast<std::uint8_t>(samples[i] << (8 - bits - static_cast<int>(bit % 8)));
  }
  return row;
}

// 16-bit samples, high byte first.
Bytes Wide(const std::vector<int>& samples) {
  Bytes row;
  for (const int s : samples) {
    row.push_back(static_cast<std::uint8_t>(s >> 8));
    row.push_back(static_cast<std::uint8_t>(s));
  }
  return row;
}

Bgra Grey(std::uint8_t level) { return {level, level, level, 255}; }

// A 9 x 2 palette picture of `bits` a pixel, every palette entry a different colour.
PngPicture PalettePicture(int bits, int (*indexAt)(int x, int y)) {
  PngPicture picture{
      .width = 9, .height = 2, .colourType = PNG_COLOR_TYPE_PALETTE, .bitDepth = bits};
  const int colours = 1 << bits;
  for (int i = 0; i < colours; ++i)
    picture.palette.push_back({static_cast<png_byte>(7 * i + 1), static_cast<png_byte>(255 - i),
                               static_cast<png_byte>(3 * i)});
  for (int y = 0; y < 2; ++y) {
    std::vector<int> indices;
    for (int x = 0; x < 9; ++x) indices.push_back(indexAt(x, y) % colours);
    picture.rows.push_back(Packed(bits, indices));
  }
  return picture;
}

TEST(PngDecoder, PaintsPaletteColoursAtEveryDepth) {
  auto indexAt = [](int x, int y) { return 5 * x + 3 * y; };
  for (const int bits : {1, 2, 4, 8}) {
    SCOPED_TRACE(std::to_string(bits) + " bits");
    const PngPicture picture = PalettePicture(bits, indexAt);
    const auto decoded = DecodePng(EncodePng(picture));
    ASSERT_TRUE(decoded);
    EXPECT_FALSE(decoded->hasAlpha);
    for (std::int32_t y = 0; y < 2; ++y)
      for (std::int32_t x = 0; x < 9; ++x) {
        const auto index = static_cast<std::size_t>(indexAt(x, y) % (1 << bits));
        const png_color& c = picture.palette[index];
        EXPECT_EQ(PixelAt(*decoded, x, y), (Bgra{c.blue, c.green, c.red, 255})) << x << "," << y;
      }
  }
}

TEST(PngDecoder, SpreadsLowGreyDepthsOverTheWholeRange) {
  const PngPicture one{.width = 9,
                       .height = 1,
                       .colourType = PNG_COLOR_TYPE_GRAY,
                       .bitDepth = 1,
                       .rows = {Packed(1, {1, 0, 0, 0, 0, 0, 0, 0, 1})}};
  const auto fromOne = DecodePng(EncodePng(one));
  ASSERT_TRUE(fromOne);
  EXPECT_EQ(PixelAt(*fromOne, 0, 0), Grey(255));
  EXPECT_EQ(PixelAt(*fromOne, 1, 0), Grey(0));
  EXPECT_EQ(PixelAt(*fromOne, 8, 0), Grey(255));

  const PngPicture four{.width = 3,
                        .height = 1,
                        .colourType = PNG_COLOR_TYPE_GRAY,
                        .bitDepth = 4,
                        .rows = {Packed(4, {5, 15, 1})}};
  const auto fromFour = DecodePng(EncodePng(four));
  ASSERT_TRUE(fromFour);
  EXPECT_EQ(PixelAt(*fromFour, 0, 0), Grey(0x55));
  EXPECT_EQ(PixelAt(*fromFour, 1, 0), Grey(0xFF));
  EXPECT_EQ(PixelAt(*fromFour, 2, 0), Grey(0x11));
}

TEST(PngDecoder, ReadsEightAndSixteenBitGrey) {
  const PngPicture eight{
      .width = 2, .height = 1, .colourType = PNG_COLOR_TYPE_GRAY, .rows = {{0x37, 0xC8}}};
  const auto fromEight = DecodePng(EncodePng(eight));
  ASSERT_TRUE(fromEight);
  EXPECT_FALSE(fromEight->hasAlpha);
  EXPECT_EQ(PixelAt(*fromEight, 0, 0), Grey(0x37));
  EXPECT_EQ(PixelAt(*fromEight, 1, 0), Grey(0xC8));

  const PngPicture sixteen{.width = 3,
                           .height = 1,
                           .colourType = PNG_COLOR_TYPE_GRAY,
                           .bitDepth = 16,
                           .rows = {Wide({0x1234, 0x00FF, 0xFFFF})}};
  const auto fromSixteen = DecodePng(EncodePng(sixteen));
  ASSERT_TRUE(fromSixteen);
  EXPECT_EQ(PixelAt(*fromSixteen, 0, 0), Grey(0x12));
  EXPECT_EQ(PixelAt(*fromSixteen, 1, 0), Grey(0x00));
  EXPECT_EQ(PixelAt(*fromSixteen, 2, 0), Grey(0xFF));
}

TEST(PngDecoder, PremultipliesGreyWithAlpha) {
  const PngPicture picture{.width = 3,
                           .height = 1,
                           .colourType = PNG_COLOR_TYPE_GRAY_ALPHA,
                           .rows = {{200, 128, 10, 255, 90, 0}}};
  const auto decoded = DecodePng(EncodePng(picture));
  ASSERT_TRUE(decoded);
  EXPECT_TRUE(decoded->hasAlpha);
  EXPECT_EQ(PixelAt(*decoded, 0, 0), (Bgra{100, 100, 100, 128}));
  EXPECT_EQ(PixelAt(*decoded, 1, 0), Grey(10));
  EXPECT_EQ(PixelAt(*decoded, 2, 0), kClear);
}

TEST(PngDecoder, MakesAGreyTransparentColourClear) {
  png_color_16 key{};
  key.gray = 77;
  const PngPicture picture{.width = 2,
                           .height = 1,
                           .colourType = PNG_COLOR_TYPE_GRAY,
                           .transparent = key,
                           .rows = {{77, 78}}};
  const auto decoded = DecodePng(EncodePng(picture));
  ASSERT_TRUE(decoded);
  EXPECT_TRUE(decoded->hasAlpha);
  EXPECT_EQ(PixelAt(*decoded, 0, 0), kClear);
  EXPECT_EQ(PixelAt(*decoded, 1, 0), Grey(78));
}

TEST(PngDecoder, ReadsEightBitRgbInBlueGreenRedOrder) {
  const PngPicture picture{
      .width = 2, .height = 2, .rows = {{1, 2, 3, 250, 0, 128}, {0, 0, 0, 255, 255, 255}}};
  const auto decoded = DecodePng(EncodePng(picture));
  ASSERT_TRUE(decoded);
  EXPECT_FALSE(decoded->hasAlpha);
  EXPECT_EQ(PixelAt(*decoded, 0, 0), (Bgra{3, 2, 1, 255}));
  EXPECT_EQ(PixelAt(*decoded, 1, 0), (Bgra{128, 0, 250, 255}));
  EXPECT_EQ(PixelAt(*decoded, 0, 1), (Bgra{0, 0, 0, 255}));
  EXPECT_EQ(PixelAt(*decoded, 1, 1), (Bgra{255, 255, 255, 255}));
}

TEST(PngDecoder, KeepsTheHighByteOfSixteenBitRgb) {
  const PngPicture picture{
      .width = 1, .height = 1, .bitDepth = 16, .rows = {Wide({0x1234, 0xABCD, 0x00FF})}};
  const auto decoded = DecodePng(EncodePng(picture));
  ASSERT_TRUE(decoded);
  EXPECT_EQ(PixelAt(*decoded, 0, 0), (Bgra{0x00, 0xAB, 0x12, 255}));
}

TEST(PngDecoder, MakesAnRgbTransparentColourClear) {
  png_color_16 key{};
  key.red = 10;
  key.green = 20;
  key.blue = 30;
  const PngPicture picture{
      .width = 2, .height = 1, .transparent = key, .rows = {{10, 20, 30, 10, 20, 31}}};
  const auto decoded = DecodePng(EncodePng(picture));
  ASSERT_TRUE(decoded);
  EXPECT_EQ(PixelAt(*decoded, 0, 0), kClear);
  EXPECT_EQ(PixelAt(*decoded, 1, 0), (Bgra{31, 20, 10, 255}));
}

TEST(PngDecoder, PremultipliesRgbaRoundingToNearest) {
  const PngPicture picture{
      .width = 4,
      .height = 1,
      .colourType = PNG_COLOR_TYPE_RGBA,
      .rows = {{200, 100, 50, 128, 3, 130, 255, 128, 1, 2, 3, 255, 9, 9, 9, 0}}};
  const auto decoded = DecodePng(EncodePng(picture));
  ASSERT_TRUE(decoded);
  EXPECT_TRUE(decoded->hasAlpha);
  EXPECT_EQ(PixelAt(*decoded, 0, 0), (Bgra{25, 50, 100, 128}));
  // 3 x 128 / 255 is 1.506 and 130 x 128 / 255 is 65.25.
  EXPECT_EQ(PixelAt(*decoded, 1, 0), (Bgra{128, 65, 2, 128}));
  EXPECT_EQ(PixelAt(*decoded, 2, 0), (Bgra{3, 2, 1, 255}));
  EXPECT_EQ(PixelAt(*decoded, 3, 0), kClear);
}

TEST(PngDecoder, AnOpaqueAlphaChannelLeavesThePictureOpaque) {
  const PngPicture picture{.width = 2,
                           .height = 1,
                           .colourType = PNG_COLOR_TYPE_RGBA,
                           .bitDepth = 16,
                           .rows = {Wide({0x0100, 0x0200, 0x0300, 0xFFFF, 0xFF00, 0, 0, 0xFFFF})}};
  const auto decoded = DecodePng(EncodePng(picture));
  ASSERT_TRUE(decoded);
  EXPECT_FALSE(decoded->hasAlpha);
  EXPECT_EQ(PixelAt(*decoded, 0, 0), (Bgra{3, 2, 1, 255}));
  EXPECT_EQ(PixelAt(*decoded, 1, 0), (Bgra{0, 0, 255, 255}));
}

TEST(PngDecoder, TakesPaletteAlphaFromTrns) {
  // Entries beyond the tRNS list are opaque.
  const PngPicture picture{.width = 3,
                           .height = 1,
                           .colourType = PNG_COLOR_TYPE_PALETTE,
                           .bitDepth = 2,
                           .palette = {{11, 12, 13}, {200, 100, 50}, {40, 50, 60}},
                           .paletteAlpha = {0, 128},
                           .rows = {Packed(2, {0, 1, 2})}};
  const auto decoded = DecodePng(EncodePng(picture));
  ASSERT_TRUE(decoded);
  EXPECT_TRUE(decoded->hasAlpha);
  EXPECT_EQ(PixelAt(*decoded, 0, 0), kClear);
  EXPECT_EQ(PixelAt(*decoded, 1, 0), (Bgra{25, 50, 100, 128}));
  EXPECT_EQ(PixelAt(*decoded, 2, 0), (Bgra{60, 50, 40, 255}));
}

TEST(PngDecoder, ReadsAnInterlacedRgbPicture) {
  // 11 x 13 leaves every Adam7 pass a partial last block.
  auto colourAt = [](int x, int y) {
    return std::array<std::uint8_t, 3>{static_cast<std::uint8_t>(20 * x),
                                       static_cast<std::uint8_t>(15 * y),
                                       static_cast<std::uint8_t>(7 * x + 11 * y)};
  };
  PngPicture picture{.width = 11, .height = 13, .interlaced = true};
  for (int y = 0; y < 13; ++y) {
    Bytes row;
    for (int x = 0; x < 11; ++x) {
      const auto c = colourAt(x, y);
      row.insert(row.end(), c.begin(), c.end());
    }
    picture.rows.push_back(row);
  }
  const auto decoded = DecodePng(EncodePng(picture));
  ASSERT_TRUE(decoded);
  for (std::int32_t y = 0; y < 13; ++y)
    for (std::int32_t x = 0; x < 11; ++x) {
      const auto c = colourAt(x, y);
      ASSERT_EQ(PixelAt(*decoded, x, y), (Bgra{c[2], c[1], c[0], 255})) << x << "," << y;
    }
}

TEST(PngDecoder, ReadsAnInterlacedOneBitGreyPicture) {
  PngPicture picture{.width = 9,
                     .height = 9,
                     .colourType = PNG_COLOR_TYPE_GRAY,
                     .bitDepth = 1,
                     .interlaced = true};
  for (int y = 0; y < 9; ++y) {
    std::vector<int> samples;
    for (int x = 0; x < 9; ++x) samples.push_back((x * y) % 3 == 0 ? 1 : 0);
    picture.rows.push_back(Packed(1, samples));
  }
  const auto decoded = DecodePng(EncodePng(picture));
  ASSERT_TRUE(decoded);
  for (std::int32_t y = 0; y < 9; ++y)
    for (std::int32_t x = 0; x < 9; ++x)
      ASSERT_EQ(PixelAt(*decoded, x, y), Grey((x * y) % 3 == 0 ? 255 : 0)) << x << "," << y;
}

TEST(PngDecoder, RefusesASizeBeyondThePixelLimits) {
  const LimitsFor limits({100, 2000});
  auto grey = [](png_uint_32 width, png_uint_32 height) {
    return EncodePng({.width = width,
                      .height = height,
                      .colourType = PNG_COLOR_TYPE_GRAY,
                      .rows = std::vector<Bytes>(height, Bytes(width))});
  };
  EXPECT_TRUE(DecodePng(grey(100, 20)));
  EXPECT_FALSE(DecodePng(grey(101, 1)));
  EXPECT_FALSE(DecodePng(grey(50, 41)));
}

TEST(PngDecoder, RefusesEveryFileCutShort) {
  PngPicture picture{
      .width = 5, .height = 4, .colourType = PNG_COLOR_TYPE_RGBA, .interlaced = true};
  for (int y = 0; y < 4; ++y) {
    Bytes row;
    for (int i = 0; i < 20; ++i) row.push_back(static_cast<std::uint8_t>(i * 13 + y));
    picture.rows.push_back(row);
  }
  const Bytes file = EncodePng(picture);
  for (std::size_t size = 0; size < file.size(); ++size)
    EXPECT_FALSE(DecodePng(std::span(file).first(size))) << size << " bytes";
  EXPECT_TRUE(DecodePng(file));
}

// ------------------------------------------------------- damaged files

// Flips bytes of a valid file at random, with a fixed seed: whatever comes
// out, decoding stays inside its buffers (the sanitizer build watches) and a
// picture, when there is one, has a size within the limits.
template <class Decode>
void SurvivesRandomDamage(const Bytes& file, Decode decode) {
  std::mt19937 random(20240611);
  for (int round = 0; round < 3000; ++round) {
    Bytes damaged = file;
    const int flips = 1 + static_cast<int>(random() % 4);
    for (int i = 0; i < flips; ++i)
      damaged[random() % damaged.size()] = static_cast<std::uint8_t>(random());
    if (const auto decoded = decode(damaged)) {
      EXPECT_TRUE(gdi::WithinPixelLimits(decoded->pixels->Width(), decoded->pixels->Height()));
    }
  }
}

TEST(GifDecoder, SurvivesRandomDamage) {
  GifPicture picture{.width = 6, .height = 5, .globalMap = kFourColours};
  GifFrame frame{
      .left = 1, .top = 1, .width = 4, .height = 3, .interlaced = true, .transparent = 2};
  for (int y = 0; y < 3; ++y) frame.lines.push_back({0, 1, 2, 3});
  picture.frames.push_back(frame);
  SurvivesRandomDamage(EncodeGif(picture), [](const Bytes& b) { return DecodeGif(b); });
}

TEST(PngDecoder, SurvivesRandomDamage) {
  PngPicture picture{.width = 6,
                     .height = 5,
                     .colourType = PNG_COLOR_TYPE_PALETTE,
                     .bitDepth = 4,
                     .interlaced = true,
                     .palette = {{1, 2, 3}, {4, 5, 6}},
                     .paletteAlpha = {0, 200}};
  for (int y = 0; y < 5; ++y) picture.rows.push_back(Packed(4, {0, 1, 1, 0, 1, 0}));
  SurvivesRandomDamage(EncodePng(picture), [](const Bytes& b) { return DecodePng(b); });
}

Bytes ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Every GIF and PNG in the folder of malformed inputs is refused.
template <class Decode>
void RefusesEveryMalformedFile(const std::string& extension, Decode decode) {
  const fs::path folder = fs::path(__FILE__).parent_path() / "malformed";
  int files = 0;
  for (const auto& entry : fs::directory_iterator(folder)) {
    if (entry.path().extension() != extension) continue;
    ++files;
    EXPECT_FALSE(decode(ReadFile(entry.path()))) << entry.path().filename();
  }
  EXPECT_GE(files, 10) << "malformed " << extension << " files in " << folder;
}

TEST(GifDecoder, RefusesEveryMalformedFile) {
  RefusesEveryMalformedFile(".gif", [](const Bytes& b) { return DecodeGif(b); });
}

TEST(PngDecoder, RefusesEveryMalformedFile) {
  RefusesEveryMalformedFile(".png", [](const Bytes& b) { return DecodePng(b); });
}

}  // namespace
}  // namespace kelvane::picture
