// Painting pixels with a brush, shared by the fills.

#include "platform/gdi/Paint.h"

#include <cstring>

namespace kelvane::gdi {

std::uint8_t HatchRow(int style, std::int64_t y) {
  const int r = static_cast<int>(y & 7);
  const auto horizontal = static_cast<std::uint8_t>(r == 0 ? 0xFF : 0x00);
  const std::uint8_t vertical = 0x01;
  const auto down = static_cast<std::uint8_t>(1u << r);        // "\": column == row
  const auto up = static_cast<std::uint8_t>(1u << (7 - r));    // "/": column == 7 - row
  switch (style) {
    case HS_HORIZONTAL: return horizontal;
    case HS_VERTICAL: return vertical;
    case HS_FDIAGONAL: return down;
    case HS_BDIAGONAL: return up;
    case HS_CROSS: return static_cast<std::uint8_t>(horizontal | vertical);
    case HS_DIAGCROSS: return static_cast<std::uint8_t>(down | up);
    default: return 0;
  }
}

void PaintSpan(Bitmap& bitmap, std::uint8_t* row, std::int64_t left, std::int64_t right,
               std::uint8_t mask, COLORREF color) {
  if (bitmap.Format() == PixelFormat::Bgrx32) {
    const std::uint32_t pixel = PixelFromColor(color);
    if (mask == 0xFF) {
      for (std::int64_t x = left; x < right; ++x) std::memcpy(row + x * 4, &pixel, 4);
      return;
    }
    for (std::int64_t x = left; x < right; ++x)
      if ((mask >> (x & 7)) & 1) std::memcpy(row + x * 4, &pixel, 4);
  } else {
    for (std::int64_t x = left; x < right; ++x) {
      if (((mask >> (x & 7)) & 1) == 0) continue;
      std::uint8_t* p = row + x * 3;
      p[0] = GetBValue(color);
      p[1] = GetGValue(color);
      p[2] = GetRValue(color);
    }
  }
}

std::uint8_t BrushRowMask(const Brush& brush, std::int64_t y) {
  switch (brush.style) {
    case BrushStyle::Solid: return 0xFF;
    case BrushStyle::Hatched: return HatchRow(brush.hatch, y);
    case BrushStyle::Null: return 0x00;
  }
  return 0x00;
}

}  // namespace kelvane::gdi
