#include "platform/gdi/CairoTarget.h"

namespace kelvane::gdi {

CairoTarget::CairoTarget(Bitmap& bitmap, cairo_antialias_t antialias)
    : surface_(nullptr, &cairo_surface_destroy), cr_(nullptr, &cairo_destroy) {
  if (bitmap.Format() != PixelFormat::Bgrx32 || bitmap.Width() == 0 || bitmap.Height() == 0)
    return;
  surface_.reset(cairo_image_surface_create_for_data(bitmap.Bits(), CAIRO_FORMAT_RGB24,
                                                     bitmap.Width(), bitmap.Height(),
                                                     bitmap.Stride()));
  if (cairo_surface_status(surface_.get()) != CAIRO_STATUS_SUCCESS) return;
  cr_.reset(cairo_create(surface_.get()));
  cairo_set_antialias(cr_.get(), antialias);
}

CairoTarget::~CairoTarget() {
  if (surface_) cairo_surface_flush(surface_.get());
}

}  // namespace kelvane::gdi
