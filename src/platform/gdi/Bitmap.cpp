#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>

#include "platform/gdi/Objects.h"

namespace kelvane::gdi {

namespace {

std::atomic<std::int32_t> maxSide{PixelLimits{}.maxSide};
std::atomic<std::int64_t> maxPixels{PixelLimits{}.maxPixels};

}  // namespace

PixelLimits GetPixelLimits() { return {maxSide.load(), maxPixels.load()}; }

void SetPixelLimits(PixelLimits limits) {
  maxSide.store(limits.maxSide);
  maxPixels.store(limits.maxPixels);
}

bool WithinPixelLimits(std::int64_t width, std::int64_t height) {
  return width >= 0 && height >= 0 && width <= maxSide.load() && height <= maxSide.load() &&
         width * height <= maxPixels.load();
}

std::optional<std::int32_t> StrideFor(std::int64_t width, int bitsPerPixel) {
  if (width < 0 || bitsPerPixel <= 0 || width > std::numeric_limits<std::int32_t>::max())
    return std::nullopt;
  const std::int64_t stride = (width * bitsPerPixel + 31) / 32 * 4;
  if (stride > std::numeric_limits<std::int32_t>::max()) return std::nullopt;
  return static_cast<std::int32_t>(stride);
}

Bitmap::Bitmap(std::int32_t width, std::int32_t height, std::int32_t stride, PixelFormat format,
               bool bottomUp, memory::ChargedBytes bits)
    : GdiObject(ObjectKind::Bitmap),
      width_(width),
      height_(height),
      stride_(stride),
      format_(format),
      bottomUp_(bottomUp),
      bits_(std::move(bits)) {}

std::shared_ptr<Bitmap> Bitmap::Create(std::int32_t width, std::int32_t height, PixelFormat format,
                                       bool bottomUp) {
  if (!WithinPixelLimits(width, height)) return nullptr;
  const auto stride = StrideFor(width, format == PixelFormat::Bgrx32 ? 32 : 24);
  if (!stride) return nullptr;
  const auto bytes = static_cast<std::size_t>(*stride) * static_cast<std::size_t>(height);
  memory::ChargedBytes bits = memory::ChargedBytes::Allocate(bytes);
  if (!bits) return nullptr;
  return std::shared_ptr<Bitmap>(
      new (std::nothrow) Bitmap(width, height, *stride, format, bottomUp, std::move(bits)));
}

HBITMAP CreateCompatibleBitmap(HDC hdc, std::int32_t width, std::int32_t height) {
  if (hdc != 0 && !FindDC(hdc)) return 0;
  return AddObject(Bitmap::Create(width, height, PixelFormat::Bgrx32, false));
}

HBITMAP CreateDIBSection(HDC hdc, const BITMAPINFO* info, unsigned usage, void** bits,
                         std::uintptr_t section, DWORD offset) {
  if (bits != nullptr) *bits = nullptr;
  if (info == nullptr || usage != DIB_RGB_COLORS || section != 0 || offset != 0) return 0;
  if (hdc != 0 && !FindDC(hdc)) return 0;
  const BITMAPINFOHEADER& header = info->bmiHeader;
  if (header.biSize < sizeof(BITMAPINFOHEADER) || header.biPlanes != 1 ||
      header.biBitCount != 24 || header.biCompression != BI_RGB || header.biWidth <= 0 ||
      header.biHeight == 0 || header.biHeight == std::numeric_limits<std::int32_t>::min())
    return 0;
  auto bitmap = Bitmap::Create(header.biWidth, std::abs(header.biHeight), PixelFormat::Bgr24,
                               header.biHeight > 0);
  if (!bitmap) return 0;
  std::uint8_t* const memory = bitmap->Bits();
  const HBITMAP handle = AddObject(std::move(bitmap));
  if (bits != nullptr && handle != 0) *bits = memory;
  return handle;
}

int GetObjectA(HGDIOBJ object, int size, void* out) {
  const auto bitmap = FindBitmap(object);
  if (!bitmap || out == nullptr || size <= 0) return 0;
  const BITMAP record{0,
                      bitmap->Width(),
                      bitmap->Height(),
                      bitmap->Stride(),
                      1,
                      static_cast<std::uint16_t>(bitmap->BytesPerPixel() * 8),
                      bitmap->Format() == PixelFormat::Bgr24 ? bitmap->Bits() : nullptr};
  const auto count = std::min<std::size_t>(static_cast<std::size_t>(size), sizeof(record));
  std::memcpy(out, &record, count);
  return static_cast<int>(count);
}

HBRUSH CreateSolidBrush(COLORREF color) {
  return AddObject(std::make_shared<Brush>(BrushStyle::Solid, color & 0x00FFFFFF, 0));
}

HGDIOBJ CreatePen(int style, std::int32_t width, COLORREF color) {
  if (style < PS_SOLID || style > PS_INSIDEFRAME) return 0;
  return AddObject(std::make_shared<Pen>(style, std::max<std::int32_t>(width, 1), color & 0x00FFFFFF));
}

HBRUSH CreateHatchBrush(int style, COLORREF color) {
  if (style < HS_HORIZONTAL || style > HS_DIAGCROSS) return 0;
  return AddObject(std::make_shared<Brush>(BrushStyle::Hatched, color & 0x00FFFFFF, style));
}

}  // namespace kelvane::gdi
