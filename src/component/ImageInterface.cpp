// The dual interface _Image: its function table, which is also how scripts
// reach Image by name. Property accessors come first, in property order
// (get, put, then put-ref where there is one), then the methods.

#include <array>
#include <string_view>

#include "component/Image.h"
#include "component/KelvaneTypeLibrary.h"
#include "platform/oleaut/DispatchTable.h"

namespace kelvane::component {

using oleaut::Bind;
using oleaut::DISPATCH_METHOD;
using oleaut::DISPATCH_PROPERTYGET;
using oleaut::DISPATCH_PROPERTYPUT;
using oleaut::DISPATCH_PROPERTYPUTREF;

namespace {

using Names1 = std::array<std::string_view, 1>;
using Names2 = std::array<std::string_view, 2>;
using Names3 = std::array<std::string_view, 3>;
using Names4 = std::array<std::string_view, 4>;

constexpr Names1 kValue{"v"};
constexpr Names4 kCorners{"x1", "y1", "x2", "y2"};
constexpr Names3 kCircle{"x1", "y1", "r"};
constexpr Names2 kColors{"SColor", "EColor"};

const oleaut::DispatchTable<Image>& Table() {
  static const oleaut::DispatchTable<Image> table({
      Bind<&Image::get_PenColor>(0x40030002, "PenColor", DISPATCH_PROPERTYGET),
      Bind<&Image::put_PenColor>(0x40030002, "PenColor", DISPATCH_PROPERTYPUT, kValue),
      Bind<&Image::putref_PenColor>(0x40030002, "PenColor", DISPATCH_PROPERTYPUTREF, kValue),
      Bind<&Image::get_PenStyle>(0x40030003, "PenStyle", DISPATCH_PROPERTYGET),
      Bind<&Image::put_PenStyle>(0x40030003, "PenStyle", DISPATCH_PROPERTYPUT, kValue),
      Bind<&Image::putref_PenStyle>(0x40030003, "PenStyle", DISPATCH_PROPERTYPUTREF, kValue),
      Bind<&Image::get_PenWidth>(0x40030004, "PenWidth", DISPATCH_PROPERTYGET),
      Bind<&Image::put_PenWidth>(0x40030004, "PenWidth", DISPATCH_PROPERTYPUT, kValue),
      Bind<&Image::putref_PenWidth>(0x40030004, "PenWidth", DISPATCH_PROPERTYPUTREF, kValue),
      Bind<&Image::get_PlotFillColor>(0x40030005, "PlotFillColor", DISPATCH_PROPERTYGET),
      Bind<&Image::put_PlotFillColor>(0x40030005, "PlotFillColor", DISPATCH_PROPERTYPUT, kValue),
      Bind<&Image::putref_PlotFillColor>(0x40030005, "PlotFillColor", DISPATCH_PROPERTYPUTREF,
                                         kValue),
      Bind<&Image::get_PlotFillStyle>(0x40030006, "PlotFillStyle", DISPATCH_PROPERTYGET),
      Bind<&Image::put_PlotFillStyle>(0x40030006, "PlotFillStyle", DISPATCH_PROPERTYPUT, kValue),
      Bind<&Image::putref_PlotFillStyle>(0x40030006, "PlotFillStyle", DISPATCH_PROPERTYPUTREF,
                                         kValue),
      Bind<&Image::get_PlotFontSize>(0x40030007, "PlotFontSize", DISPATCH_PROPERTYGET),
      Bind<&Image::put_PlotFontSize>(0x40030007, "PlotFontSize", DISPATCH_PROPERTYPUT, kValue),
      Bind<&Image::putref_PlotFontSize>(0x40030007, "PlotFontSize", DISPATCH_PROPERTYPUTREF,
                                        kValue),
      Bind<&Image::get_PlotHeight>(0x40030008, "PlotHeight", DISPATCH_PROPERTYGET),
      Bind<&Image::put_PlotHeight>(0x40030008, "PlotHeight", DISPATCH_PROPERTYPUT, kValue),
      Bind<&Image::putref_PlotHeight>(0x40030008, "PlotHeight", DISPATCH_PROPERTYPUTREF, kValue),
      Bind<&Image::get_PlotWidth>(0x40030009, "PlotWidth", DISPATCH_PROPERTYGET),
      Bind<&Image::put_PlotWidth>(0x40030009, "PlotWidth", DISPATCH_PROPERTYPUT, kValue),
      Bind<&Image::get_PlotFontName>(0x4003000A, "PlotFontName", DISPATCH_PROPERTYGET),
      Bind<&Image::put_PlotFontName>(0x4003000A, "PlotFontName", DISPATCH_PROPERTYPUT, kValue),
      Bind<&Image::putref_PlotFontName>(0x4003000A, "PlotFontName", DISPATCH_PROPERTYPUTREF,
                                        kValue),
      Bind<&Image::get_ImageType>(0x4003000B, "ImageType", DISPATCH_PROPERTYGET),
      Bind<&Image::put_ImageType>(0x4003000B, "ImageType", DISPATCH_PROPERTYPUT, kValue),
      Bind<&Image::get_PlotFontBold>(0x4003000C, "PlotFontBold", DISPATCH_PROPERTYGET),
      Bind<&Image::put_PlotFontBold>(0x4003000C, "PlotFontBold", DISPATCH_PROPERTYPUT, kValue),
      Bind<&Image::putref_PlotFontBold>(0x4003000C, "PlotFontBold", DISPATCH_PROPERTYPUTREF,
                                        kValue),
      Bind<&Image::get_PlotFontItalic>(0x4003000D, "PlotFontItalic", DISPATCH_PROPERTYGET),
      Bind<&Image::put_PlotFontItalic>(0x4003000D, "PlotFontItalic", DISPATCH_PROPERTYPUT, kValue),
      Bind<&Image::putref_PlotFontItalic>(0x4003000D, "PlotFontItalic", DISPATCH_PROPERTYPUTREF,
                                          kValue),
      Bind<&Image::get_PlotFontUnderline>(0x4003000E, "PlotFontUnderline", DISPATCH_PROPERTYGET),
      Bind<&Image::put_PlotFontUnderline>(0x4003000E, "PlotFontUnderline", DISPATCH_PROPERTYPUT,
                                          kValue),
      Bind<&Image::FloodFill>(0x60030004, "FloodFill", DISPATCH_METHOD,
                              Names3{"x", "y", "BorderColor"}),
      Bind<&Image::PlotLine>(0x60030006, "PlotLine", DISPATCH_METHOD, kCorners),
      Bind<&Image::PlotBox>(0x60030007, "PlotBox", DISPATCH_METHOD, kCorners),
      Bind<&Image::PlotSolidBox>(0x60030008, "PlotSolidBox", DISPATCH_METHOD, kCorners),
      Bind<&Image::PlotCircle>(0x60030009, "PlotCircle", DISPATCH_METHOD, kCircle),
      Bind<&Image::PlotSolidCircle>(0x6003000A, "PlotSolidCircle", DISPATCH_METHOD, kCircle),
      Bind<&Image::PlotText>(0x6003000B, "PlotText", DISPATCH_METHOD, Names3{"x1", "y1", "s"}),
      Bind<&Image::PlotPixel>(0x6003000C, "PlotPixel", DISPATCH_METHOD, Names2{"x1", "y1"}),
      Bind<&Image::GradientL2R>(0x6003000D, "GradientL2R", DISPATCH_METHOD, kColors),
      Bind<&Image::GradientT2B>(0x6003000E, "GradientT2B", DISPATCH_METHOD, kColors),
      Bind<&Image::PastePicture>(0x6003000F, "PastePicture", DISPATCH_METHOD,
                                 Names3{"x1", "y1", "PName"}),
      Bind<&Image::PasteLogo>(0x60030010, "PasteLogo", DISPATCH_METHOD),
      Bind<&Image::SendImage>(0x60030011, "SendImage", DISPATCH_METHOD),
  });
  return table;
}

}  // namespace

std::optional<oleaut::DISPID> Image::GetIDOfName(std::string_view name) const {
  return Table().GetIDOfName(name);
}

Variant Image::Invoke(oleaut::DISPID id, std::uint16_t kind, std::span<const Variant> args) {
  return Table().Invoke(*this, id, kind, args);
}

const oleaut::InterfaceDesc& Image::Interface() {
  static const oleaut::InterfaceDesc description{
      "_Image", kIID_Image,
      oleaut::TYPEFLAG_FHIDDEN | oleaut::TYPEFLAG_FDUAL | oleaut::TYPEFLAG_FNONEXTENSIBLE |
          oleaut::TYPEFLAG_FOLEAUTOMATION,
      "IDispatch", Table().Functions()};
  return description;
}

}  // namespace kelvane::component
