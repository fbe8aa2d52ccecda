#include "surface/PictureBox.h"

#include <cmath>

#include "platform/oleaut/AutomationError.h"
#include "platform/user/SysColors.h"

namespace kelvane::surface {

using oleaut::RaiseRuntimeError;

namespace {

constexpr std::uint32_t kSystemColorBase = 0x80000000;

[[noreturn]] void RaiseInvalidValue() { RaiseRuntimeError(oleaut::kInvalidPropertyValue); }

// The hatch style for fill styles 2 to 7: horizontal, vertical, upward
// diagonal, downward diagonal, cross, diagonal cross.
int HatchForFillStyle(Integer style) {
  static constexpr int hatches[] = {gdi::HS_HORIZONTAL, gdi::HS_VERTICAL, gdi::HS_BDIAGONAL,
                                    gdi::HS_FDIAGONAL,  gdi::HS_CROSS,    gdi::HS_DIAGCROSS};
  return hatches[style - 2];
}

// Selects `object` into `dc` for the scope's lifetime.
class Selection {
 public:
  Selection(gdi::HDC dc, gdi::HGDIOBJ object) : dc_(dc), previous_(gdi::SelectObject(dc, object)) {}
  ~Selection() { gdi::SelectObject(dc_, previous_); }
  Selection(const Selection&) = delete;
  Selection& operator=(const Selection&) = delete;

 private:
  gdi::HDC dc_;
  gdi::HGDIOBJ previous_;
};

// A new object selected into `dc` for as long as this lives, then deleted.
class OwnedSelection {
 public:
  OwnedSelection(gdi::HDC dc, gdi::HGDIOBJ object) : object_(object), selection_(dc, object) {}

 private:
  gdi::UniqueObject object_;
  Selection selection_;
};

// A memory context with `bitmap` selected, for as long as it lives.
class ScratchDC {
 public:
  explicit ScratchDC(gdi::HBITMAP bitmap)
      : dc_(gdi::CreateCompatibleDC(0)), selection_(dc_.get(), bitmap) {}
  gdi::HDC get() const { return dc_.get(); }

 private:
  gdi::UniqueDC dc_;
  Selection selection_;
};

Long Pixel(Single v) { return oleaut::RoundTo<Long>(v); }

void PaintBackColor(gdi::HDC dc, Long oleColor, Long width, Long height) {
  const gdi::UniqueObject brush(gdi::CreateSolidBrush(TranslateColor(oleColor)));
  const gdi::RECT all{0, 0, width, height};
  gdi::FillRect(dc, &all, brush.get());
}

}  // namespace

gdi::COLORREF TranslateColor(Long oleColor) {
  const auto value = static_cast<std::uint32_t>(oleColor);
  if (value <= 0x00FFFFFF) return value;
  if (value >= kSystemColorBase && value <= kSystemColorBase + user::COLOR_INFOBK)
    return user::GetSysColor(static_cast<int>(value - kSystemColorBase));
  RaiseInvalidValue();
}

PictureBox::PictureBox(const Design& design)
    : border_(design.border),
      backColor_(design.backColor),
      foreColor_(design.foreColor),
      fontName_(design.fontName),
      fontSize_(design.fontSize),
      dc_(gdi::CreateCompatibleDC(0)) {
  if (!dc_) RaiseRuntimeError(oleaut::kOutOfMemory);
  SelectFillBrush(fillColor_, design.fillStyle);
  SelectPen(foreColor_, drawStyle_, drawWidth_);
  Resize(design.width, design.height);
}

void PictureBox::Reset(const Design& design) {
  if (foreColor_ != design.foreColor || drawStyle_ != 0 || drawWidth_ != 1)
    SelectPen(design.foreColor, 0, 1);
  if (fillColor_ != 0 || fillStyle_ != design.fillStyle) SelectFillBrush(0, design.fillStyle);
  ChangeFont(fontName_, design.fontName);
  ChangeFont(fontSize_, design.fontSize);
  ChangeFont(fontBold_, VariantBool::False);
  ChangeFont(fontItalic_, VariantBool::False);
  ChangeFont(fontUnderline_, VariantBool::False);
  currentX_ = currentY_ = 0;
  autoRedraw_ = VariantBool::True;
  picture_.reset();
  if (design.width != width_ || design.height != height_) {
    Resize(design.width, design.height, true);
  } else {
    PaintBackColor(dc_.get(), backColor_, InteriorWidth(), InteriorHeight());
  }
}

void PictureBox::put_ForeColor(Long color) {
  if (color != foreColor_) SelectPen(color, drawStyle_, drawWidth_);
}

void PictureBox::put_DrawStyle(Integer style) {
  if (style < 0 || style > 6) RaiseInvalidValue();
  if (style != drawStyle_) SelectPen(foreColor_, style, drawWidth_);
}

void PictureBox::put_DrawWidth(Integer width) {
  if (width < 1) RaiseInvalidValue();
  if (width != drawWidth_) SelectPen(foreColor_, drawStyle_, width);
}

// Draw styles 0 to 6 are the pen styles of the same numbers.
void PictureBox::SelectPen(Long color, Integer style, Integer width) {
  gdi::UniqueObject pen(gdi::CreatePen(style, width, TranslateColor(color)));
  if (!pen || gdi::SelectObject(dc_.get(), pen.get()) == 0)
    RaiseRuntimeError(oleaut::kOutOfMemory);
  pen_ = std::move(pen);
  foreColor_ = color;
  drawStyle_ = style;
  drawWidth_ = width;
}

void PictureBox::put_FillColor(Long color) {
  if (color == fillColor_) return;
  SelectFillBrush(color, fillStyle_);
}

void PictureBox::put_FillStyle(Integer style) {
  if (style < 0 || style > 7) RaiseInvalidValue();
  if (style == fillStyle_) return;
  SelectFillBrush(fillColor_, style);
}

void PictureBox::SelectFillBrush(Long color, Integer style) {
  const gdi::COLORREF rgb = TranslateColor(color);
  gdi::UniqueObject brush;
  if (style == 0) {
    brush.reset(gdi::CreateSolidBrush(rgb));
  } else if (style >= 2) {
    brush.reset(gdi::CreateHatchBrush(HatchForFillStyle(style), rgb));
  }
  const gdi::HBRUSH selected = brush ? brush.get() : gdi::GetStockObject(gdi::NULL_BRUSH);
  if (selected == 0 || gdi::SelectObject(dc_.get(), selected) == 0)
    RaiseRuntimeError(oleaut::kOutOfMemory);
  brush_ = std::move(brush);
  fillColor_ = color;
  fillStyle_ = style;
}

void PictureBox::put_FontName(std::string name) { ChangeFont(fontName_, std::move(name)); }

void PictureBox::put_FontSize(Single points) {
  if (!(points > 0.0f && points <= 2160.0f)) RaiseInvalidValue();
  ChangeFont(fontSize_, points);
}

// Sizes are points at 96 dots per inch; the font's character height is
// the nearest whole number of pixels.
void PictureBox::SelectFont() {
  gdi::LOGFONTA request;
  request.lfHeight = -std::max<Long>(1, Pixel(fontSize_ * 96.0f / 72.0f));
  request.lfWeight = oleaut::IsTrue(fontBold_) ? gdi::FW_BOLD : gdi::FW_NORMAL;
  request.lfItalic = oleaut::IsTrue(fontItalic_) ? 1 : 0;
  request.lfUnderline = oleaut::IsTrue(fontUnderline_) ? 1 : 0;
  request.lfFaceName = fontName_;
  gdi::UniqueObject font(gdi::CreateFontIndirectA(request));
  if (!font || gdi::SelectObject(dc_.get(), font.get()) == 0)
    RaiseRuntimeError(oleaut::kOutOfMemory);
  font_ = std::move(font);
  fontChanged_ = false;
}

Long PictureBox::CheckedOuterSize(Single size) const {
  const auto limits = gdi::GetPixelLimits();
  const auto largest = static_cast<Single>(limits.maxSide + 2 * border_ + 1);
  if (!(size >= 0.0f) || size > largest)
    RaiseInvalidValue();
  return static_cast<Long>(oleaut::RoundHalfEven(size));
}

void PictureBox::put_Width(Single width) {
  const Long outer = CheckedOuterSize(width);
  if (outer != width_) Resize(outer, height_);
}

void PictureBox::put_Height(Single height) {
  const Long outer = CheckedOuterSize(height);
  if (outer != height_) Resize(width_, outer);
}

void PictureBox::SetOuterSize(Single width, Single height) {
  const Long outerWidth = CheckedOuterSize(width);
  const Long outerHeight = CheckedOuterSize(height);
  if (outerWidth != width_ || outerHeight != height_) Resize(outerWidth, outerHeight);
}

void PictureBox::Resize(Long width, Long height, bool blank) {
  const Long interiorWidth = std::max<Long>(width - 2 * border_, 0);
  const Long interiorHeight = std::max<Long>(height - 2 * border_, 0);
  if (!gdi::WithinPixelLimits(interiorWidth, interiorHeight)) RaiseInvalidValue();

  gdi::UniqueObject bitmap(gdi::CreateCompatibleBitmap(0, interiorWidth, interiorHeight));
  if (!bitmap) RaiseRuntimeError(oleaut::kOutOfMemory);
  {
    const ScratchDC scratch(bitmap.get());
    PaintBackColor(scratch.get(), backColor_, interiorWidth, interiorHeight);
    if (bitmap_ && !blank)
      gdi::BitBlt(scratch.get(), 0, 0, InteriorWidth(), InteriorHeight(), dc_.get(), 0, 0,
                  gdi::SRCCOPY);
  }
  gdi::SelectObject(dc_.get(), bitmap.get());
  bitmap_ = std::move(bitmap);
  width_ = width;
  height_ = height;
}

void PictureBox::Line(Single x1, Single y1, Single x2, Single y2, LineMode mode) {
  const Long ax = Pixel(x1), ay = Pixel(y1), bx = Pixel(x2), by = Pixel(y2);
  const gdi::HDC dc = dc_.get();
  if (mode == LineMode::Line) {
    gdi::MoveToEx(dc, ax, ay);
    gdi::LineTo(dc, bx, by);
    return;
  }
  const Long left = std::min(ax, bx), top = std::min(ay, by);
  const Long right = std::max(ax, bx) + 1, bottom = std::max(ay, by) + 1;
  if (mode == LineMode::Box) {
    gdi::Rectangle(dc, left, top, right, bottom);
    return;
  }
  const OwnedSelection fill(dc, gdi::CreateSolidBrush(TranslateColor(foreColor_)));
  gdi::Rectangle(dc, left, top, right, bottom);
}

void PictureBox::Circle(Single x, Single y, Single radius) {
  if (radius < 0) RaiseRuntimeError(oleaut::kInvalidProcedureCall);
  const Long cx = Pixel(x), cy = Pixel(y), r = Pixel(radius);
  gdi::Ellipse(dc_.get(), cx - r, cy - r, cx + r + 1, cy + r + 1);
}

void PictureBox::PSet(Single x, Single y) {
  const Long px = Pixel(x), py = Pixel(y);
  if (drawWidth_ == 1) {
    gdi::SetPixel(dc_.get(), px, py, TranslateColor(foreColor_));
    return;
  }
  // The disc whose one-pixel outline touches the four sides of the square.
  const gdi::COLORREF color = TranslateColor(foreColor_);
  const OwnedSelection fill(dc_.get(), gdi::CreateSolidBrush(color));
  const OwnedSelection outline(dc_.get(), gdi::CreatePen(gdi::PS_SOLID, 1, color));
  const Long left = px - drawWidth_ / 2;
  const Long top = py - drawWidth_ / 2;
  gdi::Ellipse(dc_.get(), left, top, left + drawWidth_, top + drawWidth_);
}

void PictureBox::Print(std::string_view text) {
  if (fontChanged_) SelectFont();
  gdi::SetTextColor(dc_.get(), TranslateColor(foreColor_));
  gdi::TextOutA(dc_.get(), Pixel(currentX_), Pixel(currentY_), text);
}

picture::PictureRef PictureBox::get_Image() const {
  return std::make_shared<picture::Picture>(bitmap_.get(), false);
}

void PictureBox::putref_Picture(picture::PictureRef picture) {
  const gdi::HBITMAP source = picture ? picture->get_Handle() : 0;
  if (source != bitmap_.get()) {
    PaintBackColor(dc_.get(), backColor_, InteriorWidth(), InteriorHeight());
    if (source != 0) {
      const ScratchDC scratch(source);
      const Long w = InteriorWidth(), h = InteriorHeight();
      if (picture->HasAlpha()) {
        gdi::AlphaBlend(dc_.get(), 0, 0, w, h, scratch.get(), 0, 0, w, h,
                        {gdi::AC_SRC_OVER, 0, 255, gdi::AC_SRC_ALPHA});
      } else {
        gdi::BitBlt(dc_.get(), 0, 0, w, h, scratch.get(), 0, 0, gdi::SRCCOPY);
      }
    }
  }
  picture_ = std::move(picture);
}

}  // namespace kelvane::surface
