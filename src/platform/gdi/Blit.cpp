// Block transfers, rectangle fills and pixel reads on bitmaps. Each call
// resolves its handles once, clips once, and then works row by row.

#include <algorithm>
#include <bit>
#include <cstring>

#include "platform/gdi/Objects.h"
#include "platform/gdi/Paint.h"

namespace kelvane::gdi {

namespace {

// A block of `width` x `height` pixels at (x, y), clipped to a bitmap;
// empty when nothing of it lies inside.
struct Block {
  std::int64_t x, y, width, height;
  bool Empty() const { return width <= 0 || height <= 0; }
};

// Moves the origins of a source and a destination block together so that
// both lie inside their bitmaps.
void ClipPair(Block& src, std::int64_t srcW, std::int64_t srcH, Block& dst, std::int64_t dstW,
              std::int64_t dstH) {
  const auto clipLow = [](std::int64_t& a, std::int64_t& b, std::int64_t& extent) {
    const std::int64_t shift = std::max<std::int64_t>({0, -a, -b});
    a += shift;
    b += shift;
    extent -= shift;
  };
  clipLow(src.x, dst.x, src.width);
  clipLow(src.y, dst.y, src.height);
  src.width = std::min({src.width, srcW - src.x, dstW - dst.x});
  src.height = std::min({src.height, srcH - src.y, dstH - dst.y});
  dst.width = src.width;
  dst.height = src.height;
}

void CopyRow(const Bitmap& from, const std::uint8_t* s, const Bitmap& to, std::uint8_t* d,
             std::int64_t count) {
  static_assert(std::endian::native == std::endian::little);
  if (from.Format() == to.Format()) {
    std::memmove(d, s, static_cast<std::size_t>(count * from.BytesPerPixel()));
  } else if (from.Format() == PixelFormat::Bgrx32) {
    // Four pixels at a time: two 8-byte reads give twelve bytes to keep.
    for (; count >= 4; count -= 4, s += 16, d += 12) {
      std::uint64_t a, b;
      std::memcpy(&a, s, 8);
      std::memcpy(&b, s + 8, 8);
      const std::uint64_t low = (a & 0xFFFFFF) | ((a >> 8) & 0xFFFFFF000000) | (b << 48);
      const auto high = static_cast<std::uint32_t>(((b >> 16) & 0xFF) | ((b >> 24) & 0xFFFFFF00));
      std::memcpy(d, &low, 8);
      std::memcpy(d + 8, &high, 4);
    }
    for (std::int64_t i = 0; i < count; ++i, s += 4, d += 3) {
      d[0] = s[0];
      d[1] = s[1];
      d[2] = s[2];
    }
  } else {
    for (std::int64_t i = 0; i < count; ++i, s += 3, d += 4) {
      d[0] = s[0];
      d[1] = s[1];
      d[2] = s[2];
      d[3] = 0;
    }
  }
}

}  // namespace

BOOL BitBlt(HDC hdcDest, std::int32_t x, std::int32_t y, std::int32_t width, std::int32_t height,
            HDC hdcSrc, std::int32_t xSrc, std::int32_t ySrc, DWORD rop) {
  if (rop != SRCCOPY) return FALSE;
  const auto destDC = FindDC(hdcDest);
  const auto srcDC = FindDC(hdcSrc);
  if (!destDC || !srcDC) return FALSE;
  Bitmap& to = *destDC->bitmap.object;
  Bitmap& from = *srcDC->bitmap.object;

  Block src{xSrc, ySrc, width, height};
  Block dst{x, y, width, height};
  ClipPair(src, from.Width(), from.Height(), dst, to.Width(), to.Height());
  if (src.Empty()) return TRUE;

  // Within one bitmap, copy rows in the order that never reads a row
  // already overwritten.
  const bool backwards = &from == &to && dst.y > src.y;
  for (std::int64_t i = 0; i < src.height; ++i) {
    const std::int64_t row = backwards ? src.height - 1 - i : i;
    const std::uint8_t* s = from.Row(static_cast<std::int32_t>(src.y + row)) + src.x * from.BytesPerPixel();
    std::uint8_t* d = to.Row(static_cast<std::int32_t>(dst.y + row)) + dst.x * to.BytesPerPixel();
    CopyRow(from, s, to, d, src.width);
  }
  return TRUE;
}

BOOL AlphaBlend(HDC hdcDest, std::int32_t x, std::int32_t y, std::int32_t width,
                std::int32_t height, HDC hdcSrc, std::int32_t xSrc, std::int32_t ySrc,
                std::int32_t widthSrc, std::int32_t heightSrc, BLENDFUNCTION blend) {
  if (blend.BlendOp != AC_SRC_OVER || blend.BlendFlags != 0 || blend.SourceConstantAlpha != 255 ||
      blend.AlphaFormat != AC_SRC_ALPHA || width != widthSrc || height != heightSrc)
    return FALSE;
  const auto destDC = FindDC(hdcDest);
  const auto srcDC = FindDC(hdcSrc);
  if (!destDC || !srcDC) return FALSE;
  Bitmap& to = *destDC->bitmap.object;
  const Bitmap& from = *srcDC->bitmap.object;
  if (from.Format() != PixelFormat::Bgrx32) return FALSE;

  Block src{xSrc, ySrc, width, height};
  Block dst{x, y, width, height};
  ClipPair(src, from.Width(), from.Height(), dst, to.Width(), to.Height());
  const int bpp = to.BytesPerPixel();
  for (std::int64_t row = 0; row < src.height; ++row) {
    const std::uint8_t* s = from.Row(static_cast<std::int32_t>(src.y + row)) + src.x * 4;
    std::uint8_t* d = to.Row(static_cast<std::int32_t>(dst.y + row)) + dst.x * bpp;
    for (std::int64_t i = 0; i < src.width; ++i, s += 4, d += bpp) {
      const unsigned keep = 255u - s[3];
      for (int c = 0; c < 3; ++c)
        d[c] = static_cast<std::uint8_t>(std::min(255u, s[c] + (d[c] * keep + 127) / 255));
    }
  }
  return TRUE;
}

BOOL FillRect(HDC hdc, const RECT* rect, HBRUSH brushHandle) {
  const auto dc = FindDC(hdc);
  const auto brush = FindBrush(brushHandle);
  if (!dc || !brush || rect == nullptr) return FALSE;
  if (brush->style == BrushStyle::Null) return TRUE;
  Bitmap& bitmap = *dc->bitmap.object;
  const std::int64_t left = std::max<std::int64_t>(rect->Left, 0);
  const std::int64_t top = std::max<std::int64_t>(rect->Top, 0);
  const std::int64_t right = std::min<std::int64_t>(rect->Right, bitmap.Width());
  const std::int64_t bottom = std::min<std::int64_t>(rect->Bottom, bitmap.Height());
  if (left >= right || top >= bottom) return TRUE;

  if (brush->style == BrushStyle::Hatched) {
    for (std::int64_t y = top; y < bottom; ++y)
      PaintSpan(bitmap, bitmap.Row(static_cast<std::int32_t>(y)), left, right,
                BrushRowMask(*brush, y), brush->color);
    return TRUE;
  }
  // A solid fill paints its first row and copies that span to the others.
  const std::uint8_t* first = bitmap.Row(static_cast<std::int32_t>(top));
  PaintSpan(bitmap, bitmap.Row(static_cast<std::int32_t>(top)), left, right, 0xFF, brush->color);
  const std::ptrdiff_t offset = left * bitmap.BytesPerPixel();
  const auto bytes = static_cast<std::size_t>((right - left) * bitmap.BytesPerPixel());
  for (std::int64_t y = top + 1; y < bottom; ++y)
    std::memcpy(bitmap.Row(static_cast<std::int32_t>(y)) + offset, first + offset, bytes);
  return TRUE;
}

COLORREF GetPixel(HDC hdc, std::int32_t x, std::int32_t y) {
  const auto dc = FindDC(hdc);
  if (!dc) return CLR_INVALID;
  Bitmap& bitmap = *dc->bitmap.object;
  if (x < 0 || y < 0 || x >= bitmap.Width() || y >= bitmap.Height()) return CLR_INVALID;
  const std::uint8_t* p = bitmap.Row(y) + static_cast<std::ptrdiff_t>(x) * bitmap.BytesPerPixel();
  return RGB(p[2], p[1], p[0]);
}

}  // namespace kelvane::gdi
