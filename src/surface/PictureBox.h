#pragma once
// A picture box: an off-screen drawing surface with a pen, a fill, a font
// and a persistent picture in our own pixel memory, reached through a GDI
// device context. Sizes are in pixels; colours are OLE colours (0x00BBGGRR,
// or a system colour 0x80000000 to 0x80000018). A refused assignment raises
// 380 "Invalid property value" and leaves the box as it was; a failed
// allocation raises 7 "Out of memory".

#include <string>
#include <string_view>
#include <utility>

#include "platform/gdi/Gdi.h"
#include "platform/gdi/UniqueHandle.h"
#include "platform/oleaut/Numbers.h"
#include "platform/oleaut/Variant.h"
#include "platform/picture/Picture.h"

namespace kelvane::surface {

using oleaut::Integer;
using oleaut::Long;
using oleaut::Single;
using oleaut::VariantBool;

// The colour an OLE colour stands for; 380 for a value that is none.
gdi::COLORREF TranslateColor(Long oleColor);

class PictureBox {
 public:
  // Design-time values.
  struct Design {
    Long width;   // outer size in pixels, border included
    Long height;
    Long border;  // pixels on each side
    Long backColor;
    Long foreColor;
    Integer fillStyle;
    std::string fontName;
    Single fontSize;
  };

  explicit PictureBox(const Design& design);
  PictureBox(const PictureBox&) = delete;
  PictureBox& operator=(const PictureBox&) = delete;

  // Back to the design values, with no picture and a blank interior, as a
  // box made with `design` would be; its memory is kept where it can be,
  // and so is its font while the design's matches it.
  void Reset(const Design& design);

  Long get_BackColor() const { return backColor_; }
  Long get_ForeColor() const { return foreColor_; }
  void put_ForeColor(Long color);
  Integer get_DrawStyle() const { return drawStyle_; }
  void put_DrawStyle(Integer style);  // 0 to 6
  Integer get_DrawWidth() const { return drawWidth_; }
  void put_DrawWidth(Integer width);  // 1 to 32767
  Long get_FillColor() const { return fillColor_; }
  void put_FillColor(Long color);
  Integer get_FillStyle() const { return fillStyle_; }
  void put_FillStyle(Integer style);  // 0 to 7

  const std::string& get_FontName() const { return fontName_; }
  void put_FontName(std::string name);
  Single get_FontSize() const { return fontSize_; }
  void put_FontSize(Single points);  // above 0, at most 2160
  VariantBool get_FontBold() const { return fontBold_; }
  void put_FontBold(VariantBool bold) { ChangeFont(fontBold_, bold); }
  VariantBool get_FontItalic() const { return fontItalic_; }
  void put_FontItalic(VariantBool italic) { ChangeFont(fontItalic_, italic); }
  VariantBool get_FontUnderline() const { return fontUnderline_; }
  void put_FontUnderline(VariantBool underline) { ChangeFont(fontUnderline_, underline); }

  // Outer size, border included. Setting it resizes the persistent picture,
  // keeping the pixels that still fit at the top-left corner; new pixels
  // take the back colour. Fractions round to nearest, ties to even.
  Single get_Width() const { return static_cast<Single>(width_); }
  void put_Width(Single width);
  Single get_Height() const { return static_cast<Single>(height_); }
  void put_Height(Single height);
  // Both sides at once, the pixel limits checked on the new size alone; a
  // refused size leaves the box as it was.
  void SetOuterSize(Single width, Single height);
  // Interior size: the outer size less the border on both sides.
  Single get_ScaleWidth() const { return static_cast<Single>(InteriorWidth()); }
  Single get_ScaleHeight() const { return static_cast<Single>(InteriorHeight()); }

  // The device context of the persistent picture; its brush follows
  // FillColor and FillStyle.
  gdi::HDC get_hDC() const { return dc_.get(); }

  Single get_CurrentX() const { return currentX_; }
  void put_CurrentX(Single x) { currentX_ = x; }
  Single get_CurrentY() const { return currentY_; }
  void put_CurrentY(Single y) { currentY_ = y; }

  // A picture of the persistent drawing; it refers to the box's own bitmap.
  picture::PictureRef get_Image() const;
  // The background picture: setting paints it at the top-left corner on the
  // back colour, composing a picture with alpha over it (the box's own
  // picture is already there).
  picture::PictureRef get_Picture() const { return picture_; }
  void putref_Picture(picture::PictureRef picture);

  // Drawing, in the fore colour, pen width and style; coordinates in pixels
  // of the interior. A line includes both end points; a box both corners.
  enum class LineMode {
    Line,       // a line between the points
    Box,        // the outline, the inside by fill style and fill colour
    FilledBox,  // the rectangle filled with the fore colour
  };
  void Line(Single x1, Single y1, Single x2, Single y2, LineMode mode);
  // A whole circle: the outline, the inside by fill style and fill colour.
  // 5 "Invalid procedure call or argument" for a negative radius.
  void Circle(Single x, Single y, Single radius);
  // A dot of the pen width in the fore colour: the disc that fills the
  // square of that side whose left and top lie width / 2 pixels before the
  // point.
  void PSet(Single x, Single y);
  // Text in the fore colour and font, its top-left corner at CurrentX,
  // CurrentY, with no background painted. The font is built on the first
  // Print after a font setting changed, and kept until one changes again.
  void Print(std::string_view text);

  // Persistent drawing. The box is off-screen, so drawing always lands in
  // the persistent picture; the flag is kept for those who read it.
  VariantBool get_AutoRedraw() const { return autoRedraw_; }
  void put_AutoRedraw(VariantBool on) { autoRedraw_ = on; }

 private:
  Long InteriorWidth() const { return std::max<Long>(width_ - 2 * border_, 0); }
  Long InteriorHeight() const { return std::max<Long>(height_ - 2 * border_, 0); }
  Long CheckedOuterSize(Single size) const;
  // Keeps the pixels that still fit unless `blank`.
  void Resize(Long width, Long height, bool blank = false);
  void SelectFillBrush(Long color, Integer style);
  void SelectPen(Long color, Integer style, Integer width);
  template <class T>
  void ChangeFont(T& setting, T value) {
    if (setting == value) return;
    setting = std::move(value);
    fontChanged_ = true;
  }
  void SelectFont();

  Long width_ = 0;
  Long height_ = 0;
  Long border_ = 0;
  Long backColor_ = 0;
  Long foreColor_ = 0;
  Integer drawStyle_ = 0;
  Integer drawWidth_ = 1;
  Long fillColor_ = 0;
  Integer fillStyle_ = 1;
  std::string fontName_;
  Single fontSize_ = 8;
  VariantBool fontBold_ = VariantBool::False;
  VariantBool fontItalic_ = VariantBool::False;
  VariantBool fontUnderline_ = VariantBool::False;
  Single currentX_ = 0;
  Single currentY_ = 0;
  VariantBool autoRedraw_ = VariantBool::True;
  picture::PictureRef picture_;

  gdi::UniqueDC dc_;
  gdi::UniqueObject bitmap_;  // selected into dc_
  gdi::UniqueObject brush_;   // selected into dc_; 0 while a stock brush is
  gdi::UniqueObject pen_;     // selected into dc_
  gdi::UniqueObject font_;    // selected into dc_ once built
  bool fontChanged_ = true;   // font_ no longer matches the settings
};

}  // namespace kelvane::surface
