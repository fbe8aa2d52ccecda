#include "component/Image.h"
#include "platform/oleaut/AutomationError.h"
#include "platform/oleaut/Conversion.h"
#include "platform/oleaut/Operators.h"
#include "surface/Form1.h"

namespace kelvane::component {

using oleaut::Comparison;

namespace {

// Each step takes the surface anew: the first one makes the thread's form.
surface::PictureBox& Plot() { return surface::Form1::ForThread().Plot; }

bool IsUnsetText(const Variant& v) { return oleaut::CompareWithText(v, "") == Comparison::Equal; }

}  // namespace

void Image::ApplySettings() {
  if (IsUnsetText(PenColor_)) PenColor_ = Integer{0};
  Plot().put_ForeColor(oleaut::ToLong(PenColor_));
  Plot().put_DrawStyle(oleaut::ToInteger(PenStyle_));
  if (IsUnsetText(PenWidth_)) PenWidth_ = Integer{1};
  Plot().put_DrawWidth(oleaut::ToInteger(PenWidth_));
  Plot().put_FillColor(oleaut::ToLong(PlotFillColor_));
  Plot().put_FillStyle(oleaut::ToInteger(PlotFillStyle_));
  if (IsUnsetText(PlotFontName_)) PlotFontName_ = "Arial";
  Plot().put_FontName(oleaut::ToString(PlotFontName_));
  if (oleaut::CompareWithNumber(PlotFontSize_, 0) == Comparison::Equal) PlotFontSize_ = Integer{8};
  Plot().put_FontSize(oleaut::ToSingle(PlotFontSize_));
  Plot().put_FontBold(oleaut::ToBoolean(PlotFontBold_));
  Plot().put_FontItalic(oleaut::ToBoolean(PlotFontItalic_));
  Plot().put_FontUnderline(PlotFontUnderline_);
  // The height, then the width. The surface takes both in one assignment, so
  // that its pixel limit judges the size asked for, not the new height beside
  // the old width. When that fails, the height is assigned alone, as the
  // first of two assignments would be: a height the surface refuses raises
  // its own error, any other keeps the error of the whole size.
  const oleaut::Single height = oleaut::ToSingle(oleaut::Add(PlotHeight_, Integer{2}));
  try {
    Plot().SetOuterSize(static_cast<oleaut::Single>(oleaut::CheckedAdd<Long>(PlotWidth_, 2)),
                        height);
  } catch (const oleaut::AutomationError&) {
    Plot().put_Height(height);
    throw;
  }
}

}  // namespace kelvane::component
