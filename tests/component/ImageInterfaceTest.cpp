#include <gtest/gtest.h>

#include <vector>

#include "component/Image.h"
#include "component/KelvaneTypeLibrary.h"
#include "platform/oleaut/AutomationError.h"
#include "support/Automation.h"

namespace kelvane::component {
namespace {

using namespace oleaut;

Variant Call(Image& image, std::string_view name, std::uint16_t kind, std::vector<Variant> args = {}) {
  return InvokeByName(image, name, kind, args);
}

TEST(ImageDispatch, ResolvesNamesWithoutRegardToCase) {
  Image image;
  EXPECT_EQ(image.GetIDOfName("PlotWidth"), 0x40030009);
  EXPECT_EQ(image.GetIDOfName("plotwidth"), 0x40030009);
  EXPECT_EQ(image.GetIDOfName("SENDIMAGE"), 0x60030011);
  EXPECT_EQ(image.GetIDOfName("ApplySettings"), std::nullopt) << "private to the object";
  EXPECT_EQ(ErrorOf([&] { Call(image, "Clear", DISPATCH_METHOD); }), 438);
}

TEST(ImageDispatch, StoresAndReadsPropertiesThroughTheirDeclaredTypes) {
  Image image;
  Call(image, "plotwidth", DISPATCH_PROPERTYPUT, {Variant("12")});
  EXPECT_EQ(Call(image, "PlotWidth", DISPATCH_PROPERTYGET | DISPATCH_METHOD), Variant(Long{12}));
  Call(image, "ImageType", DISPATCH_PROPERTYPUT, {Variant(Integer{7})});
  EXPECT_EQ(Call(image, "ImageType", DISPATCH_PROPERTYGET), Variant("7"));
  Call(image, "PlotFontUnderline", DISPATCH_PROPERTYPUT, {Variant("true")});
  EXPECT_EQ(Call(image, "PlotFontUnderline", DISPATCH_PROPERTYGET), Variant(VariantBool::True));
  Call(image, "PenColor", DISPATCH_PROPERTYPUT, {Variant("anything")});
  EXPECT_EQ(Call(image, "PenColor", DISPATCH_PROPERTYGET), Variant("anything")) << "stored as is";

  const ObjectRef object = std::make_shared<Image>();
  Call(image, "PenStyle", DISPATCH_PROPERTYPUTREF, {Variant(object)});
  EXPECT_EQ(Call(image, "PenStyle", DISPATCH_PROPERTYGET), Variant(object));
}

TEST(ImageDispatch, RefusesBadArgumentsWithTheirErrorsBeforeTheMemberRuns) {
  Image image;
  const struct {
    const char* name;
    std::uint16_t kind;
    std::vector<Variant> args;
    int error;
  } cases[] = {
      {"PlotLine", DISPATCH_METHOD, {Long{40000}, Long{0}, Long{0}, Long{0}}, 6},
      {"PlotLine", DISPATCH_METHOD, {Long{0}, Variant("abc"), Long{0}, Long{0}}, 13},
      {"PlotLine", DISPATCH_METHOD, {Long{0}, Long{0}, Long{0}, Variant::Null()}, 13},
      {"PlotLine", DISPATCH_METHOD, {Long{0}, Valued(Variant::Null()), Long{0}, Long{0}}, 13},
      {"PlotText", DISPATCH_METHOD, {Long{0}, Long{0}, Variant::Null()}, 13},
      {"FloodFill", DISPATCH_METHOD, {Long{0}, Long{0}, Variant::Null()}, 13},
      {"PlotWidth", DISPATCH_PROPERTYPUT, {Variant::Null()}, 13},
      {"ImageType", DISPATCH_PROPERTYPUT, {Variant::Null()}, 13},
      {"PlotFontUnderline", DISPATCH_PROPERTYPUT, {Variant::Null()}, 13},
      {"PenColor", DISPATCH_PROPERTYPUT, {Variant::Null()}, 0},
      {"PlotLine", DISPATCH_METHOD, {Long{0}, Long{0}, Long{0}}, 450},
      {"PasteLogo", DISPATCH_METHOD, {Long{1}}, 450},
      {"PlotWidth", DISPATCH_PROPERTYPUT, {2147483648.0}, 6},
      {"PlotWidth", DISPATCH_PROPERTYPUT, {Variant("wide")}, 13},
      {"PlotWidth", DISPATCH_PROPERTYPUTREF, {Long{1}}, 438},
      {"PenColor", DISPATCH_PROPERTYPUTREF, {Long{1}}, 424},
      {"SendImage", DISPATCH_PROPERTYPUT, {Long{1}}, 438},
      {"PlotFontUnderline", DISPATCH_PROPERTYPUT, {Variant("maybe")}, 13},
      {"FloodFill", DISPATCH_METHOD, {Long{0}, 1e10, Long{0}}, 6},
  };
  for (const auto& c : cases) EXPECT_EQ(ErrorOf([&] { Call(image, c.name, c.kind, c.args); }), c.error) << c.name;
  EXPECT_EQ(image.get_PlotWidth(), 0);
  EXPECT_TRUE(image.get_PenColor().IsNull()) << "a variant property stores Null";
}

TEST(TypeLibrary, DescribesTheLibraryTheClassTheInterfaceAndTheRecord) {
  const TypeLibraryDesc& library = KelvaneTypeLibrary();
  EXPECT_EQ(library.name, "Kelvane");
  ASSERT_EQ(library.coclasses.size(), 1u);
  const CoClassDesc& image = library.coclasses[0];
  EXPECT_EQ(image.name, "Image");
  EXPECT_TRUE(image.flags & TYPEFLAG_FCANCREATE);
  ASSERT_EQ(image.interfaces.size(), 2u);
  EXPECT_EQ(image.interfaces[0].name, "_Image");
  EXPECT_TRUE(image.interfaces[0].isDefault);
  EXPECT_EQ(image.interfaces[1].name, "ObjectControl");

  ASSERT_EQ(library.records.size(), 1u);
  const RecordDesc& rect = library.records[0];
  EXPECT_EQ(rect.size, 16u);
  ASSERT_EQ(rect.fields.size(), 4u);
  const char* fields[] = {"Left", "Top", "Right", "Bottom"};
  for (std::size_t i = 0; i < 4; ++i) {
    EXPECT_EQ(rect.fields[i].name, fields[i]);
    EXPECT_EQ(rect.fields[i].offset, 4 * i);
    EXPECT_EQ(rect.fields[i].type, VarType::Long);
  }
}

TEST(TypeLibrary, TheFunctionTableListsAccessorsInPropertyOrderThenTheMethods) {
  const InterfaceDesc& iface = Image::Interface();
  EXPECT_EQ(iface.flags, TYPEFLAG_FHIDDEN | TYPEFLAG_FDUAL | TYPEFLAG_FNONEXTENSIBLE |
                             TYPEFLAG_FOLEAUTOMATION);
  EXPECT_EQ(iface.base, "IDispatch");
  const auto& f = iface.functions;
  ASSERT_EQ(f.size(), 10u * 3 + 3u * 2 + 13u);

  EXPECT_EQ(f[0].name, "PenColor");
  EXPECT_EQ(f[0].kind, DISPATCH_PROPERTYGET);
  EXPECT_EQ(f[0].result, VarType::Variant);
  EXPECT_EQ(f[1].kind, DISPATCH_PROPERTYPUT);
  EXPECT_EQ(f[2].kind, DISPATCH_PROPERTYPUTREF);
  EXPECT_EQ(f[21].name, "PlotWidth");
  EXPECT_EQ(f[21].id, 0x40030009);
  EXPECT_EQ(f[21].result, VarType::Long);
  EXPECT_EQ(f[22].kind, DISPATCH_PROPERTYPUT);
  EXPECT_EQ(f[23].name, "PlotFontName");
  EXPECT_EQ(f[26].name, "ImageType");
  EXPECT_EQ(f[26].result, VarType::String);
  EXPECT_EQ(f[34].name, "PlotFontUnderline");
  EXPECT_EQ(f[34].result, VarType::Boolean);

  const char* methods[] = {"FloodFill",   "PlotLine",        "PlotBox",     "PlotSolidBox",
                           "PlotCircle",  "PlotSolidCircle", "PlotText",    "PlotPixel",
                           "GradientL2R", "GradientT2B",     "PastePicture", "PasteLogo",
                           "SendImage"};
  const DISPID ids[] = {0x60030004, 0x60030006, 0x60030007, 0x60030008, 0x60030009,
                        0x6003000A, 0x6003000B, 0x6003000C, 0x6003000D, 0x6003000E,
                        0x6003000F, 0x60030010, 0x60030011};
  for (std::size_t i = 0; i < 13; ++i) {
    const FuncDesc& m = f[36 + i];
    EXPECT_EQ(m.name, methods[i]);
    EXPECT_EQ(m.id, ids[i]);
    EXPECT_EQ(m.kind, DISPATCH_METHOD);
    EXPECT_EQ(m.result, VarType::Void);
  }
  const FuncDesc& text = f[36 + 6];
  ASSERT_EQ(text.params.size(), 3u);
  EXPECT_EQ(text.params[0].type, VarType::Integer);
  EXPECT_EQ(text.params[2].name, "s");
  EXPECT_EQ(text.params[2].type, VarType::String);
  EXPECT_EQ(f[36].params[2].name, "BorderColor");
  EXPECT_EQ(f[36].params[2].type, VarType::Long);
}

}  // namespace
}  // namespace kelvane::component
