// Painting pixels with a brush, shared by the fills.

#include "platform/gdi/Paint.h"

#include <algorithm>
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

namespace {

// Calls `paint` for each x in [left, right) whose bit (x & 7) is set in
// `mask`, a column of the pattern at a time, so that sparse patterns touch
// only the pixels they draw.
template <class Paint>
void ForEachMaskedPixel(std::int64_t left, std::int64_t right, std::uint8_t mask, Paint paint) {
  for (int bit = 0; bit < 8; ++bit) {
    if (((mask >> bit) & 1) == 0) continue;
    for (std::int64_t x = left + ((bit - left) & 7); x < right; x += 8) paint(x);
  }
}

}  // namespace

void PaintSpan(Bitmap& bitmap, std::uint8_t* row, std::int64_t left, std::int64_t right,
               std::uint8_t mask, COLORREF color) {
  if (bitmap.Format() == PixelFormat::Bgrx32) {
    const std::uint32_t pixel = PixelFromColor(color);
    if (mask == 0xFF) {
      // Short spans (a gradient band's three pixels) take a plain loop; long
      // ones one pixel, then copies of what is written so far, doubling:
      // memcpy fills far faster than a loop of 4-byte stores.
      if (left >= right) return;
      std::uint8_t* const start = row + left * 4;
      const std::int64_t count = right - left;
      if (count <= 16) {
        for (std::int64_t i = 0; i < count; ++i) std::memcpy(start + i * 4, &pixel, 4);
        return;
      }
      std::memcpy(start, &pixel, 4);
      for (std::int64_t done = 1; done < count;) {
        const std::int64_t n = std::min(done, count - done);
        std::memcpy(start + done * 4, start, static_cast<std::size_t>(n) * 4);
        done += n;
      }
      return;
    }
    ForEachMaskedPixel(left, right, mask,
                       [&](std::int64_t x) { std::memcpy(row + x * 4, &pixel, 4); });
  } else {
    ForEachMaskedPixel(left, right, mask, [&](std::int64_t x) {
      std::uint8_t* p = row + x * 3;
      p[0] = GetBValue(color);
      p[1] = GetGValue(color);
      p[2] = GetRValue(color);
    });
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
