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

// A memory context with `bitmap` selected, for as long as it lives.
class ScratchDC {
 public:
  explicit ScratchDC(gdi::HBITMAP bitmap)
      : dc_(gdi::CreateCompatibleDC(0)), previous_(gdi::SelectObject(dc_.get(), bitmap)) {}
  ~ScratchDC() { gdi::SelectObject(dc_.get(), previous_); }
  ScratchDC(const ScratchDC&) = delete;
  ScratchDC& operator=(const ScratchDC&) = delete;
  gdi::HDC get() const { return dc_.get(); }

 private:
  gdi::UniqueDC dc_;
  gdi::HGDIOBJ previous_;
};

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
  Resize(design.width, design.height);
}

void PictureBox::put_ForeColor(Long color) {
  TranslateColor(color);
  foreColor_ = color;
}

void PictureBox::put_DrawStyle(Integer style) {
  if (style < 0 || style > 6) RaiseInvalidValue();
  drawStyle_ = style;
}

void PictureBox::put_DrawWidth(Integer width) {
  if (width < 1) RaiseInvalidValue();
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

void PictureBox::put_FontName(std::string name) { fontName_ = std::move(name); }

void PictureBox::put_FontSize(Single points) {
  if (!(points > 0.0f && points <= 2160.0f)) RaiseInvalidValue();
  fontSize_ = points;
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

void PictureBox::Resize(Long width, Long height) {
  const Long interiorWidth = std::max<Long>(width - 2 * border_, 0);
  const Long interiorHeight = std::max<Long>(height - 2 * border_, 0);
  if (!gdi::WithinPixelLimits(interiorWidth, interiorHeight)) RaiseInvalidValue();

  gdi::UniqueObject bitmap(gdi::CreateCompatibleBitmap(0, interiorWidth, interiorHeight));
  if (!bitmap) RaiseRuntimeError(oleaut::kOutOfMemory);
  {
    const ScratchDC scratch(bitmap.get());
    PaintBackColor(scratch.get(), backColor_, interiorWidth, interiorHeight);
    if (bitmap_)
      gdi::BitBlt(scratch.get(), 0, 0, InteriorWidth(), InteriorHeight(), dc_.get(), 0, 0,
                  gdi::SRCCOPY);
  }
  gdi::SelectObject(dc_.get(), bitmap.get());
  bitmap_ = std::move(bitmap);
  width_ = width;
  height_ = height;
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
      gdi::BitBlt(dc_.get(), 0, 0, InteriorWidth(), InteriorHeight(), scratch.get(), 0, 0,
                  gdi::SRCCOPY);
    }
  }
  picture_ = std::move(picture);
}

}  // namespace kelvane::surface
