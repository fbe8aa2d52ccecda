// Lines and shapes, rasterised by cairo straight into the bitmap's pixel
// memory with antialiasing off, so that every pixel is exactly the pen's or
// the brush's colour and flood fills find their borders.

#include <algorithm>
#include <array>
#include <cmath>
#include <utility>
#include <numbers>
#include <span>

#include "platform/gdi/CairoTarget.h"
#include "platform/gdi/Objects.h"
#include "platform/gdi/Paint.h"

namespace kelvane::gdi {

namespace {

// Outlines on a DC's bitmap with its selected pen, unantialiased.
class Canvas {
 public:
  explicit Canvas(DeviceContext& dc)
      : dc_(dc), target_(*dc.bitmap.object, CAIRO_ANTIALIAS_NONE) {}

  bool Ok() const { return target_.Ok(); }
  cairo_t* get() const { return target_.get(); }

  // Strokes the current path with the selected pen, then clears the path.
  // A one-pixel pen has flat ends, a wider one round ends and joins.
  void StrokeWithPen() {
    const Pen& pen = *dc_.pen.object;
    if (pen.style == PS_NULL) {
      cairo_new_path(get());
      return;
    }
    target_.SetColor(pen.color);
    cairo_set_line_width(get(), pen.width);
    const bool cosmetic = pen.width == 1;
    cairo_set_line_cap(get(), cosmetic ? CAIRO_LINE_CAP_BUTT : CAIRO_LINE_CAP_ROUND);
    cairo_set_line_join(get(), cosmetic ? CAIRO_LINE_JOIN_MITER : CAIRO_LINE_JOIN_ROUND);
    const auto dashes = Dashes(pen.style);
    if (cosmetic && !dashes.empty())
      cairo_set_dash(get(), dashes.data(), static_cast<int>(dashes.size()), 0);
    cairo_stroke(get());
    cairo_set_dash(get(), nullptr, 0, 0);
  }

  // Fills the current path with the selected pen's colour, then clears it.
  void FillWithPen() {
    target_.SetColor(dc_.pen.object->color);
    cairo_fill(get());
  }

  // Whether the selected pen draws a dash pattern: a one-pixel pen of a
  // dashed style.
  bool PenDashes() const {
    const Pen& pen = *dc_.pen.object;
    return pen.width == 1 && !Dashes(pen.style).empty();
  }

  // Paints pixel (x, y) in the selected pen's colour, unless it is the null
  // pen.
  void PaintPixel(std::int32_t x, std::int32_t y) {
    const Pen& pen = *dc_.pen.object;
    if (pen.style == PS_NULL) return;
    target_.SetColor(pen.color);
    cairo_rectangle(get(), x, y, 1, 1);
    cairo_fill(get());
  }

  // Strokes the line from pixel (x0, y0) to pixel (x1, y1), both included,
  // with the selected pen. A one-pixel pen runs from the outer edge of one
  // end pixel to that of the other, so that a dash pattern starts there, and
  // paints both end pixels whatever the pattern; a line of no length is its
  // one pixel. A wider pen runs from centre to centre, its round ends making
  // a dot of a line of no length.
  void StrokeLine(std::int32_t x0, std::int32_t y0, std::int32_t x1, std::int32_t y1) {
    double ax = x0 + 0.5, ay = y0 + 0.5, bx = x1 + 0.5, by = y1 + 0.5;
    if (dc_.pen.object->width > 1) {
      cairo_move_to(get(), ax, ay);
      cairo_line_to(get(), bx, by);
      StrokeWithPen();
      return;
    }
    if (x0 == x1 && y0 == y1) {
      PaintPixel(x0, y0);
      return;
    }
    const double length = std::hypot(bx - ax, by - ay);
    const double halfX = (bx - ax) / length / 2, halfY = (by - ay) / length / 2;
    cairo_move_to(get(), ax - halfX, ay - halfY);
    cairo_line_to(get(), bx + halfX, by + halfY);
    StrokeWithPen();
    if (PenDashes()) {
      PaintPixel(x0, y0);
      PaintPixel(x1, y1);
    }
  }

 private:
  // The dash pattern of a cosmetic pen style; empty for a solid one.
  static std::span<const double> Dashes(int style) {
    static constexpr std::array<double, 2> dash{18, 6};
    static constexpr std::array<double, 2> dot{3, 3};
    static constexpr std::array<double, 4> dashDot{9, 6, 3, 6};
    static constexpr std::array<double, 6> dashDotDot{9, 3, 3, 3, 3, 3};
    switch (style) {
      case PS_DASH: return dash;
      case PS_DOT: return dot;
      case PS_DASHDOT: return dashDot;
      case PS_DASHDOTDOT: return dashDotDot;
      default: return {};
    }
  }

  DeviceContext& dc_;
  CairoTarget target_;
};

// Fills rows top <= y < bottom, clipped to the bitmap, with the selected
// brush: in row y the pixels SpanOf(y).first <= x < SpanOf(y).second.
template <class SpanOf>
void FillRows(DeviceContext& dc, std::int64_t top, std::int64_t bottom, SpanOf spanOf) {
  const Brush& brush = *dc.brush.object;
  if (brush.style == BrushStyle::Null) return;
  Bitmap& bitmap = *dc.bitmap.object;
  for (std::int64_t y = std::max<std::int64_t>(top, 0); y < std::min<std::int64_t>(bottom, bitmap.Height()); ++y) {
    const auto [left, right] = spanOf(y);
    const std::int64_t from = std::max<std::int64_t>(left, 0);
    const std::int64_t to = std::min<std::int64_t>(right, bitmap.Width());
    if (from < to)
      PaintSpan(bitmap, bitmap.Row(static_cast<std::int32_t>(y)), from, to, BrushRowMask(brush, y),
                brush.color);
  }
}

// The box [left, right) x [top, bottom): nothing when it is empty, else its
// inside filled by `fill` and then its outline drawn with the selected pen.
// `outline(cr, in)` makes the shape's path `in` pixels within the box's
// edges. The outline runs through the centres of the box's outer pixels;
// an inside-frame pen's runs half its width in, so that all of the pen lies
// in the box, and a box no wider or higher than twice that pen, which the
// pen covers from each side to the middle, is pen all through.
// A box one pixel wide or high has for outline the line between its corners.
// With `corners`, a dashed pen paints the box's four corner pixels whatever
// its pattern.
template <class Fill, class Outline>
BOOL DrawInBox(HDC hdc, std::int32_t left, std::int32_t top, std::int32_t right,
               std::int32_t bottom, Fill fill, Outline outline, bool corners) {
  const auto dc = FindDC(hdc);
  if (!dc) return FALSE;
  if (right <= left || bottom <= top) return TRUE;
  fill(*dc);
  Canvas canvas(*dc);
  if (!canvas.Ok()) return TRUE;
  const Pen& pen = *dc->pen.object;
  const bool insideFrame = pen.style == PS_INSIDEFRAME && pen.width > 1;
  const std::int64_t width = std::int64_t{right} - left, height = std::int64_t{bottom} - top;
  if (insideFrame && std::min(width, height) <= 2 * std::int64_t{pen.width}) {
    outline(canvas.get(), 0.0);
    canvas.FillWithPen();
  } else if (width == 1 || height == 1) {
    canvas.StrokeLine(left, top, right - 1, bottom - 1);
  } else {
    outline(canvas.get(), insideFrame ? pen.width / 2.0 : 0.5);
    canvas.StrokeWithPen();
    if (corners && canvas.PenDashes())
      for (const std::int32_t y : {top, bottom - 1})
        for (const std::int32_t x : {left, right - 1}) canvas.PaintPixel(x, y);
  }
  return TRUE;
}

}  // namespace

BOOL MoveToEx(HDC hdc, std::int32_t x, std::int32_t y) {
  const auto dc = FindDC(hdc);
  if (!dc) return FALSE;
  dc->currentX = x;
  dc->currentY = y;
  return TRUE;
}

BOOL LineTo(HDC hdc, std::int32_t x, std::int32_t y) {
  const auto dc = FindDC(hdc);
  if (!dc) return FALSE;
  {
    Canvas canvas(*dc);
    if (canvas.Ok()) canvas.StrokeLine(dc->currentX, dc->currentY, x, y);
  }
  dc->currentX = x;
  dc->currentY = y;
  return TRUE;
}

BOOL Rectangle(HDC hdc, std::int32_t left, std::int32_t top, std::int32_t right,
               std::int32_t bottom) {
  const auto fill = [&](DeviceContext& dc) {
    FillRows(dc, top, bottom, [&](std::int64_t) { return std::pair<std::int64_t, std::int64_t>(left, right); });
  };
  const auto outline = [&](cairo_t* cr, double in) {
    cairo_rectangle(cr, left + in, top + in, static_cast<double>(right) - left - 2 * in,
                    static_cast<double>(bottom) - top - 2 * in);
  };
  return DrawInBox(hdc, left, top, right, bottom, fill, outline, true);
}

// The ellipse through the centres of the box's outer pixels. A pixel is
// inside when its centre is.
BOOL Ellipse(HDC hdc, std::int32_t left, std::int32_t top, std::int32_t right,
             std::int32_t bottom) {
  const double rx = std::max((static_cast<double>(right) - left - 1) / 2, 0.5);
  const double ry = std::max((static_cast<double>(bottom) - top - 1) / 2, 0.5);
  const double cx = left + 0.5 + (static_cast<double>(right) - left - 1) / 2;
  const double cy = top + 0.5 + (static_cast<double>(bottom) - top - 1) / 2;
  const auto fill = [&](DeviceContext& dc) {
    FillRows(dc, top, bottom, [&](std::int64_t y) {
      const double dy = (static_cast<double>(y) + 0.5 - cy) / ry;
      if (dy * dy > 1) return std::pair<std::int64_t, std::int64_t>(0, 0);
      const double half = rx * std::sqrt(1 - dy * dy);
      return std::pair(static_cast<std::int64_t>(std::ceil(cx - half - 0.5)),
                       static_cast<std::int64_t>(std::floor(cx + half - 0.5)) + 1);
    });
  };
  const auto outline = [&](cairo_t* cr, double in) {
    cairo_save(cr);
    cairo_translate(cr, cx, cy);
    cairo_scale(cr, (static_cast<double>(right) - left) / 2 - in,
                (static_cast<double>(bottom) - top) / 2 - in);
    cairo_arc(cr, 0, 0, 1, 0, 2 * std::numbers::pi);
    cairo_close_path(cr);
    cairo_restore(cr);
  };
  return DrawInBox(hdc, left, top, right, bottom, fill, outline, false);
}

COLORREF SetPixel(HDC hdc, std::int32_t x, std::int32_t y, COLORREF color) {
  const auto dc = FindDC(hdc);
  if (!dc) return CLR_INVALID;
  Bitmap& bitmap = *dc->bitmap.object;
  if (x < 0 || y < 0 || x >= bitmap.Width() || y >= bitmap.Height()) return CLR_INVALID;
  PaintSpan(bitmap, bitmap.Row(y), x, x + 1, 0xFF, color);
  return color & 0x00FFFFFF;
}

}  // namespace kelvane::gdi
