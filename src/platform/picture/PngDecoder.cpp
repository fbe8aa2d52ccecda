// PNG: libpng reads the file from memory and turns every colour type and bit
// depth into 8-bit blue, green, red, alpha, written straight into the
// bitmap's rows; the colours are premultiplied in place afterwards.
//
// libpng reports errors by longjmp. Each run of libpng calls goes through
// UnderErrorJump, whose frame and the steps it runs hold no object with a
// destructor; the bitmap and the libpng structures live in DecodePng, outside
// every jump.

#include <png.h>

#include <algorithm>
#include <csetjmp>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <utility>

#include "platform/picture/Decoders.h"

namespace kelvane::picture {
namespace {

// The unread rest of the file, handed to libpng as its input.
struct Source {
  std::span<const std::uint8_t> rest;
};

void ReadFromSource(png_structp png, png_bytep out, std::size_t length) {
  auto& source = *static_cast<Source*>(png_get_io_ptr(png));
  if (length > source.rest.size()) png_error(png, "file ends too soon");
  std::copy_n(source.rest.begin(), length, out);
  source.rest = source.rest.subspan(length);
}

[[noreturn]] void JumpOnError(png_structp png, png_const_charp) { png_longjmp(png, 1); }

void IgnoreWarning(png_structp, png_const_charp) {}

// The read structure and its info structure, reading from `source`; both
// null when libpng could not make them.
class PngRead {
 public:
  explicit PngRead(Source& source)
      : png_(png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, JumpOnError, IgnoreWarning)) {
    if (png_ == nullptr) return;
    info_ = png_create_info_struct(png_);
    png_set_read_fn(png_, &source, ReadFromSource);
  }
  PngRead(const PngRead&) = delete;
  PngRead& operator=(const PngRead&) = delete;
  ~PngRead() { png_destroy_read_struct(&png_, info_ != nullptr ? &info_ : nullptr, nullptr); }

  bool Valid() const { return png_ != nullptr && info_ != nullptr; }
  png_structp png() const { return png_; }
  png_infop info() const { return info_; }

 private:
  png_structp png_;
  png_infop info_ = nullptr;
};

// Runs `step`, a run of libpng calls; false when libpng reported an error
// on the way. The step must create no object with a destructor.
template <class Step>
bool UnderErrorJump(png_structp png, const Step& step) {
  if (setjmp(png_jmpbuf(png)) != 0) return false;
  step();
  return true;
}

// What the header step learns: the size, the number of passes over the rows
// (7 for an interlaced image, else 1), and whether it all fits.
struct Layout {
  png_uint_32 width = 0;
  png_uint_32 height = 0;
  int passes = 1;
  bool accepted = false;
};

// Reads the chunks before the image data and asks for 8-bit B, G, R, A rows:
// palettes and grey expanded, tRNS made alpha, 16-bit samples cut to their
// high byte, an opaque alpha added where the file has none. The size is held
// to the pixel limits before libpng sets up its row buffers.
void ReadHeader(png_structp png, png_infop info, Layout& layout) {
  const auto limits = gdi::GetPixelLimits();
  png_set_user_limits(png, static_cast<png_uint_32>(limits.maxSide),
                      static_cast<png_uint_32>(limits.maxSide));
  png_set_crc_action(png, PNG_CRC_ERROR_QUIT, PNG_CRC_ERROR_QUIT);
  png_read_info(png, info);

  int bitDepth = 0;
  int colorType = 0;
  png_get_IHDR(png, info, &layout.width, &layout.height, &bitDepth, &colorType, nullptr, nullptr,
               nullptr);
  if (!gdi::WithinPixelLimits(layout.width, layout.height)) return;

  const bool hasTransparency = png_get_valid(png, info, PNG_INFO_tRNS) != 0;
  if (colorType == PNG_COLOR_TYPE_PALETTE) png_set_palette_to_rgb(png);
  if (colorType == PNG_COLOR_TYPE_GRAY && bitDepth < 8) png_set_expand_gray_1_2_4_to_8(png);
  if (hasTransparency) png_set_tRNS_to_alpha(png);
  if (bitDepth == 16) png_set_strip_16(png);
  if ((colorType & PNG_COLOR_MASK_COLOR) == 0) png_set_gray_to_rgb(png);
  if ((colorType & PNG_COLOR_MASK_ALPHA) == 0 && !hasTransparency)
    png_set_add_alpha(png, 0xFF, PNG_FILLER_AFTER);
  png_set_bgr(png);
  layout.passes = png_set_interlace_handling(png);
  png_read_update_info(png, info);
  layout.accepted = png_get_rowbytes(png, info) == std::size_t{4} * layout.width;
}

// Reads every pass of every row into the bitmap's rows, each pass filling in
// the pixels it holds over the earlier ones, then the chunks after the image
// data up to the end of the file.
void ReadRows(png_structp png, gdi::Bitmap& bitmap, int passes) {
  for (int pass = 0; pass < passes; ++pass)
    for (std::int32_t y = 0; y < bitmap.Height(); ++y) png_read_row(png, bitmap.Row(y), nullptr);
  png_read_end(png, nullptr);
}


// Premultiplies every pixel that is less than opaque; answers whether there
// was one.
bool PremultiplyInPlace(gdi::Bitmap& bitmap) {
  bool hasAlpha = false;
  for (std::int32_t y = 0; y < bitmap.Height(); ++y) {
    std::uint8_t* pixel = bitmap.Row(y);
    for (std::int32_t x = 0; x < bitmap.Width(); ++x, pixel += 4) {
      const std::uint8_t alpha = pixel[3];
      if (alpha == 255) continue;
      hasAlpha = true;
      for (int channel = 0; channel < 3; ++channel)
        pixel[channel] = Premultiply(pixel[channel], alpha);
    }
  }
  return hasAlpha;
}

}  // namespace

std::optional<Decoded> DecodePng(std::span<const std::uint8_t> file) {
  Source source{file};
  const PngRead read(source);
  if (!read.Valid()) return std::nullopt;

  Layout layout;
  const bool headerRead =
      UnderErrorJump(read.png(), [&] { ReadHeader(read.png(), read.info(), layout); });
  if (!headerRead || !layout.accepted) return std::nullopt;

  auto bitmap = NewPictureBitmap(layout.width, layout.height);
  if (!bitmap) return std::nullopt;
  if (!UnderErrorJump(read.png(), [&] { ReadRows(read.png(), *bitmap, layout.passes); }))
    return std::nullopt;

  const bool hasAlpha = PremultiplyInPlace(*bitmap);
  return Decoded{std::move(bitmap), hasAlpha};
}

}  // namespace kelvane::picture
