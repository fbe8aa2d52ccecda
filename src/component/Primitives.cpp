// The drawing primitives: each applies the object's settings to the surface
// and then makes one drawing call there; the flood fill applies nothing and
// fills through GDI with whatever brush the surface holds.

#include "component/Image.h"
#include "platform/gdi/Gdi.h"
#include "platform/oleaut/Conversion.h"
#include "surface/Form1.h"

namespace kelvane::component {

namespace {

using LineMode = surface::PictureBox::LineMode;
using oleaut::Single;

surface::PictureBox& Plot() { return surface::Form1::ForThread().Plot; }

Single S(Integer v) { return static_cast<Single>(v); }

}  // namespace

void Image::PlotLine(Integer x1, Integer y1, Integer x2, Integer y2) {
  ApplySettings();
  Plot().Line(S(x1), S(y1), S(x2), S(y2), LineMode::Line);
}

void Image::PlotBox(Integer x1, Integer y1, Integer x2, Integer y2) {
  ApplySettings();
  Plot().Line(S(x1), S(y1), S(x2), S(y2), LineMode::Box);
}

void Image::PlotSolidBox(Integer x1, Integer y1, Integer x2, Integer y2) {
  ApplySettings();
  Plot().Line(S(x1), S(y1), S(x2), S(y2), LineMode::FilledBox);
}

void Image::PlotCircle(Integer x1, Integer y1, Integer r) {
  ApplySettings();
  Plot().Circle(S(x1), S(y1), S(r));
}

// Draws with a solid fill whatever the stored fill style, which is kept and
// stored back as a 16-bit integer. The kept style is restored on the error
// paths too, so one failed call does not change later drawing.
void Image::PlotSolidCircle(Integer x1, Integer y1, Integer r) {
  const Integer kept = oleaut::ToInteger(PlotFillStyle_);
  PlotFillStyle_ = Integer{0};
  try {
    ApplySettings();
    Plot().Circle(S(x1), S(y1), S(r));
  } catch (...) {
    PlotFillStyle_ = kept;
    throw;
  }
  PlotFillStyle_ = kept;
  ApplySettings();
}

// `s` arrives by value: the object's own copy of the text.
void Image::PlotText(Integer x1, Integer y1, std::string s) {
  ApplySettings();
  Plot().put_CurrentX(S(x1));
  Plot().put_CurrentY(S(y1));
  Plot().Print(s);
}

void Image::PlotPixel(Integer x1, Integer y1) {
  ApplySettings();
  Plot().PSet(S(x1), S(y1));
}

void Image::FloodFill(Long x, Long y, Long BorderColor) {
  gdi::ExtFloodFill(Plot().get_hDC(), x, y, static_cast<gdi::COLORREF>(BorderColor),
                    gdi::FLOODFILLBORDER);
}

}  // namespace kelvane::component
