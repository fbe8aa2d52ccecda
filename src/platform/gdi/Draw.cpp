// Lines and shapes, rasterised by cairo straight into the bitmap's pixel
// memory with antialiasing off, so that every pixel is exactly the pen's or
// the brush's colour and flood fills find their borders.

#include <cairo.h>

#include <array>
#include <cstring>
#include <memory>
#include <numbers>
#include <span>

#include "platform/gdi/Objects.h"
#include "platform/gdi/Paint.h"

namespace kelvane::gdi {

namespace {

using Surface = std::unique_ptr<cairo_surface_t, decltype(&cairo_surface_destroy)>;
using Context = std::unique_ptr<cairo_t, decltype(&cairo_destroy)>;
using Pattern = std::unique_ptr<cairo_pattern_t, decltype(&cairo_pattern_destroy)>;

// A cairo context over a DC's bitmap, made for one call.
class Canvas {
 public:
  explicit Canvas(DeviceContext& dc)
      : dc_(dc),
        surface_(nullptr, &cairo_surface_destroy),
        cr_(nullptr, &cairo_destroy) {
    Bitmap& bitmap = *dc.bitmap.object;
    if (bitmap.Format() != PixelFormat::Bgrx32 || bitmap.Width() == 0 || bitmap.Height() == 0)
      return;
    surface_.reset(cairo_image_surface_create_for_data(bitmap.Bits(), CAIRO_FORMAT_RGB24,
                                                       bitmap.Width(), bitmap.Height(),
                                                       bitmap.Stride()));
    if (cairo_surface_status(surface_.get()) != CAIRO_STATUS_SUCCESS) return;
    cr_.reset(cairo_create(surface_.get()));
    cairo_set_antialias(cr_.get(), CAIRO_ANTIALIAS_NONE);
  }
  ~Canvas() {
    if (surface_) cairo_surface_flush(surface_.get());
  }
  Canvas(const Canvas&) = delete;
  Canvas& operator=(const Canvas&) = delete;

  bool Ok() const { return cr_ && cairo_status(cr_.get()) == CAIRO_STATUS_SUCCESS; }
  cairo_t* get() const { return cr_.get(); }

  // Fills the current path with the selected brush, keeping the path.
  void FillWithBrush() {
    const Brush& brush = *dc_.brush.object;
    if (brush.style == BrushStyle::Null) return;
    if (brush.style == BrushStyle::Solid) {
      SetColor(brush.color);
      cairo_fill_preserve(cr_.get());
      return;
    }
    const Pattern hatch = HatchPattern(brush);
    cairo_set_source(cr_.get(), hatch.get());
    cairo_fill_preserve(cr_.get());
  }

  // Strokes the current path with the selected pen, then clears the path.
  void StrokeWithPen() {
    const Pen& pen = *dc_.pen.object;
    if (pen.style == PS_NULL) {
      cairo_new_path(cr_.get());
      return;
    }
    SetColor(pen.color);
    cairo_set_line_width(cr_.get(), pen.width);
    const bool cosmetic = pen.width == 1;
    cairo_set_line_cap(cr_.get(), cosmetic ? CAIRO_LINE_CAP_SQUARE : CAIRO_LINE_CAP_ROUND);
    cairo_set_line_join(cr_.get(), cosmetic ? CAIRO_LINE_JOIN_MITER : CAIRO_LINE_JOIN_ROUND);
    const auto dashes = Dashes(pen.style);
    if (cosmetic && !dashes.empty()) {
      cairo_set_line_cap(cr_.get(), CAIRO_LINE_CAP_BUTT);
      cairo_set_dash(cr_.get(), dashes.data(), static_cast<int>(dashes.size()), 0);
    }
    cairo_stroke(cr_.get());
    cairo_set_dash(cr_.get(), nullptr, 0, 0);
  }

 private:
  void SetColor(COLORREF c) {
    cairo_set_source_rgb(cr_.get(), GetRValue(c) / 255.0, GetGValue(c) / 255.0,
                         GetBValue(c) / 255.0);
  }

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

  // An 8 x 8 repeating pattern, opaque on the hatch lines and transparent
  // between them, aligned to the bitmap's origin.
  static Pattern HatchPattern(const Brush& brush) {
    Surface tile(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 8, 8), &cairo_surface_destroy);
    cairo_surface_flush(tile.get());
    unsigned char* data = cairo_image_surface_get_data(tile.get());
    const int stride = cairo_image_surface_get_stride(tile.get());
    const std::uint32_t opaque = 0xFF000000u | PixelFromColor(brush.color);
    for (int y = 0; y < 8; ++y) {
      const std::uint8_t mask = HatchRow(brush.hatch, y);
      for (int x = 0; x < 8; ++x) {
        const std::uint32_t pixel = ((mask >> x) & 1) ? opaque : 0u;
        std::memcpy(data + y * stride + x * 4, &pixel, 4);
      }
    }
    cairo_surface_mark_dirty(tile.get());
    Pattern pattern(cairo_pattern_create_for_surface(tile.get()), &cairo_pattern_destroy);
    cairo_pattern_set_extend(pattern.get(), CAIRO_EXTEND_REPEAT);
    cairo_pattern_set_filter(pattern.get(), CAIRO_FILTER_NEAREST);
    return pattern;
  }

  DeviceContext& dc_;
  Surface surface_;
  Context cr_;
};

// Runs `draw` on a canvas over the box [left, right) x [top, bottom) of
// `hdc`'s bitmap; an empty box draws nothing.
template <class Draw>
BOOL DrawInBox(HDC hdc, std::int32_t left, std::int32_t top, std::int32_t right,
               std::int32_t bottom, Draw draw) {
  const auto dc = FindDC(hdc);
  if (!dc) return FALSE;
  Canvas canvas(*dc);
  if (canvas.Ok() && right > left && bottom > top)
    draw(canvas, left, top, static_cast<double>(right) - left, static_cast<double>(bottom) - top);
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
    if (canvas.Ok()) {
      cairo_move_to(canvas.get(), dc->currentX + 0.5, dc->currentY + 0.5);
      cairo_line_to(canvas.get(), x + 0.5, y + 0.5);
      canvas.StrokeWithPen();
    }
  }
  dc->currentX = x;
  dc->currentY = y;
  return TRUE;
}

BOOL Rectangle(HDC hdc, std::int32_t left, std::int32_t top, std::int32_t right,
               std::int32_t bottom) {
  return DrawInBox(hdc, left, top, right, bottom,
                   [](Canvas& canvas, double x, double y, double w, double h) {
                     cairo_rectangle(canvas.get(), x, y, w, h);
                     canvas.FillWithBrush();
                     cairo_new_path(canvas.get());
                     cairo_rectangle(canvas.get(), x + 0.5, y + 0.5, w - 1, h - 1);
                     canvas.StrokeWithPen();
                   });
}

BOOL Ellipse(HDC hdc, std::int32_t left, std::int32_t top, std::int32_t right,
             std::int32_t bottom) {
  return DrawInBox(hdc, left, top, right, bottom,
                   [](Canvas& canvas, double x, double y, double w, double h) {
                     cairo_t* cr = canvas.get();
                     const double rx = (w - 1) / 2;
                     const double ry = (h - 1) / 2;
                     cairo_save(cr);
                     cairo_translate(cr, x + 0.5 + rx, y + 0.5 + ry);
                     cairo_scale(cr, rx > 0 ? rx : 0.5, ry > 0 ? ry : 0.5);
                     cairo_arc(cr, 0, 0, 1, 0, 2 * std::numbers::pi);
                     cairo_restore(cr);
                     canvas.FillWithBrush();
                     canvas.StrokeWithPen();
                   });
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
