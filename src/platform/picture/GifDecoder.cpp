// GIF: the first frame, placed on the logical screen. giflib reads the file
// record by record from memory; only the records up to the end of the first
// frame are read, so later frames cost nothing and are never drawn.

#include <gif_lib.h>

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <utility>
#include <vector>

#include "platform/picture/Decoders.h"

namespace kelvane::picture {
namespace {

using Bgra = std::array<std::uint8_t, 4>;

// The unread rest of the file, handed to giflib as its input.
struct Source {
  std::span<const std::uint8_t> rest;
};

// giflib's input function: copies up to `length` bytes and answers how many
// it copied; a short count makes giflib report a read error.
int ReadFromSource(GifFileType* gif, GifByteType* out, int length) {
  auto& source = *static_cast<Source*>(gif->UserData);
  if (length <= 0) return 0;
  const std::size_t count = std::min(static_cast<std::size_t>(length), source.rest.size());
  std::copy_n(source.rest.begin(), count, out);
  source.rest = source.rest.subspan(count);
  return static_cast<int>(count);
}

struct GifCloser {
  void operator()(GifFileType* gif) const {
    int error = D_GIF_SUCCEEDED;
    DGifCloseFile(gif, &error);
  }
};
using GifFile = std::unique_ptr<GifFileType, GifCloser>;

// Reads the records before the first frame, up to and including its
// descriptor. Answers the transparent index of the last graphics control
// extension on the way (-1 for none); nullopt on an error or when the file
// ends without a frame.
std::optional<int> ReadUpToFirstFrame(GifFileType* gif) {
  int transparent = NO_TRANSPARENT_COLOR;
  for (;;) {
    GifRecordType record = UNDEFINED_RECORD_TYPE;
    if (DGifGetRecordType(gif, &record) == GIF_ERROR) return std::nullopt;
    switch (record) {
      case IMAGE_DESC_RECORD_TYPE:
        if (DGifGetImageDesc(gif) == GIF_ERROR) return std::nullopt;
        return transparent;
      case EXTENSION_RECORD_TYPE: {
        int code = 0;
        GifByteType* block = nullptr;
        if (DGifGetExtension(gif, &code, &block) == GIF_ERROR) return std::nullopt;
        // A malformed control block is ignored: it can only take transparency away.
        GraphicsControlBlock control{};
        if (code == GRAPHICS_EXT_FUNC_CODE && block != nullptr &&
            DGifExtensionToGCB(block[0], block + 1, &control) == GIF_OK)
          transparent = control.TransparentColor;
        while (block != nullptr)
          if (DGifGetExtensionNext(gif, &block) == GIF_ERROR) return std::nullopt;
        break;
      }
      default:
        return std::nullopt;
    }
  }
}

// The frame's colours as pixels: opaque colours from the map, opaque black for
// indices beyond it, transparent black for the transparent index.
std::array<Bgra, 256> PixelsOf(const ColorMapObject& map, int transparent) {
  std::array<Bgra, 256> pixels{};
  for (std::size_t i = 0; i < pixels.size(); ++i) {
    if (static_cast<int>(i) == transparent) continue;
    if (static_cast<int>(i) < map.ColorCount) {
      const GifColorType& c = map.Colors[i];
      pixels[i] = {c.Blue, c.Green, c.Red, 255};
    } else {
      pixels[i] = {0, 0, 0, 255};
    }
  }
  return pixels;
}

// The frame rows in the order the file stores them: top to bottom, or for an
// interlaced frame every 8th row from 0, every 8th from 4, every 4th from 2,
// every 2nd from 1.
std::vector<std::int32_t> RowOrder(std::int32_t height, bool interlaced) {
  std::vector<std::int32_t> order;
  order.reserve(static_cast<std::size_t>(height));
  if (!interlaced) {
    for (std::int32_t y = 0; y < height; ++y) order.push_back(y);
    return order;
  }
  constexpr std::array<std::array<std::int32_t, 2>, 4> passes{{{0, 8}, {4, 8}, {2, 4}, {1, 2}}};
  for (const auto& [start, step] : passes)
    for (std::int32_t y = start; y < height; y += step) order.push_back(y);
  return order;
}

}  // namespace

std::optional<Decoded> DecodeGif(std::span<const std::uint8_t> file) {
  Source source{file};
  int error = D_GIF_SUCCEEDED;
  const GifFile gif(DGifOpen(&source, ReadFromSource, &error));
  if (!gif) return std::nullopt;
  if (!gdi::WithinPixelLimits(gif->SWidth, gif->SHeight)) return std::nullopt;

  const auto transparent = ReadUpToFirstFrame(gif.get());
  if (!transparent) return std::nullopt;
  const GifImageDesc& frame = gif->Image;
  if (frame.Width <= 0 || frame.Height <= 0) return std::nullopt;
  // Every row of the frame is decoded, so its own size is held to the limits
  // as well, not only the part that lands on the screen.
  if (!gdi::WithinPixelLimits(frame.Width, frame.Height)) return std::nullopt;
  const ColorMapObject* map = frame.ColorMap != nullptr ? frame.ColorMap : gif->SColorMap;
  if (map == nullptr) return std::nullopt;

  // A screen side of 0 takes the frame's extent, so that the whole frame shows.
  const std::int64_t width = gif->SWidth > 0 ? gif->SWidth : std::int64_t{frame.Left} + frame.Width;
  const std::int64_t height =
      gif->SHeight > 0 ? gif->SHeight : std::int64_t{frame.Top} + frame.Height;
  auto bitmap = NewPictureBitmap(width, height);
  if (!bitmap) return std::nullopt;

  const auto pixels = PixelsOf(*map, *transparent);
  const bool covers =
      frame.Left == 0 && frame.Top == 0 && frame.Width >= width && frame.Height >= height;
  bool hasAlpha = !covers;
  const std::int64_t visible = std::clamp<std::int64_t>(width - frame.Left, 0, frame.Width);
  std::vector<GifPixelType> line(static_cast<std::size_t>(frame.Width));
  for (const std::int32_t y : RowOrder(frame.Height, frame.Interlace)) {
    if (DGifGetLine(gif.get(), line.data(), frame.Width) == GIF_ERROR) return std::nullopt;
    const std::int64_t screenY = std::int64_t{frame.Top} + y;
    if (screenY >= height || visible == 0) continue;
    std::uint8_t* out =
        bitmap->Row(static_cast<std::int32_t>(screenY)) + 4 * static_cast<std::size_t>(frame.Left);
    for (std::int64_t x = 0; x < visible; ++x, out += 4) {
      const Bgra& pixel = pixels[line[static_cast<std::size_t>(x)]];
      std::copy(pixel.begin(), pixel.end(), out);
      hasAlpha = hasAlpha || pixel[3] == 0;
    }
  }
  return Decoded{std::move(bitmap), hasAlpha};
}

}  // namespace kelvane::picture
