#pragma once
// Decoders of picture files held in memory. Each reads only inside the span
// it is given, checks every size against the pixel limits before it
// allocates, and answers nullopt for anything that is not a valid picture
// of its format; it never throws for bad bytes. Where a format can show
// part of a picture (BMP run lengths cut short), what was drawn is kept.
//
// The pixels land in a bitmap of the screen's 32-bit format, rows top-down,
// bytes blue, green, red, alpha, the colour premultiplied by the alpha (so
// that an opaque picture has alpha 255 and plain colours). hasAlpha says
// whether any pixel is less than opaque. A BMP whose alpha mask gives 0
// everywhere is taken as opaque: its writer left the alpha bytes unset.

#include <cstdint>
#include <memory>
#include <optional>
#include <span>

#include "platform/gdi/Objects.h"

namespace kelvane::picture {

struct Decoded {
  std::shared_ptr<gdi::Bitmap> pixels;
  bool hasAlpha = false;
};

// A colour byte premultiplied by an alpha, rounded to nearest: the one rule
// every decoder uses.
constexpr std::uint8_t Premultiply(std::uint8_t colour, std::uint8_t alpha) {
  return static_cast<std::uint8_t>((unsigned{colour} * alpha + 127) / 255);
}

// A bitmap for a decoder to fill: width x height, every pixel transparent
// black; nullptr for a size of 0 or below or beyond the pixel limits, or
// no memory.
std::shared_ptr<gdi::Bitmap> NewPictureBitmap(std::int64_t width, std::int64_t height);

// BMP: 1, 4, 8, 16, 24 and 32 bits a pixel, BI_RGB, BI_RLE8, BI_RLE4 and
// BI_BITFIELDS, bottom-up and top-down, core, info, V4 and V5 headers.
std::optional<Decoded> DecodeBmp(std::span<const std::uint8_t> file);
// GIF: the first frame, on the logical screen (the frame's extent when the
// screen is 0 a side), clipped to it, transparent around it and where its
// transparent index is; an index beyond the colour map is opaque black.
// Screen and frame must both lie within the pixel limits; later frames are
// never read.
std::optional<Decoded> DecodeGif(std::span<const std::uint8_t> file);
// PNG: every colour type and bit depth, interlaced too; alpha kept, 16-bit
// samples cut to their high byte, gamma ignored. The file must run to IEND,
// and a CRC error in any chunk refuses it.
std::optional<Decoded> DecodePng(std::span<const std::uint8_t> file);
// JPEG: colour, greyscale and CMYK.
std::optional<Decoded> DecodeJpeg(std::span<const std::uint8_t> file);

}  // namespace kelvane::picture
