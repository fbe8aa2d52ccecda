// The stored form of a session: every kind of plain value comes back as it
// went, and no damaged or foreign form is taken or crashes the reader.

#include "host/pages/SessionForm.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "host/pages/SiteState.h"
#include "support/Automation.h"

namespace kelvane::host {
namespace {

using oleaut::SafeArray;
using oleaut::Variant;

constexpr std::size_t kMost = std::size_t{1} << 20;

Variant ArrayOf(std::vector<Variant> elements, oleaut::Long lowerBound = 0, std::vector<std::size_t> shape = {}) {
  auto array = std::make_shared<SafeArray>();
  array->elements = std::move(elements);
  array->lowerBound = lowerBound;
  array->shape = std::move(shape);
  return oleaut::ArrayRef(std::move(array));
}

struct Fixture {
  ValueBudget budget{kMost};
  SessionState session{"id", &budget};
};

TEST(SessionFormTest, EveryPlainValueComesBackAsItWent) {
  Variant deep = 1.5;
  for (std::size_t i = 0; i < SharedValues::kDeepestArrays; ++i) deep = ArrayOf({deep});
  const std::pair<const char*, Variant> cases[] = {
      {"empty", Variant()},
      {"null", Variant::Null()},
      {"integer", Variant(oleaut::Integer{-32768})},
      {"long", Variant(oleaut::Long{-2147483647 - 1})},
      {"single", Variant(oleaut::Single{-1.25e-30f})},
      {"double", Variant(6.02214076e23)},
      {"negative zero", Variant(-0.0)},
      {"currency", Variant(oleaut::Currency{-922337203685477580})},
      {"date", Variant(oleaut::Date{45000.75})},
      {"string", Variant(std::string("K\xC3\xB6rb\0chen", 10))},
      {"long string", Variant(std::string(300, 'x'))},
      {"true", Variant(oleaut::VariantBool::True)},
      {"false", Variant(oleaut::VariantBool::False)},
      {"byte", Variant(oleaut::Byte{255})},
      {"error", Variant(oleaut::ErrorCode{-2147352572})},
      {"unsized array", Variant(oleaut::ArrayRef())},
      {"array", ArrayOf({Variant(1.0), Variant("a"), Variant::Null(), ArrayOf({Variant(oleaut::Long{7})})}, 1)},
      {"empty array", ArrayOf({}, 0)},
      {"grid", ArrayOf({Variant(1.0), Variant(2.0), Variant(3.0), Variant(4.0), Variant(5.0), Variant(6.0)}, 0, {2, 3})},
      {"bytes", Variant::ByteArray({0, 1, 254, 255}, 0)},
      {"deepest arrays", deep},
  };
  Fixture written;
  written.session.SetTimeoutMinutes(1440);
  written.session.SetCodePage(65001);
  written.session.SetLcid(1031);
  for (const auto& [name, value] : cases) written.session.Values().Set(name, value);
  const std::string form = StoredForm(written.session, kMost);

  Fixture read;
  ASSERT_TRUE(ReadStoredForm(form, read.session));
  EXPECT_EQ(read.session.TimeoutMinutes(), 1440);
  EXPECT_EQ(read.session.CodePage(), 65001);
  EXPECT_EQ(read.session.Lcid(), 1031);
  EXPECT_EQ(read.session.Values().Names(), written.session.Values().Names());
  for (const auto& [name, value] : cases) {
    const Variant back = read.session.Values().Get(name);
    EXPECT_EQ(back.Type(), value.Type()) << name;
    EXPECT_TRUE(back == value) << name;
  }
  const Variant negativeZero = read.session.Values().Get("negative zero");
  EXPECT_TRUE(std::signbit(*negativeZero.If<double>()));
  const auto grid = *read.session.Values().Get("grid").If<oleaut::ArrayRef>();
  EXPECT_EQ(grid->shape, (std::vector<std::size_t>{2, 3}));
}

TEST(SessionFormTest, ArraysThatSpellOutPastTheLimitAreRefused) {
  Variant wide = Variant("leaf");
  for (int i = 0; i < 40; ++i) wide = ArrayOf({wide, wide});  // 2^40 leaves, held 40 arrays deep
  Fixture written;
  written.session.Values().Set("wide", wide);
  EXPECT_EQ(oleaut::ErrorOf([&] { StoredForm(written.session, kMost); }), oleaut::kOutOfMemory);
}

TEST(SessionFormTest, DamagedOrForeignFormsAreRefusedWhole) {
  Fixture written;
  written.session.Values().Set("basket", ArrayOf({Variant("apple"), Variant(oleaut::Long{3})}));
  written.session.Values().Set("user", Variant("jo"));
  const std::string form = StoredForm(written.session, kMost);

  // Cut anywhere: never read, never past the end.
  for (std::size_t size = 0; size < form.size(); ++size) {
    Fixture read;
    EXPECT_FALSE(ReadStoredForm(form.substr(0, size), read.session)) << size;
  }
  const std::string nested65 = [] {
    std::string bytes("KS\x01\x14\x00\x00\x00\x00\x00\x00\x00\x00\x00\x01\x01x", 16);
    for (int i = 0; i < 65; ++i) bytes += std::string("\x0C\x20\x01\x00\x00\x00\x00\x01", 8);
    return bytes + std::string("\x05\x00", 2) + std::string(8, '\0');
  }();
  const std::pair<const char*, std::string> cases[] = {
      {"another version", "KS\x02" + form.substr(3)},
      {"not a form", "hello"},
      {"bytes after the end", form + "x"},
      {"a count larger than what follows", std::string("KS\x01\x14\x00\x00\x00\x00\x00\x00\x00\x00\x00\xFF\xFF\xFF\xFF\x0F", 18)},
      {"an object's type", std::string("KS\x01\x14\x00\x00\x00\x00\x00\x00\x00\x00\x00\x01\x01x\x09\x00", 18)},
      {"a Boolean neither 0 nor 1", std::string("KS\x01\x14\x00\x00\x00\x00\x00\x00\x00\x00\x00\x01\x01x\x0B\x00\x02", 19)},
      {"a timeout out of range", std::string("KS\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00", 14)},
      {"a grid of 2^32 by 2^32", std::string("KS\x01\x14\x00\x00\x00\x00\x00\x00\x00\x00\x00\x01\x01x\x0C\x20\x02\x00\x00\x00\x00\xFF\xFF\xFF\xFF\x0F\xFF\xFF\xFF\xFF\x0F", 33)},
      {"arrays 65 deep", nested65},
  };
  for (const auto& [what, bytes] : cases) {
    Fixture read;
    EXPECT_FALSE(ReadStoredForm(bytes, read.session)) << what;
    EXPECT_EQ(read.session.Values().Count(), 0u) << what;
  }
}

}  // namespace
}  // namespace kelvane::host
