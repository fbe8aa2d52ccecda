// Flood fill. The area is found span by span: a span is a run of qualifying
// pixels in one row, taken whole, painted at once, and then used to look for
// further spans in the rows above and below it. A bit per pixel records
// what is already in the area. Pixels are judged only while they are
// unmarked, and every painted pixel is marked, so the area is decided by
// the colours as they were before the fill, whatever colour the brush lays
// down. Pending spans wait on an explicit stack; each span enters it once.

#include <algorithm>
#include <bit>
#include <cstring>
#include <new>
#include <vector>

#include "platform/gdi/Objects.h"
#include "platform/gdi/Paint.h"

namespace kelvane::gdi {

namespace {

// One pixel of a row as 0x00RRGGBB, the packing of PixelFromColor.
template <PixelFormat Format>
std::uint32_t ReadPixel(const std::uint8_t* row, std::int32_t x) {
  if constexpr (Format == PixelFormat::Bgrx32) {
    std::uint32_t pixel;
    std::memcpy(&pixel, row + static_cast<std::ptrdiff_t>(x) * 4, 4);
    return pixel & 0x00FFFFFF;
  } else {
    const std::uint8_t* p = row + static_cast<std::ptrdiff_t>(x) * 3;
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16);
  }
}

// One bit per pixel, each row padded to whole words: set for the pixels
// already in the area.
class AreaMask {
 public:
  AreaMask(std::int32_t width, std::int32_t height)
      : wordsPerRow_((static_cast<std::size_t>(width) + 63) / 64),
        words_(wordsPerRow_ * static_cast<std::size_t>(height)) {}

  // The first unmarked x of row y in [x, end), or end when there is none.
  // Marked stretches are skipped a word at a time.
  std::int32_t NextUnmarked(std::int32_t y, std::int32_t x, std::int32_t end) const {
    const std::uint64_t* row = Row(y);
    while (x < end) {
      const int shift = x & 63;
      const std::uint64_t unmarked = ~row[x >> 6] >> shift;
      if (unmarked != 0) return std::min(end, x + std::countr_zero(unmarked));
      x += 64 - shift;
    }
    return end;
  }

  void Mark(std::int32_t y, std::int32_t left, std::int32_t right) {
    std::uint64_t* row = Row(y);
    while (left < right) {
      const int shift = left & 63;
      const int count = std::min(64 - shift, right - left);
      const std::uint64_t ones = count == 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << count) - 1;
      row[left >> 6] |= ones << shift;
      left += count;
    }
  }

 private:
  std::uint64_t* Row(std::int32_t y) {
    return words_.data() + wordsPerRow_ * static_cast<std::size_t>(y);
  }
  const std::uint64_t* Row(std::int32_t y) const {
    return words_.data() + wordsPerRow_ * static_cast<std::size_t>(y);
  }

  std::size_t wordsPerRow_;
  std::vector<std::uint64_t> words_;
};

// A span of the area: pixels left <= x < right of row y.
struct Span {
  std::int32_t y;
  std::int32_t left;
  std::int32_t right;
};

// What qualifies for the area: pixels of `target`, or pixels not of it.
template <PixelFormat Format>
struct Rule {
  std::uint32_t target;
  bool inside;  // true: of `target` qualifies; false: not of `target` qualifies

  bool Qualifies(const std::uint8_t* row, std::int32_t x) const {
    return (ReadPixel<Format>(row, x) == target) == inside;
  }
};

template <PixelFormat Format>
class Filler {
 public:
  Filler(Bitmap& bitmap, const Brush& brush, Rule<Format> rule)
      : bitmap_(bitmap), brush_(brush), rule_(rule), area_(bitmap.Width(), bitmap.Height()) {}

  // Fills the area around (x, y), whose pixel qualifies.
  void Run(std::int32_t x, std::int32_t y) {
    Take(y, x);
    while (!pending_.empty()) {
      const Span span = pending_.back();
      pending_.pop_back();
      if (span.y > 0) Scan(span.y - 1, span.left, span.right);
      if (span.y + 1 < bitmap_.Height()) Scan(span.y + 1, span.left, span.right);
    }
  }

 private:
  // Takes every new span of row y that touches left <= x < right.
  void Scan(std::int32_t y, std::int32_t left, std::int32_t right) {
    const std::uint8_t* row = bitmap_.Row(y);
    std::int32_t x = area_.NextUnmarked(y, left, right);
    while (x < right) {
      // The pixel after a span does not qualify, so the search resumes past it.
      x = rule_.Qualifies(row, x) ? Take(y, x) + 1 : x + 1;
      x = area_.NextUnmarked(y, x, right);
    }
  }

  // Takes the whole span through the unmarked, qualifying pixel (x, y):
  // marks it, paints it and queues it. Its neighbours in the row are unmarked
  // too (a marked span would have taken them), so they still hold their
  // colours from before the fill. Answers the span's right end.
  std::int32_t Take(std::int32_t y, std::int32_t x) {
    std::uint8_t* row = bitmap_.Row(y);
    std::int32_t left = x;
    std::int32_t right = x + 1;
    while (left > 0 && rule_.Qualifies(row, left - 1)) --left;
    while (right < bitmap_.Width() && rule_.Qualifies(row, right)) ++right;
    area_.Mark(y, left, right);
    const std::uint8_t mask = BrushRowMask(brush_, y);
    if (mask != 0) PaintSpan(bitmap_, row, left, right, mask, brush_.color);
    pending_.push_back({y, left, right});
    return right;
  }

  Bitmap& bitmap_;
  const Brush& brush_;
  const Rule<Format> rule_;
  AreaMask area_;
  std::vector<Span> pending_;
};

template <PixelFormat Format>
BOOL FloodFill(Bitmap& bitmap, const Brush& brush, std::int32_t x, std::int32_t y,
               Rule<Format> rule) {
  if (!rule.Qualifies(bitmap.Row(y), x)) return FALSE;
  if (brush.style == BrushStyle::Null) return TRUE;
  Filler<Format>(bitmap, brush, rule).Run(x, y);
  return TRUE;
}

}  // namespace

BOOL ExtFloodFill(HDC hdc, std::int32_t x, std::int32_t y, COLORREF color, unsigned type) {
  if (type != FLOODFILLBORDER && type != FLOODFILLSURFACE) return FALSE;
  const auto dc = FindDC(hdc);
  if (!dc) return FALSE;
  const std::shared_ptr<Bitmap> bitmap = dc->bitmap.object;
  const std::shared_ptr<Brush> brush = dc->brush.object;
  if (x < 0 || y < 0 || x >= bitmap->Width() || y >= bitmap->Height()) return FALSE;

  const std::uint32_t target = PixelFromColor(color);
  const bool inside = type == FLOODFILLSURFACE;
  try {
    if (bitmap->Format() == PixelFormat::Bgrx32)
      return FloodFill(*bitmap, *brush, x, y, Rule<PixelFormat::Bgrx32>{target, inside});
    return FloodFill(*bitmap, *brush, x, y, Rule<PixelFormat::Bgr24>{target, inside});
  } catch (const std::bad_alloc&) {
    // Calls report failure by their result; an area this large may be left part filled.
    return FALSE;
  }
}

}  // namespace kelvane::gdi
