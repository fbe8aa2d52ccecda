// The BMP reader: headers are read and checked against the file first, in
// 64-bit arithmetic, and only then is the bitmap made and filled. Each kind of
// pixel data has its own loop, chosen once per picture; every read stays
// inside the rows or runs that the checks have shown to lie in the file.

#include <algorithm>
#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <optional>
#include <span>

#include "platform/gdi/Gdi.h"
#include "platform/gdi/Objects.h"
#include "platform/picture/Decoders.h"

namespace kelvane::picture {
namespace {

using Bytes = std::span<const std::uint8_t>;
using Pixels = std::span<std::uint8_t>;

enum Compression : std::uint32_t { kRgb = 0, kRle8 = 1, kRle4 = 2, kBitfields = 3 };

constexpr std::uint64_t kFileHeaderSize = 14;
constexpr std::uint64_t kCoreHeaderSize = 12;
constexpr std::uint64_t kInfoHeaderSize = 40;
constexpr std::uint64_t kMasksOffset = kFileHeaderSize + kInfoHeaderSize;
constexpr std::uint64_t kThreeMasksSize = 12;

struct Bgra {
  std::uint8_t b = 0, g = 0, r = 0, a = 255;
};
using Palette = std::array<Bgra, 256>;

// Little-endian fields; the caller has checked that they lie in `bytes`.
std::uint16_t U16(Bytes bytes, std::uint64_t at) {
  return static_cast<std::uint16_t>(bytes[at] | bytes[at + 1] << 8);
}
std::uint32_t U32(Bytes bytes, std::uint64_t at) {
  return static_cast<std::uint32_t>(U16(bytes, at)) |
         static_cast<std::uint32_t>(U16(bytes, at + 2)) << 16;
}

void Put(Pixels row, std::size_t x, Bgra colour) {
  row[x * 4] = colour.b;
  row[x * 4 + 1] = colour.g;
  row[x * 4 + 2] = colour.r;
  row[x * 4 + 3] = colour.a;
}

// What the headers say, checked against each other and against the file's
// size for everything up to the pixel data.
struct Header {
  std::int64_t width = 0;
  std::int64_t height = 0;
  bool topDown = false;
  unsigned bitsPerPixel = 0;
  std::uint32_t compression = kRgb;
  std::uint64_t pixelOffset = 0;
  std::uint64_t paletteOffset = 0;
  std::uint64_t paletteEntries = 0;
  std::uint64_t paletteEntrySize = 4;
  std::array<std::uint32_t, 4> masks{};  // red, green, blue, alpha
};

bool KnownFormat(unsigned bitsPerPixel, std::uint32_t compression) {
  switch (compression) {
    case kRgb:
      return bitsPerPixel == 1 || bitsPerPixel == 4 || bitsPerPixel == 8 || bitsPerPixel == 16 ||
             bitsPerPixel == 24 || bitsPerPixel == 32;
    case kRle8:
      return bitsPerPixel == 8;
    case kRle4:
      return bitsPerPixel == 4;
    case kBitfields:
      return bitsPerPixel == 16 || bitsPerPixel == 32;
    default:
      return false;
  }
}

// The masks of BI_BITFIELDS sit right after a 40-byte header, which is also
// where the larger headers keep them; only headers of 56 bytes and more carry
// an alpha mask. Without BI_BITFIELDS, 16 bits are 5-5-5 and 32 bits are
// 8-8-8 with the fourth byte unused.
std::array<std::uint32_t, 4> MasksOf(Bytes file, std::uint64_t infoSize, const Header& header) {
  if (header.compression == kBitfields) {
    const std::uint32_t alpha = infoSize >= 56 ? U32(file, kMasksOffset + 12) : 0;
    return {U32(file, kMasksOffset), U32(file, kMasksOffset + 4), U32(file, kMasksOffset + 8),
            alpha};
  }
  if (header.bitsPerPixel == 16) return {0x7C00, 0x03E0, 0x001F, 0};
  return {0xFF0000, 0xFF00, 0xFF, 0};
}

std::optional<Header> ReadHeader(Bytes file) {
  if (file.size() < kFileHeaderSize + 4 || file[0] != 'B' || file[1] != 'M') return std::nullopt;
  const std::uint64_t infoSize = U32(file, 14);
  if (infoSize != kCoreHeaderSize && infoSize != 40 && infoSize != 52 && infoSize != 56 &&
      infoSize != 108 && infoSize != 124)
    return std::nullopt;
  if (kFileHeaderSize + infoSize > file.size()) return std::nullopt;

  Header header;
  header.pixelOffset = U32(file, 10);
  std::uint16_t planes = 0;
  std::uint64_t coloursUsed = 0;
  if (infoSize == kCoreHeaderSize) {
    header.width = U16(file, 18);
    header.height = U16(file, 20);
    planes = U16(file, 22);
    header.bitsPerPixel = U16(file, 24);
    header.paletteEntrySize = 3;
  } else {
    header.width = static_cast<std::int32_t>(U32(file, 18));
    const auto height = static_cast<std::int32_t>(U32(file, 22));
    if (height == std::numeric_limits<std::int32_t>::min()) return std::nullopt;
    header.topDown = height < 0;
    header.height = header.topDown ? -std::int64_t{height} : height;
    planes = U16(file, 26);
    header.bitsPerPixel = U16(file, 28);
    header.compression = U32(file, 30);
    coloursUsed = U32(file, 46);
  }
  if (planes != 1 || header.width <= 0 || header.height == 0) return std::nullopt;
  if (!KnownFormat(header.bitsPerPixel, header.compression)) return std::nullopt;
  const bool rle = header.compression == kRle8 || header.compression == kRle4;
  if (rle && header.topDown) return std::nullopt;

  header.paletteOffset = kFileHeaderSize + infoSize;
  if (header.compression == kBitfields && infoSize == kInfoHeaderSize) {
    header.paletteOffset += kThreeMasksSize;
    if (header.paletteOffset > file.size()) return std::nullopt;
  }
  if (header.bitsPerPixel > 8) {
    header.masks = MasksOf(file, infoSize, header);
  } else {
    header.paletteEntries =
        coloursUsed != 0 ? coloursUsed : std::uint64_t{1} << header.bitsPerPixel;
    if (header.paletteOffset + header.paletteEntries * header.paletteEntrySize > file.size())
      return std::nullopt;
  }
  return header;
}

// The colours of indexed pixels; entries beyond the file's palette are black.
Palette ReadPalette(Bytes file, const Header& header) {
  Palette palette{};
  const std::uint64_t entries = std::min<std::uint64_t>(header.paletteEntries, palette.size());
  for (std::uint64_t i = 0; i < entries; ++i) {
    const std::uint64_t at = header.paletteOffset + i * header.paletteEntrySize;
    palette[i] = {file[at], file[at + 1], file[at + 2], 255};
  }
  return palette;
}

// One channel of a masked pixel: the masked bits, cut to their top 8 and
// scaled to 0..255 through a table. A zero mask always gives 0. Bits of a
// broken mask are counted from its lowest set bit to its highest.
class Channel {
 public:
  explicit Channel(std::uint32_t mask) : mask_(mask) {
    if (mask == 0) return;
    const int low = std::countr_zero(mask);
    const int width = std::bit_width(mask) - low;
    const int kept = std::min(width, 8);
    shift_ = low + width - kept;
    const std::uint32_t max = (std::uint32_t{1} << kept) - 1;
    for (std::uint32_t v = 0; v <= max; ++v)
      scale_[v] = static_cast<std::uint8_t>((v * 255 + max / 2) / max);
  }
  std::uint8_t operator()(std::uint32_t pixel) const { return scale_[(pixel & mask_) >> shift_]; }

 private:
  std::uint32_t mask_;
  int shift_ = 0;
  std::array<std::uint8_t, 256> scale_{};
};

// Hands each row of uncompressed data, in file order, to `convert` together
// with the bitmap row it lands in.
template <class Convert>
void ForEachRow(Bytes data, std::size_t stride, bool topDown, gdi::Bitmap& bitmap,
                Convert convert) {
  const std::int32_t height = bitmap.Height();
  const auto rowBytes = static_cast<std::size_t>(bitmap.Width()) * 4;
  for (std::int32_t line = 0; line < height; ++line) {
    const std::int32_t y = topDown ? line : height - 1 - line;
    convert(data.subspan(static_cast<std::size_t>(line) * stride, stride),
            Pixels(bitmap.Row(y), rowBytes));
  }
}

template <unsigned Bits>
void DrawIndexed(Bytes data, std::size_t stride, bool topDown, const Palette& palette,
                 gdi::Bitmap& bitmap) {
  constexpr unsigned perByte = 8 / Bits;
  constexpr unsigned mask = (1u << Bits) - 1;
  const auto width = static_cast<std::size_t>(bitmap.Width());
  ForEachRow(data, stride, topDown, bitmap, [&](Bytes source, Pixels row) {
    for (std::size_t x = 0; x < width; ++x) {
      const unsigned shift = (perByte - 1 - x % perByte) * Bits;
      Put(row, x, palette[(source[x / perByte] >> shift) & mask]);
    }
  });
}

void DrawBgr(Bytes data, std::size_t stride, bool topDown, gdi::Bitmap& bitmap) {
  const auto width = static_cast<std::size_t>(bitmap.Width());
  ForEachRow(data, stride, topDown, bitmap, [&](Bytes source, Pixels row) {
    for (std::size_t x = 0; x < width; ++x)
      Put(row, x, {source[x * 3], source[x * 3 + 1], source[x * 3 + 2], 255});
  });
}

// The lowest and the highest alpha a picture holds.
struct AlphaRange {
  std::uint8_t lowest = 255;
  std::uint8_t highest = 0;
};

// 16- and 32-bit pixels through their masks; answers the alphas seen.
template <unsigned BytesPerPixel, bool WithAlpha>
AlphaRange DrawMasked(Bytes data, std::size_t stride, bool topDown,
                        const std::array<std::uint32_t, 4>& masks, gdi::Bitmap& bitmap) {
  const Channel red(masks[0]), green(masks[1]), blue(masks[2]), alpha(masks[3]);
  const auto width = static_cast<std::size_t>(bitmap.Width());
  AlphaRange seen;
  ForEachRow(data, stride, topDown, bitmap, [&](Bytes source, Pixels row) {
    for (std::size_t x = 0; x < width; ++x) {
      const std::size_t at = x * BytesPerPixel;
      const std::uint32_t pixel = BytesPerPixel == 2 ? U16(source, at) : U32(source, at);
      Bgra colour{blue(pixel), green(pixel), red(pixel), 255};
      if constexpr (WithAlpha) {
        colour.a = alpha(pixel);
        colour.b = Premultiply(colour.b, colour.a);
        colour.g = Premultiply(colour.g, colour.a);
        colour.r = Premultiply(colour.r, colour.a);
        seen.lowest = std::min(seen.lowest, colour.a);
        seen.highest = std::max(seen.highest, colour.a);
      }
      Put(row, x, colour);
    }
  });
  return seen;
}

// Masked pixels with or without an alpha mask; true when some pixel is less
// than opaque. A picture whose alpha is 0 everywhere comes from a writer
// that left the alpha bytes unset: it is drawn opaque, as it was meant.
template <unsigned BytesPerPixel>
bool DrawMaskedPicture(Bytes data, std::size_t stride, bool topDown,
                       const std::array<std::uint32_t, 4>& masks, gdi::Bitmap& bitmap) {
  if (masks[3] != 0) {
    const AlphaRange seen = DrawMasked<BytesPerPixel, true>(data, stride, topDown, masks, bitmap);
    if (seen.highest > 0) return seen.lowest < 255;
  }
  DrawMasked<BytesPerPixel, false>(data, stride, topDown, masks, bitmap);
  return false;
}

// Reads run-length data bottom-up onto a bitmap already filled opaque black.
// Runs are clipped to their row. Decoding ends at the end-of-bitmap escape,
// at the end of the data, or when a line end or a delta leaves the picture;
// what was drawn by then stays.
template <unsigned Bits>
void DrawRunLengths(Bytes data, const Palette& palette, gdi::Bitmap& bitmap) {
  const auto width = static_cast<std::size_t>(bitmap.Width());
  const std::int32_t height = bitmap.Height();
  const auto rowAt = [&](std::int64_t line) {
    return Pixels(bitmap.Row(height - 1 - static_cast<std::int32_t>(line)), width * 4);
  };
  const auto nibble = [](std::uint8_t byte, std::size_t i) {
    return i % 2 == 0 ? byte >> 4 : byte & 0x0F;
  };
  std::int64_t line = 0;
  std::size_t x = 0;
  Pixels row = rowAt(line);
  std::size_t at = 0;
  while (at + 2 <= data.size()) {
    const std::size_t count = data[at];
    const std::uint8_t value = data[at + 1];
    at += 2;
    if (count > 0) {
      const std::size_t drawn = std::min(count, width - x);
      for (std::size_t i = 0; i < drawn; ++i)
        Put(row, x + i, palette[Bits == 8 ? value : nibble(value, i)]);
      x += drawn;
    } else if (value == 0) {
      x = 0;
      if (++line >= height) return;
      row = rowAt(line);
    } else if (value == 1) {
      return;
    } else if (value == 2) {
      if (at + 2 > data.size()) return;
      x = std::min<std::size_t>(width, x + data[at]);
      line += data[at + 1];
      at += 2;
      if (line >= height) return;
      row = rowAt(line);
    } else {
      const std::size_t length = Bits == 8 ? value : (value + 1u) / 2;
      if (at + length > data.size()) return;
      const std::size_t drawn = std::min<std::size_t>(value, width - x);
      for (std::size_t i = 0; i < drawn; ++i)
        Put(row, x + i, palette[Bits == 8 ? data[at + i] : nibble(data[at + i / 2], i)]);
      x += drawn;
      at += length + length % 2;
    }
  }
}

void FillOpaqueBlack(gdi::Bitmap& bitmap) {
  const auto width = static_cast<std::size_t>(bitmap.Width());
  for (std::int32_t y = 0; y < bitmap.Height(); ++y) {
    const Pixels row(bitmap.Row(y), width * 4);
    for (std::size_t x = 0; x < width; ++x) Put(row, x, Bgra{});
  }
}

}  // namespace

std::optional<Decoded> DecodeBmp(std::span<const std::uint8_t> file) {
  const std::optional<Header> header = ReadHeader(file);
  if (!header || !gdi::WithinPixelLimits(header->width, header->height)) return std::nullopt;

  const bool rle = header->compression == kRle8 || header->compression == kRle4;
  std::uint64_t stride = 0;
  if (rle) {
    if (header->pixelOffset >= file.size()) return std::nullopt;
  } else {
    const std::optional<std::int32_t> lineBytes =
        gdi::StrideFor(header->width, static_cast<int>(header->bitsPerPixel));
    if (!lineBytes) return std::nullopt;
    stride = static_cast<std::uint64_t>(*lineBytes);
    const auto rows = static_cast<std::uint64_t>(header->height);
    if (header->pixelOffset > file.size() || stride * rows > file.size() - header->pixelOffset)
      return std::nullopt;
  }

  std::shared_ptr<gdi::Bitmap> bitmap = NewPictureBitmap(header->width, header->height);
  if (!bitmap) return std::nullopt;
  const Bytes data = file.subspan(header->pixelOffset);
  const bool topDown = header->topDown;
  Decoded decoded{bitmap, false};
  if (rle) {
    FillOpaqueBlack(*bitmap);
    if (header->compression == kRle8)
      DrawRunLengths<8>(data, ReadPalette(file, *header), *bitmap);
    else
      DrawRunLengths<4>(data, ReadPalette(file, *header), *bitmap);
    return decoded;
  }
  switch (header->bitsPerPixel) {
    case 1:
      DrawIndexed<1>(data, stride, topDown, ReadPalette(file, *header), *bitmap);
      break;
    case 4:
      DrawIndexed<4>(data, stride, topDown, ReadPalette(file, *header), *bitmap);
      break;
    case 8:
      DrawIndexed<8>(data, stride, topDown, ReadPalette(file, *header), *bitmap);
      break;
    case 16:
      decoded.hasAlpha = DrawMaskedPicture<2>(data, stride, topDown, header->masks, *bitmap);
      break;
    case 24:
      DrawBgr(data, stride, topDown, *bitmap);
      break;
    default:
      decoded.hasAlpha = DrawMaskedPicture<4>(data, stride, topDown, header->masks, *bitmap);
      break;
  }
  return decoded;
}

}  // namespace kelvane::picture
