#pragma once
// Painting pixels with a brush, shared by the fills.

#include <cstdint>

#include "platform/gdi/Objects.h"

namespace kelvane::gdi {

// One row of an 8 x 8 hatch pattern, aligned to the bitmap's origin: bit i
// is set where columns i, i + 8, ... are drawn.
std::uint8_t HatchRow(int style, std::int64_t y);

// Which columns (mod 8) of row y a brush paints: all for a solid brush, the
// pattern's for a hatch brush, none for the null brush.
std::uint8_t BrushRowMask(const Brush& brush, std::int64_t y);

// Paints the pixels left <= x < right of one row whose bit (x & 7) is set in
// `mask`, in `color`. The pixel format is decided once per call.
void PaintSpan(Bitmap& bitmap, std::uint8_t* row, std::int64_t left, std::int64_t right,
               std::uint8_t mask, COLORREF color);

}  // namespace kelvane::gdi
