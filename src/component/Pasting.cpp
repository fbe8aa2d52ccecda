// Pasting ready-made pixels: a picture read from a file, through the holder
// tPict, and the built-in logo, from the holder Logo. Both copy the holder's
// pixels unscaled; only the part of the surface's interior that the 70 x 63
// holder covers changes.

#include "component/Image.h"
#include "platform/oleaut/AutomationError.h"
#include "platform/picture/LoadPicture.h"
#include "surface/Form1.h"

namespace kelvane::component {

namespace {

using oleaut::SkipOnError;

Long Whole(oleaut::Single v) { return oleaut::RoundTo<Long>(v); }

}  // namespace

// Ignores every error: a picture that cannot be loaded leaves the holder
// as it was, and whatever it holds is pasted.
void Image::PastePicture(Long x1, Long y1, std::string PName) {
  surface::Form1& form = surface::Form1::ForThread();
  SkipOnError([&] { form.tPict.putref_Picture(picture::LoadPicture(PName)); });
  const auto held = form.tPict.get_Picture();
  if (!held || held->get_Handle() == 0) return;
  gdi::HDC plot = 0, holder = 0;
  Long width = 0, height = 0;
  SkipOnError([&] { plot = form.Plot.get_hDC(); });
  SkipOnError([&] { width = Whole(form.Plot.get_ScaleWidth()); });
  SkipOnError([&] { height = Whole(form.Plot.get_ScaleHeight()); });
  SkipOnError([&] { holder = form.tPict.get_hDC(); });
  gdi::BitBlt(plot, x1, y1, width, height, holder, 0, 0, gdi::SRCCOPY);
}

void Image::PasteLogo() {
  surface::PictureBox& plot = surface::Form1::ForThread().Plot;
  plot.put_Height(plot.get_Height() < 100 ? 200 : plot.get_Height());
  plot.put_Width(plot.get_Width() < 100 ? 200 : plot.get_Width());
  const gdi::HDC target = plot.get_hDC();
  const gdi::HDC logo = surface::Form1::ForThread().Logo.get_hDC();
  const Long width = Whole(plot.get_ScaleWidth());
  const Long height = Whole(plot.get_ScaleHeight());
  gdi::BitBlt(target, 0, 0, width, height, logo, 0, 0, gdi::SRCCOPY);
}

}  // namespace kelvane::component
