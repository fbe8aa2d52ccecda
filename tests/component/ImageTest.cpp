#include "component/Image.h"

#include <gtest/gtest.h>


#include "platform/oleaut/AutomationError.h"
#include "support/Automation.h"
#include "surface/Form1.h"

namespace kelvane::component {
namespace {

using oleaut::ErrorOf;
using oleaut::Single;
using oleaut::VarType;

surface::PictureBox& Plot() { return surface::Form1::ForThread().Plot; }

TEST(Image, ANewObjectHoldsTheInitialValues) {
  Image image;
  for (const Variant& v :
       {image.get_PenColor(), image.get_PenStyle(), image.get_PenWidth(), image.get_PlotFillColor(),
        image.get_PlotFillStyle(), image.get_PlotFontSize(), image.get_PlotHeight(),
        image.get_PlotFontName(), image.get_PlotFontBold(), image.get_PlotFontItalic()})
    EXPECT_TRUE(v.IsEmpty());
  EXPECT_EQ(image.get_PlotWidth(), 0);
  EXPECT_EQ(image.get_ImageType(), "");
  EXPECT_EQ(image.get_PlotFontUnderline(), VariantBool::False);
  EXPECT_EQ(image.CanBePooled(), VariantBool::False);
}

TEST(ApplySettings, OnANewObjectWritesBackFourDefaultsAndSizesTheSurfaceToTwoByTwo) {
  Image image;
  image.ApplySettings();
  EXPECT_EQ(image.get_PenColor(), Variant(Integer{0}));
  EXPECT_EQ(image.get_PenWidth(), Variant(Integer{1}));
  EXPECT_EQ(image.get_PlotFontName(), Variant("Arial"));
  EXPECT_EQ(image.get_PlotFontSize(), Variant(Integer{8}));
  for (const Variant& v : {image.get_PenStyle(), image.get_PlotFillColor(), image.get_PlotFillStyle(),
                           image.get_PlotHeight(), image.get_PlotFontBold(), image.get_PlotFontItalic()})
    EXPECT_TRUE(v.IsEmpty());
  EXPECT_EQ(Plot().get_Width(), 2.0f);
  EXPECT_EQ(Plot().get_Height(), 2.0f);
  EXPECT_EQ(Plot().get_ScaleWidth(), 0.0f);
  EXPECT_EQ(Plot().get_ForeColor(), 0);
  EXPECT_EQ(Plot().get_FillStyle(), 0) << "an unset fill style is applied as solid";
  EXPECT_EQ(Plot().get_FontName(), "Arial");
}

TEST(ApplySettings, CopiesStoredValuesByTheConversionRules) {
  Image image;
  image.put_PenColor(Integer{255});
  image.put_PenStyle(2.5);
  image.put_PenWidth("3");
  image.put_PlotFillColor(Long{0x00FF00});
  image.put_PlotFillStyle("1");
  image.put_PlotFontName("Courier New");
  image.put_PlotFontSize(12.5);
  image.put_PlotFontBold(Integer{5});
  image.put_PlotFontItalic("False");
  image.put_PlotFontUnderline(VariantBool::True);
  image.put_PlotHeight("100");
  image.put_PlotWidth(200);
  image.ApplySettings();
  EXPECT_EQ(image.get_PenColor(), Variant(Integer{255}));
  EXPECT_EQ(Plot().get_ForeColor(), 255);
  EXPECT_EQ(Plot().get_DrawStyle(), 2);
  EXPECT_EQ(Plot().get_DrawWidth(), 3);
  EXPECT_EQ(Plot().get_FillColor(), 0x00FF00);
  EXPECT_EQ(Plot().get_FillStyle(), 1);
  EXPECT_EQ(Plot().get_FontName(), "Courier New");
  EXPECT_EQ(Plot().get_FontSize(), 12.5f);
  EXPECT_EQ(Plot().get_FontBold(), VariantBool::True);
  EXPECT_EQ(Plot().get_FontItalic(), VariantBool::False);
  EXPECT_EQ(Plot().get_FontUnderline(), VariantBool::True);
  EXPECT_EQ(Plot().get_Height(), 102.0f);
  EXPECT_EQ(Plot().get_Width(), 202.0f);
  EXPECT_EQ(Plot().get_ScaleWidth(), 200.0f);

  image.put_PenStyle(3.5);
  image.ApplySettings();
  EXPECT_EQ(Plot().get_DrawStyle(), 4);
}

TEST(ApplySettings, KeepsThePixelMemoryWhenNothingChanged) {
  Image image;
  image.put_PlotWidth(64);
  image.put_PlotHeight(Integer{48});
  image.put_PlotFillStyle(Integer{3});
  image.ApplySettings();
  const gdi::HBITMAP pixels = Plot().get_Image()->get_Handle();
  image.ApplySettings();
  EXPECT_EQ(Plot().get_Image()->get_Handle(), pixels);
}

TEST(ApplySettings, TreatsEmptyTextAndZeroAsUnset) {
  Image image;
  image.put_PenColor("");
  image.put_PenWidth("");
  image.put_PlotFontName("");
  image.put_PlotFontSize("0");
  image.ApplySettings();
  EXPECT_EQ(image.get_PenColor(), Variant(Integer{0}));
  EXPECT_EQ(image.get_PenWidth(), Variant(Integer{1}));
  EXPECT_EQ(image.get_PlotFontName(), Variant("Arial"));
  EXPECT_EQ(image.get_PlotFontSize(), Variant(Integer{8}));

  image.put_PenColor(Integer{0});
  image.put_PlotFontSize(0.0);
  image.ApplySettings();
  EXPECT_EQ(image.get_PenColor(), Variant(Integer{0}));
  EXPECT_EQ(image.get_PlotFontSize(), Variant(Integer{8}));
}

// Each failing step raises its error with the steps before it done and the
// steps after it not done.
TEST(ApplySettings, StopsAtTheFirstFailingStep) {
  {
    Image image;
    image.put_PlotFontName("Serif");
    image.put_PlotFontSize("abc");
    EXPECT_EQ(ErrorOf([&] { image.ApplySettings(); }), 13);
    EXPECT_EQ(image.get_PenColor(), Variant(Integer{0})) << "step 1 done";
    EXPECT_EQ(Plot().get_FontName(), "Serif") << "step 9 done";
    EXPECT_EQ(Plot().get_FontSize(), 8.0f) << "step 11 not done";
    EXPECT_EQ(image.get_PlotFontSize(), Variant("abc"));
  }
  {
    Image image;
    image.put_PlotWidth(40);
    image.put_PlotHeight(Variant::Null());
    EXPECT_EQ(ErrorOf([&] { image.ApplySettings(); }), 94);
    EXPECT_EQ(Plot().get_Width(), 300.0f) << "step 16 not done";
  }
  {
    Image image;
    image.put_PenColor(Long{0x0000FF});
    image.put_PlotHeight(Integer{50});
    image.put_PlotWidth(2147483646);
    EXPECT_EQ(ErrorOf([&] { image.ApplySettings(); }), 6);
    EXPECT_EQ(Plot().get_Height(), 52.0f);
    EXPECT_EQ(Plot().get_ForeColor(), 0x0000FF);
    EXPECT_EQ(Plot().get_Width(), 300.0f);
  }
  {
    Image image;
    image.put_PenColor(Long{0x0000FF});
    image.put_PenStyle(Integer{9});
    EXPECT_EQ(ErrorOf([&] { image.ApplySettings(); }), 380) << "the surface refuses";
    EXPECT_EQ(Plot().get_ForeColor(), 0x0000FF);
    EXPECT_TRUE(image.get_PenWidth().IsEmpty()) << "step 4 not done";
  }
  {
    Image image;
    image.put_PenColor("red");
    EXPECT_EQ(ErrorOf([&] { image.ApplySettings(); }), 13);
    image.put_PenColor(Long{1} << 24);
    EXPECT_EQ(ErrorOf([&] { image.ApplySettings(); }), 380);
    image.put_PenColor(Variant::Null());
    EXPECT_EQ(ErrorOf([&] { image.ApplySettings(); }), 94) << "Null is not the empty text";
    image.put_PenColor(Long{0});
    image.put_PlotHeight(Long{20000});
    image.put_PlotWidth(20000);
    EXPECT_EQ(ErrorOf([&] { image.ApplySettings(); }), 380) << "beyond the surface limit";
  }
}

// From 1000 x 50 to 50 x 1000 the new height beside the old width would be
// 1000 x 1000, beyond the limit; the size asked for is well within it.
TEST(ApplySettings, ChecksThePixelLimitOnTheSizeAskedFor) {
  const struct Limits {
    gdi::PixelLimits saved = gdi::GetPixelLimits();
    Limits() { gdi::SetPixelLimits({1000, 100000}); }
    ~Limits() { gdi::SetPixelLimits(saved); }
  } limits;
  Image image;
  image.put_PlotWidth(1000);
  image.put_PlotHeight(Integer{50});
  image.ApplySettings();
  image.put_PlotWidth(50);
  image.put_PlotHeight(Integer{1000});
  EXPECT_EQ(ErrorOf([&] { image.ApplySettings(); }), 0);
  EXPECT_EQ(Plot().get_Width(), 52.0f);
  EXPECT_EQ(Plot().get_Height(), 1002.0f);

  image.put_PlotWidth(1000);
  EXPECT_EQ(ErrorOf([&] { image.ApplySettings(); }), 380);
  EXPECT_EQ(Plot().get_Width(), 52.0f) << "the width refused";
  EXPECT_EQ(Plot().get_Height(), 1002.0f);
}

TEST(Image, TheFirstObjectOnAThreadStartsFromAFreshSurfaceOthersShareIt) {
  {
    Image first;
    first.put_PlotWidth(40);
    first.ApplySettings();
    Image second;
    EXPECT_EQ(Plot().get_Width(), 42.0f) << "objects alive together share the surface";
  }
  Image next;
  EXPECT_EQ(Plot().get_Width(), 300.0f);
  EXPECT_EQ(Plot().get_FillStyle(), 1);
}

TEST(Image, ActivationTakesTheResponseOfTheCurrentContext) {
  Image image;
  EXPECT_EQ(ErrorOf([&] { image.Activate(); }), 91) << "no context";

  auto context = std::make_shared<complus::ObjectContext>();
  const complus::ContextScope scope(context);
  EXPECT_EQ(ErrorOf([&] { image.Activate(); }), 0) << "a context without a response";
  context->SetItem("Response", Long{5});
  EXPECT_EQ(ErrorOf([&] { image.Activate(); }), 424);
  context->SetItem("Response", Variant(oleaut::ObjectRef(std::make_shared<complus::ObjectContext>())));
  EXPECT_EQ(ErrorOf([&] { image.Activate(); }), 13);
  context->SetItem("response", Variant(oleaut::ObjectRef(std::make_shared<asp::MemoryResponse>())));
  EXPECT_EQ(ErrorOf([&] { image.Activate(); }), 0);
  image.Deactivate();
  EXPECT_EQ(image.CanBePooled(), VariantBool::False);
}

}  // namespace
}  // namespace kelvane::component
