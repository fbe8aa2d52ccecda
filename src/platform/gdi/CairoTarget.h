#pragma once
// A cairo context drawing straight into a DC's selected bitmap, made for one
// call: no copy of the pixels is taken. Only the screen's 32-bit format is
// drawn on; for any other bitmap, or an empty one, Ok() is false.

#include <cairo.h>

#include <memory>

#include "platform/gdi/Objects.h"

namespace kelvane::gdi {

class CairoTarget {
 public:
  CairoTarget(Bitmap& bitmap, cairo_antialias_t antialias);
  ~CairoTarget();
  CairoTarget(const CairoTarget&) = delete;
  CairoTarget& operator=(const CairoTarget&) = delete;

  bool Ok() const { return cr_ && cairo_status(cr_.get()) == CAIRO_STATUS_SUCCESS; }
  cairo_t* get() const { return cr_.get(); }

  void SetColor(COLORREF c) {
    cairo_set_source_rgb(cr_.get(), GetRValue(c) / 255.0, GetGValue(c) / 255.0,
                         GetBValue(c) / 255.0);
  }

 private:
  std::unique_ptr<cairo_surface_t, decltype(&cairo_surface_destroy)> surface_;
  std::unique_ptr<cairo_t, decltype(&cairo_destroy)> cr_;
};

}  // namespace kelvane::gdi
