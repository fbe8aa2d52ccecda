// JPEG through TurboJPEG, decoded straight into the picture's pixel memory.

#include <turbojpeg.h>

#include <memory>

#include "platform/picture/Decoders.h"

namespace kelvane::picture {

namespace {

struct Decompressor {
  void operator()(void* handle) const { tjDestroy(handle); }
};

// CMYK as such files store it, inverted (0 is full ink), to opaque colour,
// in place: each pixel's four bytes become blue, green, red, alpha.
void CmykToBgra(gdi::Bitmap& bitmap) {
  for (std::int32_t y = 0; y < bitmap.Height(); ++y) {
    std::uint8_t* p = bitmap.Row(y);
    for (std::int32_t x = 0; x < bitmap.Width(); ++x, p += 4) {
      const unsigned c = p[0], m = p[1], yellow = p[2], k = p[3];
      p[0] = static_cast<std::uint8_t>((yellow * k + 127) / 255);
      p[1] = static_cast<std::uint8_t>((m * k + 127) / 255);
      p[2] = static_cast<std::uint8_t>((c * k + 127) / 255);
      p[3] = 255;
    }
  }
}

}  // namespace

std::optional<Decoded> DecodeJpeg(std::span<const std::uint8_t> file) {
  const std::unique_ptr<void, Decompressor> decoder(tjInitDecompress());
  if (!decoder) return std::nullopt;
  int width = 0, height = 0, sampling = 0, colorspace = 0;
  if (tjDecompressHeader3(decoder.get(), file.data(), file.size(), &width, &height, &sampling,
                          &colorspace) != 0)
    return std::nullopt;
  auto bitmap = NewPictureBitmap(width, height);
  if (!bitmap) return std::nullopt;

  const bool cmyk = colorspace == TJCS_CMYK || colorspace == TJCS_YCCK;
  // Stop on warnings too: a truncated or damaged file is not a picture.
  const int flags = TJFLAG_STOPONWARNING | TJFLAG_LIMITSCANS;
  if (tjDecompress2(decoder.get(), file.data(), file.size(), bitmap->Bits(), width,
                    bitmap->Stride(), height, cmyk ? TJPF_CMYK : TJPF_BGRA, flags) != 0)
    return std::nullopt;
  if (cmyk) CmykToBgra(*bitmap);
  return Decoded{std::move(bitmap), false};
}

}  // namespace kelvane::picture
