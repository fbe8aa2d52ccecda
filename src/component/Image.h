#pragma once
// Image: the component's one creatable class. A script stores drawing
// settings in its properties, calls its drawing methods and finally
// SendImage; each drawing method first copies the settings onto the calling
// thread's surface (ApplySettings) and then draws there.

#include <atomic>
#include <optional>
#include <span>
#include <string>

#include "platform/asp/Response.h"
#include "platform/gdi/Gdi.h"
#include "platform/complus/ObjectContext.h"
#include "platform/oleaut/Dispatch.h"
#include "platform/oleaut/TypeLibrary.h"
#include "platform/oleaut/Variant.h"

namespace kelvane::component {

using oleaut::Integer;
using oleaut::Long;
using oleaut::Variant;
using oleaut::VariantBool;

class Image final : public oleaut::IDispatch, public complus::ObjectControl, public oleaut::ValueHolder {
 public:
  Image();
  ~Image() override;
  Image(const Image&) = delete;
  Image& operator=(const Image&) = delete;

  // Objects alive in this process, for deciding whether the module may unload.
  static long LiveObjects() { return liveObjects_.load(); }

  // Stored settings. Reading returns what was last stored; storing has no
  // other effect. put-ref stores an object reference (424 for anything else).
  Variant get_PenColor() const { return PenColor_; }
  void put_PenColor(Variant v) { PenColor_ = std::move(v); }
  void putref_PenColor(Variant v) { PenColor_ = Reference(v); }
  Variant get_PenStyle() const { return PenStyle_; }
  void put_PenStyle(Variant v) { PenStyle_ = std::move(v); }
  void putref_PenStyle(Variant v) { PenStyle_ = Reference(v); }
  Variant get_PenWidth() const { return PenWidth_; }
  void put_PenWidth(Variant v) { PenWidth_ = std::move(v); }
  void putref_PenWidth(Variant v) { PenWidth_ = Reference(v); }
  Variant get_PlotFillColor() const { return PlotFillColor_; }
  void put_PlotFillColor(Variant v) { PlotFillColor_ = std::move(v); }
  void putref_PlotFillColor(Variant v) { PlotFillColor_ = Reference(v); }
  Variant get_PlotFillStyle() const { return PlotFillStyle_; }
  void put_PlotFillStyle(Variant v) { PlotFillStyle_ = std::move(v); }
  void putref_PlotFillStyle(Variant v) { PlotFillStyle_ = Reference(v); }
  Variant get_PlotFontSize() const { return PlotFontSize_; }
  void put_PlotFontSize(Variant v) { PlotFontSize_ = std::move(v); }
  void putref_PlotFontSize(Variant v) { PlotFontSize_ = Reference(v); }
  Variant get_PlotHeight() const { return PlotHeight_; }
  void put_PlotHeight(Variant v) { PlotHeight_ = std::move(v); }
  void putref_PlotHeight(Variant v) { PlotHeight_ = Reference(v); }
  Long get_PlotWidth() const { return PlotWidth_; }
  void put_PlotWidth(Long v) { PlotWidth_ = v; }
  Variant get_PlotFontName() const { return PlotFontName_; }
  void put_PlotFontName(Variant v) { PlotFontName_ = std::move(v); }
  void putref_PlotFontName(Variant v) { PlotFontName_ = Reference(v); }
  std::string get_ImageType() const { return ImageType_; }
  void put_ImageType(std::string v) { ImageType_ = std::move(v); }
  Variant get_PlotFontBold() const { return PlotFontBold_; }
  void put_PlotFontBold(Variant v) { PlotFontBold_ = std::move(v); }
  void putref_PlotFontBold(Variant v) { PlotFontBold_ = Reference(v); }
  Variant get_PlotFontItalic() const { return PlotFontItalic_; }
  void put_PlotFontItalic(Variant v) { PlotFontItalic_ = std::move(v); }
  void putref_PlotFontItalic(Variant v) { PlotFontItalic_ = Reference(v); }
  VariantBool get_PlotFontUnderline() const { return PlotFontUnderline_; }
  void put_PlotFontUnderline(VariantBool v) { PlotFontUnderline_ = v; }

  // Drawing and delivery. Coordinates are pixels of the drawing area, colours
  // 0x00BBGGRR. Errors reach the script as the failed call's error.
  void FloodFill(Long x, Long y, Long BorderColor);
  void PlotLine(Integer x1, Integer y1, Integer x2, Integer y2);
  void PlotBox(Integer x1, Integer y1, Integer x2, Integer y2);
  void PlotSolidBox(Integer x1, Integer y1, Integer x2, Integer y2);
  void PlotCircle(Integer x1, Integer y1, Integer r);
  void PlotSolidCircle(Integer x1, Integer y1, Integer r);
  void PlotText(Integer x1, Integer y1, std::string s);
  void PlotPixel(Integer x1, Integer y1);
  void GradientL2R(Long SColor, Long EColor);
  void GradientT2B(Long SColor, Long EColor);
  void PastePicture(Long x1, Long y1, std::string PName);
  void PasteLogo();
  void SendImage();

  // COM+ life cycle: Activate takes the request's context and its response,
  // Deactivate drops both; the object is never pooled.
  void Activate() override;
  void Deactivate() override;
  VariantBool CanBePooled() override { return VariantBool::False; }
  // Empties the stored settings that may hold objects.
  void DropValues() noexcept override;

  std::optional<oleaut::DISPID> GetIDOfName(std::string_view name) const override;
  Variant Invoke(oleaut::DISPID id, std::uint16_t kind, std::span<const Variant> args) override;
  const oleaut::InterfaceDesc* GetTypeInfo() const override { return &Interface(); }

  // The dual interface _Image as clients see it, in function-table order.
  static const oleaut::InterfaceDesc& Interface();

  // Copies the stored settings onto the thread's surface, writing the
  // defaults of PenColor, PenWidth, PlotFontName and PlotFontSize back when
  // they are unset. The first failing step raises its error; the steps
  // before it stay done. Not part of the scripting interface.
  void ApplySettings();

 private:
  static Variant Reference(const Variant& v);
  // Applies the settings, measures the surface in twips and paints it.
  void Gradient(Long SColor, Long EColor, Integer direction);
  // Paints the drawing area with bands of one colour each, one pixel apart,
  // from the outer size in twips; ignores every error. Direction 0 is left
  // to right, 1 top to bottom; any other paints nothing.
  static void PaintGradient(const gdi::HDC& hDC, const Long& W, const Long& H, const Long& SColor,
                            const Long& EColor, const Integer& Direction);

  Variant PenColor_;
  Variant PenStyle_;
  Variant PenWidth_;
  Variant PlotFillColor_;
  Variant PlotFillStyle_;
  Variant PlotFontSize_;
  Variant PlotHeight_;
  Long PlotWidth_ = 0;
  Variant PlotFontName_;
  std::string ImageType_;
  Variant PlotFontBold_;
  Variant PlotFontItalic_;
  VariantBool PlotFontUnderline_ = VariantBool::False;

  complus::ObjectContextRef CurrentContext;
  std::shared_ptr<asp::Response> CurrentResponse;

  static std::atomic<long> liveObjects_;
};

}  // namespace kelvane::component
