// Renders one picture of every drawing primitive, with every pen style and
// fill style, to a PNG file for a person to look at:
//   build/examples/primitives out.png
#include <cairo.h>

#include <cstdio>
#include <string>

#include "component/Image.h"
#include "platform/gdi/Objects.h"
#include "surface/Form1.h"

using kelvane::component::Image;
using kelvane::oleaut::Integer;
using kelvane::oleaut::Long;

int main(int argc, char** argv) {
  const std::string out = argc > 1 ? argv[1] : "primitives.png";
  Image image;
  image.put_PlotWidth(560);
  image.put_PlotHeight(Integer{300});

  // Pen styles 0 to 6 at width 1, then widths 2, 4 and 8.
  for (Integer style = 0; style <= 6; ++style) {
    image.put_PenStyle(style);
    const auto y = static_cast<Integer>(10 + style * 12);
    image.PlotLine(10, y, 200, y);
  }
  image.put_PenStyle(Integer{0});
  for (Integer i = 0; i < 3; ++i) {
    image.put_PenWidth(Integer(2 << i));
    const auto y = static_cast<Integer>(100 + i * 16);
    image.PlotLine(10, y, 200, static_cast<Integer>(y + 8));
  }

  // Fill styles 0 to 7 in boxes and circles.
  image.put_PenWidth(Integer{1});
  image.put_PenColor(Long{0x800000});
  image.put_PlotFillColor(Long{0x0080FF});
  for (Integer style = 0; style <= 7; ++style) {
    image.put_PlotFillStyle(style);
    const auto x = static_cast<Integer>(220 + style * 40);
    image.PlotBox(x, 10, static_cast<Integer>(x + 32), 50);
    image.PlotCircle(static_cast<Integer>(x + 16), 80, 15);
  }

  // Solid shapes, pixels and a flood fill.
  image.put_PenColor(Long{0x0000C0});
  image.PlotSolidBox(220, 120, 300, 160);
  image.put_PlotFillColor(Long{0x00A000});
  image.PlotSolidCircle(350, 140, 20);
  for (Integer i = 0; i < 20; ++i) image.PlotPixel(static_cast<Integer>(400 + i * 4), 140);
  image.put_PenWidth(Integer{6});
  image.PlotPixel(400, 160);

  // A wide pen centred on the outline (style 0) and kept inside it (style
  // 6), each over the thin outline of the same shape.
  image.put_PlotFillStyle(Integer{1});
  for (Integer style : {Integer{0}, Integer{6}}) {
    const auto x = static_cast<Integer>(style == 0 ? 495 : 530);
    for (Integer width : {Integer{6}, Integer{1}}) {
      image.put_PenStyle(width == 1 ? Integer{0} : style);
      image.put_PenWidth(width);
      image.put_PenColor(Long{width == 1 ? 0x0000FF : 0xC08000});
      image.PlotBox(x, 115, static_cast<Integer>(x + 24), 139);
      image.PlotCircle(static_cast<Integer>(x + 12), 165, 12);
    }
  }
  image.put_PenStyle(Integer{0});

  image.put_PenWidth(Integer{1});
  image.put_PenColor(Long{0});
  image.PlotCircle(120, 230, 50);
  image.PlotLine(70, 230, 170, 230);
  image.put_PlotFillStyle(Integer{0});
  image.put_PlotFillColor(Long{0xC0C000});
  image.PlotPixel(0, 0);
  image.FloodFill(120, 210, 0);
  image.put_PlotFillStyle(Integer{6});
  image.put_PlotFillColor(Long{0xFF00FF});
  image.PlotPixel(0, 0);
  image.FloodFill(120, 250, 0);

  // Text: fonts, sizes, styles, several scripts, a missing glyph's fallback.
  image.put_PenColor(Long{0x000000});
  image.put_PlotFillStyle(Integer{1});
  image.put_PlotFontSize(Integer{14});
  image.PlotText(240, 190, "Arial 14: Kelvane draws");
  image.put_PlotFontBold(kelvane::oleaut::VariantBool::True);
  image.put_PenColor(Long{0x0000C0});
  image.PlotText(240, 212, "Bold red");
  image.put_PlotFontBold(kelvane::oleaut::VariantBool::False);
  image.put_PlotFontItalic(kelvane::oleaut::VariantBool::True);
  image.put_PlotFontUnderline(kelvane::oleaut::VariantBool::True);
  image.put_PenColor(Long{0x008000});
  image.PlotText(340, 212, "Italic underlined");
  image.put_PlotFontItalic(kelvane::oleaut::VariantBool::False);
  image.put_PlotFontUnderline(kelvane::oleaut::VariantBool::False);
  image.put_PenColor(Long{0x800000});
  image.put_PlotFontName("Liberation Serif");
  image.put_PlotFontSize(Integer{11});
  image.PlotText(240, 236, "Serif 11 · Ελληνικά · Кириллица · \xE2\x82 bad bytes");
  image.put_PlotFontName("Courier New");
  image.put_PlotFontSize(Integer{9});
  image.PlotText(240, 256, "Courier 9\nsecond line");

  const auto bitmap = kelvane::gdi::FindDC(kelvane::surface::Form1::ForThread().Plot.get_hDC())
                          ->bitmap.object;
  cairo_surface_t* surface = cairo_image_surface_create_for_data(
      bitmap->Bits(), CAIRO_FORMAT_RGB24, bitmap->Width(), bitmap->Height(), bitmap->Stride());
  const auto status = cairo_surface_write_to_png(surface, out.c_str());
  cairo_surface_destroy(surface);
  if (status != CAIRO_STATUS_SUCCESS) {
    std::fprintf(stderr, "cannot write %s\n", out.c_str());
    return 1;
  }
  return 0;
}
