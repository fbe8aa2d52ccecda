#include "platform/picture/Decoders.h"

namespace kelvane::picture {

std::shared_ptr<gdi::Bitmap> NewPictureBitmap(std::int64_t width, std::int64_t height) {
  if (width <= 0 || height <= 0 || !gdi::WithinPixelLimits(width, height)) return nullptr;
  return gdi::Bitmap::Create(static_cast<std::int32_t>(width), static_cast<std::int32_t>(height),
                             gdi::PixelFormat::Bgrx32, false);
}

}  // namespace kelvane::picture
